// The file-operation engine on real file systems: tmpfs mounts stand for a second volume, a
// full disk and a read-only disk. After every operation each source byte is where it was or
// complete at its destination, no partial copy is left, and the user saw the right message.

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QQueue>
#include <QUrl>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <utility>

#include "files/Checksum.h"
#include "files/FileOpEngine.h"
#include "platform/FileNameBytes.h"
#include "support/TestEnvironment.h"
#include "support/Tmpfs.h"

using namespace gv;
namespace fs = std::filesystem;

namespace {

struct Observer final : FileOpObserver {
    QQueue<ReplaceAnswer> replies;
    bool confirm = true;
    QStringList errors, questions;
    std::function<void(const FileOpStatus&)> onProgress;
    ReplaceAnswer askReplace(const QString& q) override {
        questions << q;
        return replies.isEmpty() ? ReplaceAnswer::Cancel : replies.dequeue();
    }
    bool confirmDelete(const QString& q, const QString& title) override {
        questions << title + ": " + q;
        return confirm;
    }
    void showError(const QString& text, const QString&) override { errors << text; }
    void progressed(const FileOpStatus& s) override {
        if (onProgress) {
            onProgress(s);
        }
    }
};

void put(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) {
        c = char(gen());
    }
    return s;
}

// Every entry below root: a file's bytes, a link's target, or "dir".
std::map<std::string, std::string> tree(const fs::path& root) {
    std::map<std::string, std::string> t;
    if (!fs::exists(fs::symlink_status(root))) {
        return t;
    }
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = e.path().lexically_relative(root).string();
        if (e.is_symlink()) {
            t[rel] = "link:" + fs::read_symlink(e.path()).string();
        } else if (e.is_directory()) {
            t[rel] = "dir";
        } else {
            std::ifstream in(e.path(), std::ios::binary);
            t[rel].assign(std::istreambuf_iterator<char>(in), {});
        }
    }
    return t;
}

bool hasPartialCopy(const fs::path& root) {
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.path().filename().string().starts_with(".gvpart")) {
            return true;
        }
    }
    return false;
}

// Puts an entry back where a test found it, from any volume.
void moveBack(const fs::path& from, const fs::path& to) {
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    fs::remove_all(from);
}

// Every original file is whole at its source or, moved, whole at dest; then dest is emptied
// and the moved files go back for the next case.
void expectNothingLost(const std::map<std::string, std::string>& original, const fs::path& src,
                       const fs::path& dest, bool moved) {
    const auto there = tree(dest), here = tree(src);
    for (const auto& [name, bytes] : original) {
        const bool atSource = here.contains(name) && here.at(name) == bytes;
        const bool atDest = there.contains(name) && there.at(name) == bytes;
        EXPECT_TRUE(atSource || (moved && atDest)) << name;
        if (atDest && !atSource) {
            moveBack(dest / name, src / name);
        }
    }
    for (const auto& e : fs::directory_iterator(dest)) {
        fs::remove_all(e.path());
    }
}

QString q(const fs::path& p) {
    return fileNameFromBytes(p.native());
}

// A small file system of its own: another volume, a full or a read-only disk. Where it
// cannot be mounted the test says why (GV_REQUIRE_TMPFS on .mount), after what runs without.
struct Tmpfs {
    gvtest::Tmpfs mount;
    fs::path dir;
    bool ok;
    Tmpfs(fs::path where, const char* size, unsigned long flags = 0)
        : mount(where.string(), size, flags), dir(std::move(where)), ok(mount.mounted()) {}
};

// Another process working on the same files: it acts once at each request (and answers when
// done), or, racing, acts again and again until it is killed. It makes only system calls.
class Accomplice final {
public:
    Accomplice(std::function<void()> act, bool racing) : m_racing(racing) {
        int ask[2], done[2];
        if (::pipe2(ask, O_CLOEXEC) != 0 || ::pipe2(done, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ask[1]);
            ::close(done[0]);
            for (char c = 0; racing || ::read(ask[0], &c, 1) == 1;) {
                act();
                if (!racing) {
                    (void)!::write(done[1], &c, 1);
                }
            }
            ::_exit(0);
        }
        ::close(ask[0]);
        ::close(done[1]);
        m_ask = ask[1];
        m_done = done[0];
    }
    Accomplice(const Accomplice&) = delete;
    Accomplice& operator=(const Accomplice&) = delete;
    ~Accomplice() {
        ::close(m_ask);  // ends a waiting process
        if (m_racing) {
            ::kill(m_pid, SIGKILL);
        }
        ::waitpid(m_pid, nullptr, 0);
        ::close(m_done);
    }
    void act() {
        char c = 1;
        ASSERT_EQ(::write(m_ask, &c, 1), 1);
        ASSERT_EQ(::read(m_done, &c, 1), 1);
    }

private:
    bool m_racing;
    pid_t m_pid = -1;
    int m_ask = -1, m_done = -1;
};

class FileOps : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::path(gvtest::testFolders().root.toStdString()) / "ops";
        fs::remove_all(root);
        fs::create_directories(root / "dst");
    }
    FileOpOutcome run(FileOpKind kind, const QStringList& sources, const fs::path& dest,
                      unsigned flags = 0) {
        engine =
            std::make_unique<FileOpEngine>(FileOpRequest{kind, sources, q(dest), flags}, observer);
        return engine->run();
    }
    // Source files of the given sizes under src/, with random contents kept in original.
    QStringList makeSources(const std::vector<std::pair<std::string, size_t>>& files) {
        QStringList sources;
        for (const auto& [name, size] : files) {
            original[name] = randomBytes(size, unsigned(size + original.size()));
            put(root / "src" / name, original[name]);
            sources << q(root / "src" / name);
        }
        return sources;
    }
    fs::path root;
    std::map<std::string, std::string> original;
    Observer observer;
    std::unique_ptr<FileOpEngine> engine;
};

TEST_F(FileOps, TreesKeepOddNamesAndLinksWithinAndAcrossVolumes) {
    const fs::path album = root / "src" / "album";
    for (const char* name :
         {"a b.jpg", "it's \"q\".jpg", "new\nline.jpg", "\xff\xfe.jpg", "sub/deep.jpg"}) {
        put(album / name, randomBytes(3000, name[0]));
    }
    fs::create_symlink("../a b.jpg", album / "sub" / "rel");
    fs::create_symlink("/nowhere/at/all", album / "dangling");
    const auto before = tree(album);
    const Tmpfs other(root / "other", "size=20m");
    for (const FileOpKind kind : {FileOpKind::Copy, FileOpKind::Move}) {
        for (const fs::path& dest : {root / "dst", other.dir}) {
            if (dest == other.dir && !other.ok) {
                continue;
            }
            SCOPED_TRACE(dest.string() + (kind == FileOpKind::Move ? " move" : " copy"));
            ASSERT_TRUE(run(kind, {q(album)}, dest).ok())
                << observer.errors.join("\n").toStdString();
            EXPECT_EQ(tree(dest / "album"), before);
            EXPECT_EQ(tree(album), kind == FileOpKind::Copy ? before : decltype(before){});
            EXPECT_FALSE(hasPartialCopy(dest));
            if (kind == FileOpKind::Move) {
                moveBack(dest / "album", album);  // the next move starts from the source again
            } else {
                fs::remove_all(dest / "album");
            }
        }
    }
    GV_REQUIRE_TMPFS(other.mount);
}

TEST_F(FileOps, AFullOrReadOnlyDiskStopsWithItsMessageAndKeepsEverySource) {
    const Tmpfs full(root / "full", "size=2m");
    const Tmpfs readOnly(root / "ro", "size=1m", MS_RDONLY);
    GV_REQUIRE_TMPFS(full.mount);
    GV_REQUIRE_TMPFS(readOnly.mount);
    const QStringList sources =
        makeSources({{"small1.jpg", 100000}, {"big.jpg", 3000000}, {"small2.jpg", 1000}});
    struct Case {
        FileOpKind kind;
        const Tmpfs& target;
        const char* reason;
    } const cases[] = {
        {FileOpKind::Copy, full, "There is not enough free space on the disk."},
        {FileOpKind::Move, full, "There is not enough free space on the disk."},
        {FileOpKind::Copy, readOnly, "The disk is read-only."},
        {FileOpKind::Move, readOnly, "The disk is read-only."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.dir.string());
        observer.errors.clear();
        const FileOpOutcome outcome = run(c.kind, sources, c.target.dir);
        EXPECT_TRUE(outcome.failed);
        ASSERT_EQ(observer.errors.size(), 1);
        EXPECT_TRUE(observer.errors[0].endsWith(c.reason)) << observer.errors[0].toStdString();
        EXPECT_FALSE(hasPartialCopy(c.target.dir));
        expectNothingLost(original, root / "src", c.target.dir, c.kind == FileOpKind::Move);
    }
}

TEST_F(FileOps, CancelInTheMiddleRemovesTheCopyInFlightOnly) {
    const Tmpfs other(root / "other", "size=200m");
    const size_t size = 12 << 20;
    const QStringList sources =
        makeSources({{"p0.jpg", size}, {"p1.jpg", size}, {"p2.jpg", size}, {"p3.jpg", size}});
    observer.onProgress = [this](const FileOpStatus& s) {
        if (s.bytesDone > (20 << 20)) {
            engine->cancel();
        }
    };
    for (const auto& [kind, dest] :
         {std::pair{FileOpKind::Copy, root / "dst"}, std::pair{FileOpKind::Copy, other.dir},
          std::pair{FileOpKind::Move, other.dir}}) {
        if (dest == other.dir && !other.ok) {
            continue;
        }
        SCOPED_TRACE(dest.string());
        const FileOpOutcome outcome = run(kind, sources, dest);
        EXPECT_TRUE(outcome.aborted);
        EXPECT_FALSE(outcome.failed);
        EXPECT_TRUE(observer.errors.isEmpty());
        EXPECT_FALSE(hasPartialCopy(dest));
        EXPECT_EQ(tree(dest).size(), 1u);  // the first file only: the second was in flight
        expectNothingLost(original, root / "src", dest, kind == FileOpKind::Move);
    }
    GV_REQUIRE_TMPFS(other.mount);
}

TEST_F(FileOps, AFolderIsNeverMovedOrCopiedIntoItself) {
    const fs::path album = root / "album";
    put(album / "sub" / "a.jpg", "abc");
    const auto before = tree(album);
    for (const FileOpKind kind : {FileOpKind::Move, FileOpKind::Copy}) {
        observer.errors.clear();
        EXPECT_TRUE(run(kind, {q(album)}, album / "sub").failed);
        EXPECT_EQ(observer.errors,
                  QStringList{QString("Cannot %1 'album': The destination folder is inside the "
                                      "folder itself.")
                                  .arg(kind == FileOpKind::Move ? "move" : "copy")});
        EXPECT_EQ(tree(album), before);
    }
    // Copied into the folder it is in, it gets a name of its own.
    EXPECT_TRUE(run(FileOpKind::Copy, {q(album)}, root).ok());
    EXPECT_EQ(tree(root / "album (2)"), before);
}

TEST_F(FileOps, TheUserDecidesAboutEachExistingFile) {
    struct Case {
        QList<ReplaceAnswer> replies;
        unsigned flags;
        std::map<std::string, std::string> expected;
        int questions;
        bool aborted;
    } const cases[] = {
        {{ReplaceAnswer::Yes, ReplaceAnswer::No},
         0,
         {{"a.jpg", "new a"}, {"b.jpg", "old b"}},
         2,
         false},
        {{ReplaceAnswer::YesToAll}, 0, {{"a.jpg", "new a"}, {"b.jpg", "new b"}}, 1, false},
        {{ReplaceAnswer::Cancel}, 0, {{"a.jpg", "old a"}, {"b.jpg", "old b"}}, 1, true},
        {{}, kFofNoConfirmation, {{"a.jpg", "new a"}, {"b.jpg", "new b"}}, 0, false},
        {{},
         kFofRenameOnCollision,
         {{"a.jpg", "old a"}, {"b.jpg", "old b"}, {"a (2).jpg", "new a"}, {"b (2).jpg", "new b"}},
         0,
         false},
    };
    for (const Case& c : cases) {
        fs::remove_all(root / "dst");
        put(root / "dst" / "a.jpg", "old a");
        put(root / "dst" / "b.jpg", "old b");
        put(root / "src" / "a.jpg", "new a");
        put(root / "src" / "b.jpg", "new b");
        observer.questions.clear();
        observer.replies = QQueue<ReplaceAnswer>(c.replies);
        const FileOpOutcome outcome =
            run(FileOpKind::Copy, {q(root / "src/a.jpg"), q(root / "src/b.jpg")}, root / "dst",
                c.flags);
        EXPECT_EQ(outcome.aborted, c.aborted);
        EXPECT_EQ(tree(root / "dst"), c.expected);
        ASSERT_EQ(observer.questions.size(), c.questions);
        if (c.questions > 0) {
            EXPECT_TRUE(observer.questions[0].startsWith(
                "This folder already contains a file named 'a.jpg'."));
        }
    }
}

TEST_F(FileOps, PermanentDeletesAskFirstAndTheTrashKeepsTheOriginalPath) {
    put(root / "src" / "a.jpg", "a");
    observer.confirm = false;
    EXPECT_TRUE(run(FileOpKind::Delete, {q(root / "src/a.jpg")}, {}).aborted);
    EXPECT_EQ(observer.questions,
              QStringList{"Delete File: Are you sure you want to permanently delete 'a.jpg'?"});
    EXPECT_TRUE(fs::exists(root / "src" / "a.jpg"));
    observer.confirm = true;
    put(root / "src" / "sub" / "b.jpg", "b");
    EXPECT_TRUE(run(FileOpKind::Delete, {q(root / "src/a.jpg"), q(root / "src/sub")}, {}).ok());
    EXPECT_TRUE(
        observer.questions.last().startsWith("Delete Multiple Items: Are you sure you "
                                             "want to permanently delete these 2 items?"));
    EXPECT_EQ(tree(root / "src"), decltype(tree(root)){});

    // To the Trash: no question, and the desktop can put it back where it was.
    const fs::path odd = root / "src" / "odd name #1.jpg";
    put(odd, "odd");
    observer.questions.clear();
    EXPECT_TRUE(run(FileOpKind::Delete, {q(odd)}, {}, kFofAllowUndo).ok());
    EXPECT_TRUE(observer.questions.isEmpty());
    const fs::path trash = gvtest::testFolders().data.toStdString() + "/Trash";
    EXPECT_FALSE(fs::exists(odd));
    EXPECT_EQ(tree(trash / "files").at("odd name #1.jpg"), "odd");
    const std::string info = tree(trash / "info").at("odd name #1.jpg.trashinfo");
    EXPECT_NE(info.find("Path=" + QUrl::toPercentEncoding(q(odd), "/").toStdString() + "\n"),
              std::string::npos)
        << info;
    // On another volume, the volume's own trash.
    const Tmpfs other(root / "other", "size=1m");
    GV_REQUIRE_TMPFS(other.mount);
    put(other.dir / "c.jpg", "c");
    EXPECT_TRUE(run(FileOpKind::Delete, {q(other.dir / "c.jpg")}, {}, kFofAllowUndo).ok());
    EXPECT_EQ(tree(other.dir / (".Trash-" + std::to_string(::getuid())) / "files").at("c.jpg"),
              "c");
}

TEST_F(FileOps, ErrorsNameTheFileAndTheCause) {
    put(root / "src" / "a.jpg", "a");
    put(root / "src" / "b.jpg", "b");
    struct Case {
        FileOpKind kind;
        fs::path source, dest;
        QString message;
    } const cases[] = {
        {FileOpKind::Copy, root / "src/gone.jpg", root / "dst",
         "Cannot copy 'gone.jpg': The file or folder cannot be found."},
        {FileOpKind::Rename, root / "src/a.jpg", root / "src/b.jpg",
         "Cannot rename 'a.jpg': A file or folder with that name already exists."},
        {FileOpKind::Rename, root / "src/a.jpg", root / "src/x/y.jpg",
         "Cannot rename 'a.jpg': A name cannot contain \"/\" or be empty."},
        {FileOpKind::Rename, root / "src/a.jpg", root / "src" / std::string(300, 'n'),
         "Cannot rename 'a.jpg': The file name is too long."},
    };
    for (const Case& c : cases) {
        observer.errors.clear();
        EXPECT_TRUE(run(c.kind, {q(c.source)}, c.dest).failed);
        EXPECT_EQ(observer.errors, QStringList{c.message});
    }
    EXPECT_EQ(tree(root / "src"),
              (std::map<std::string, std::string>{{"a.jpg", "a"}, {"b.jpg", "b"}}));
}

TEST_F(FileOps, AFolderSwappedForALinkMeanwhileNeverLeadsTheWorkIntoTheLinksTarget) {
    const Tmpfs other(root / "other", "size=10m");  // a move walks the tree onto another volume
    const fs::path folder = root / "D", sub = folder / "sub", aside = root / "aside";
    const fs::path victim = root / "V";
    const auto fill = [&] {
        fs::remove_all(folder);
        fs::remove_all(aside);
        for (const fs::path& dest : {root / "dst", other.dir}) {
            for (const auto& e : fs::directory_iterator(dest)) {
                fs::remove_all(e.path());
            }
        }
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"}) {
            put(sub / name, "mine");
            put(victim / name, "not mine");
        }
    };
    // The link's target keeps its files, and none of them turns up in a copy.
    const auto untouched = [&] {
        const auto mixed = [](const auto& t) {
            return std::ranges::any_of(t, [](const auto& e) { return e.second == "not mine"; });
        };
        const auto v = tree(victim);
        return v.size() == 5 && !mixed(tree(root / "dst")) && !mixed(tree(other.dir)) &&
               std::ranges::all_of(v, [](const auto& e) { return e.second == "not mine"; });
    };
    struct Case {
        const char* what;
        FileOpKind kind;
        fs::path dest;
        QStringList errors;  // when the swap comes between two steps
    } const cases[] = {
        {"delete",
         FileOpKind::Delete,
         {},
         {"Cannot delete 'sub': The file or folder has changed while it was being deleted."}},
        {"move",
         FileOpKind::Move,
         other.dir,
         {"Cannot move 'sub': The file or folder has changed while it was being moved, so the "
          "original was kept."}},
        {"copy", FileOpKind::Copy, root / "dst", {}},  // a copy of the folder as it was when opened
    };
    for (const Case& c : cases) {
        if (c.kind == FileOpKind::Move && !other.ok) {
            continue;
        }
        SCOPED_TRACE(c.what);
        // Between two steps, the other process puts sub aside and a link in its place.
        fill();
        {
            Accomplice swapper(
                [&] {
                    ::rename(sub.c_str(), aside.c_str());
                    ::symlink(victim.c_str(), sub.c_str());
                },
                false);
            bool swapped = false;
            observer.onProgress = [&](const FileOpStatus&) {
                if (!std::exchange(swapped, true)) {
                    swapper.act();
                }
            };
            observer.errors.clear();
            EXPECT_EQ(run(c.kind, {q(folder)}, c.dest, kFofNoConfirmation).failed,
                      !c.errors.isEmpty());
            EXPECT_EQ(observer.errors, c.errors);
            EXPECT_TRUE(untouched());
        }
        // The other process swaps as fast as it can while whole operations run.
        observer.onProgress = nullptr;
        for (int round = 0; round < 12; ++round) {
            fill();
            const Accomplice racer(
                [&] {
                    ::rename(sub.c_str(), aside.c_str());
                    ::symlink(victim.c_str(), sub.c_str());
                    ::unlink(sub.c_str());
                    ::rename(aside.c_str(), sub.c_str());
                },
                true);
            run(c.kind, {q(folder)}, c.dest, kFofNoConfirmation);
            ASSERT_TRUE(untouched()) << "round " << round;
        }
    }
    GV_REQUIRE_TMPFS(other.mount);
}

TEST_F(FileOps, AFileChangedWhileMovedToAnotherVolumeKeepsItsNewBytesAtItsSource) {
    const Tmpfs other(root / "other", "size=100m");
    GV_REQUIRE_TMPFS(other.mount);
    // Onto the tmpfs volume; onto the disk (where the copy is written back as it goes) from it.
    fs::path source, into;
    const fs::path saved = root / "saved.jpg";
    const std::string added = "written by another program";
    const QString changed =
        "The file or folder has changed while it was being moved, so the "
        "original was kept.";
    const auto damage = [&] {
        DIR* dir = ::opendir(into.c_str());
        while (const dirent* e = ::readdir(dir)) {
            if (std::strncmp(e->d_name, ".gvpart-", 8) == 0) {
                const int fd = ::openat(dirfd(dir), e->d_name, O_WRONLY);
                (void)!::pwrite(fd, "?", 1, 10);
                ::close(fd);
            }
        }
        ::closedir(dir);
    };
    const QString damaged = "The copy does not match the original, so the original was kept.";
    struct Case {
        const char* change;
        size_t size;
        std::function<void()> act;
        std::function<std::string(const std::string&)> expected;
        QString reason;
        bool ontoDisk = false;
    } const cases[] = {
        // Above the size the engine once compared only by length.
        {"rewritten in place", (65 << 20) + 5,
         [&] {
             const int fd = ::open(source.c_str(), O_WRONLY);
             (void)!::pwrite(fd, added.data(), added.size(), 1000);
             ::close(fd);
         },
         [&](std::string old) { return old.replace(1000, added.size(), added); }, changed},
        {"saved anew under its name", 300000, [&] { ::rename(saved.c_str(), source.c_str()); },
         [&](const std::string&) { return added; }, changed},
        {"grown", 300000,
         [&] {
             const int fd = ::open(source.c_str(), O_WRONLY | O_APPEND);
             (void)!::write(fd, added.data(), added.size());
             ::close(fd);
         },
         [&](const std::string& old) { return old + added; }, changed},
        // The copy, not the source, is damaged before it is read back: after it (a small file)
        // or beside it (a big one).
        {"small copy damaged", 300000, damage, [&](const std::string& old) { return old; },
         damaged},
        {"big copy damaged", 20 << 20, damage, [&](const std::string& old) { return old; },
         damaged},
        {"big copy damaged on the disk", 20 << 20, damage,
         [&](const std::string& old) { return old; }, damaged, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        source = (c.ontoDisk ? other.dir : root / "src") / "photo.jpg";
        into = c.ontoDisk ? root / "dst" : other.dir;
        std::string bytes(c.size, '\0');
        std::mt19937_64 random(c.size);
        for (size_t i = 0; i + 8 <= bytes.size(); i += 8) {
            const uint64_t r = random();
            std::memcpy(&bytes[i], &r, 8);
        }
        put(source, bytes);
        put(saved, added);
        Accomplice writer(c.act, false);
        bool written = false;
        observer.onProgress = [&](const FileOpStatus&) {
            if (!std::exchange(written, true)) {
                writer.act();
            }
        };
        observer.errors.clear();
        EXPECT_TRUE(run(FileOpKind::Move, {q(source)}, into).failed);
        EXPECT_EQ(observer.errors, QStringList{"Cannot move 'photo.jpg': " + c.reason});
        EXPECT_TRUE(tree(source.parent_path()) ==
                    (std::map<std::string, std::string>{{"photo.jpg", c.expected(bytes)}}));
        EXPECT_TRUE(tree(into).empty());
        fs::remove_all(into / "photo.jpg");
        fs::remove_all(source);
    }
}

TEST_F(FileOps, ABindMountDoesNotLetAFolderIntoItself) {
    const fs::path album = root / "album", bound = root / "bound";
    put(album / "child" / "a.jpg", "abc");
    fs::create_directories(bound);
    if (::mount(album.c_str(), bound.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        // Skipped only where nothing can be mounted at all.
        const int error = errno;
        if (error == EPERM) {
            GTEST_SKIP() << "a bind mount cannot be made here: " << std::strerror(error);
        }
        FAIL() << "bind mount: " << std::strerror(error);
    }
    const std::unique_ptr<const char, void (*)(const char*)> unmount(
        bound.c_str(), [](const char* p) { ::umount2(p, MNT_DETACH); });
    const auto before = tree(album);
    struct Case {
        FileOpKind kind;
        fs::path source, into;
        const char* message;
    } const cases[] = {
        {FileOpKind::Move, bound / "child", album / "child",
         "Cannot move 'child': The destination folder is inside the folder itself."},
        {FileOpKind::Copy, bound / "child", album / "child",
         "Cannot copy 'child': The destination folder is inside the folder itself."},
        {FileOpKind::Move, album, bound / "child",
         "Cannot move 'album': The destination folder is inside the folder itself."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        observer.errors.clear();
        EXPECT_TRUE(run(c.kind, {q(c.source)}, c.into).failed);
        EXPECT_EQ(observer.errors, QStringList{c.message});
        EXPECT_EQ(tree(album), before);
    }
}

TEST_F(FileOps, AKilledCopysTemporaryGoesAtTheNextCopyAndARunningOnesStays) {
    const QStringList sources = makeSources({{"big.jpg", 24 << 20}, {"small.jpg", 1000}});
    const fs::path dest = root / "dst";
    const auto start = [&](QProcess& copy) {
        copy.start(QStringLiteral(GLIMVANE_BINARY_DIR "/gvfileop"),
                   {"--pause", "copy", q(dest), sources[0]});
        ASSERT_TRUE(copy.waitForStarted());
        while (!copy.canReadLine()) {
            ASSERT_TRUE(copy.waitForReadyRead(10000)) << copy.readAllStandardError().toStdString();
        }
    };
    const auto leftovers = [&] {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dest)) {
            if (e.path().filename().string().starts_with(".gvpart")) {
                names.insert(e.path().filename().string());
            }
        }
        return names;
    };
    QProcess killed;
    start(killed);
    const qint64 killedPid = killed.processId();
    ::kill(pid_t(killedPid), SIGKILL);
    killed.waitForFinished();
    const std::set<std::string> stale = leftovers();
    ASSERT_EQ(stale.size(), 1u) << "the killed copy had a temporary";
    QProcess running;
    start(running);
    std::set<std::string> inUse;
    std::ranges::set_difference(leftovers(), stale, std::inserter(inUse, inUse.end()));
    ASSERT_EQ(inUse.size(), 1u);
    // Links of a copy that ended and of one that runs, and a user's file of a similar name.
    const std::string deadLink = ".gvpart-" + std::to_string(killedPid) + "-0";
    const std::string liveLink = ".gvpart-" + std::to_string(running.processId()) + "-0";
    fs::create_symlink("a.jpg", dest / deadLink);
    fs::create_symlink("a.jpg", dest / liveLink);
    put(dest / ".gvpart-notes.txt", "the user's own");
    inUse.insert({liveLink, ".gvpart-notes.txt"});

    ASSERT_TRUE(run(FileOpKind::Copy, {sources[1]}, dest).ok());
    EXPECT_EQ(leftovers(), inUse);
    // The running copy goes on and completes.
    running.write("\n");
    running.closeWriteChannel();
    ASSERT_TRUE(running.waitForFinished());
    EXPECT_EQ(running.exitCode(), 0) << running.readAllStandardError().toStdString();
    EXPECT_EQ(leftovers(), (std::set<std::string>{liveLink, ".gvpart-notes.txt"}));
    EXPECT_EQ(tree(dest).at("big.jpg"), original["big.jpg"]);
}

TEST(FileOpChecksum, IsThePublishedFunctionWhateverThePiecesItIsFedIn) {
    std::string pattern(1000, '\0');
    for (size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = char(i * 131 + 7);
    }
    const std::pair<std::string, uint64_t> cases[] = {
        {"", 0xef46db3751d8e999},
        {"a", 0xd24ec4f1a98c6e5b},
        {"abc", 0x44bc2cf5ad770999},
        {"The quick brown fox jumps over the lazy dog", 0x0b242d361fda71bc},
        {pattern.substr(0, 33), 0x09f85eeb4e1cbe9f},
        {pattern, 0x0bf0bdbcc82eb373},
    };
    for (const auto& [bytes, expected] : cases) {
        for (const size_t piece : {1, 7, 32, 4096}) {
            Checksum sum;
            for (size_t at = 0; at < bytes.size(); at += piece) {
                sum.add(bytes.data() + at, std::min(piece, bytes.size() - at));
            }
            EXPECT_EQ(sum.value(), expected) << bytes.size() << " bytes in pieces of " << piece;
        }
    }
}

TEST(FileOpNames, CollisionFreeNamesCountBeforeTheExtension) {
    const std::set<std::string> taken = {"photo (2).jpg", "pics (2)"};
    const auto exists = [&](const std::string& n) { return taken.contains(n); };
    EXPECT_EQ(collisionFreeName("photo.jpg", exists), "photo (3).jpg");
    EXPECT_EQ(collisionFreeName("pics", exists), "pics (3)");
    EXPECT_EQ(collisionFreeName(".hidden", exists), ".hidden (2)");
    EXPECT_EQ(collisionFreeName("a.tar.gz", exists), "a.tar (2).gz");
}

}  // namespace
