#include "files/FileOpEngine.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <unistd.h>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/FileNameBytes.h"

namespace gv {
namespace {

constexpr size_t kChunk = 8 * 1024 * 1024;  // one piece of work between progress reports
constexpr size_t kBuffer = 1024 * 1024;     // read/write where the kernel cannot copy

std::string encoded(const QString& path) {
    std::string s = fileNameToStdString(path);
    while (s.size() > 1 && s.back() == '/') {
        s.pop_back();
    }
    return s;
}

QString decoded(const std::string& s) {
    return fileNameFromBytes(s);
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string realPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

class Fd final {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    int close() {
        const int rc = m_fd >= 0 ? ::close(m_fd) : 0;
        m_fd = -1;
        return rc;
    }

private:
    int m_fd;
};

// The temporary file of a copy in flight: removed unless it was renamed into place.
struct TempName final {
    std::string path;
    ~TempName() {
        if (!path.empty()) {
            ::unlink(path.c_str());
        }
    }
};

// Puts tmp in the place of dst; without replace an existing dst is never overwritten.
int commit(const std::string& tmp, const std::string& dst, bool replace) {
    if (replace) {
        return ::rename(tmp.c_str(), dst.c_str()) == 0 ? 0 : errno;
    }
    if (::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without the no-replace rename: a hard link fails on an existing name too.
    if (::link(tmp.c_str(), dst.c_str()) != 0) {
        return errno;
    }
    ::unlink(tmp.c_str());
    return 0;
}

std::vector<std::string> entriesOf(const std::string& folder, int& error) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        error = errno;
        return names;
    }
    errno = 0;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            names.emplace_back(e->d_name);
        }
    }
    error = errno;
    ::closedir(dir);
    return names;
}

bool sameContents(int a, int b, qint64 size) {
    std::vector<char> bufA(kBuffer), bufB(kBuffer);
    for (qint64 at = 0; at < size;) {
        const size_t want = size_t(std::min<qint64>(qint64(kBuffer), size - at));
        if (::pread(a, bufA.data(), want, at) != ssize_t(want) ||
            ::pread(b, bufB.data(), want, at) != ssize_t(want) ||
            std::memcmp(bufA.data(), bufB.data(), want) != 0) {
            return false;
        }
        at += qint64(want);
    }
    return true;
}

QString describe(const struct stat& st) {
    return QLocale::system().formattedDataSize(st.st_size) + QStringLiteral(", modified ") +
           QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec)
               .toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

}  // namespace

QString fileOpErrorTitle(FileOpKind kind) {
    switch (kind) {
        case FileOpKind::Copy:
            return QStringLiteral("Error Copying File or Folder");
        case FileOpKind::Move:
            return QStringLiteral("Error Moving File or Folder");
        case FileOpKind::Delete:
            return QStringLiteral("Error Deleting File or Folder");
        case FileOpKind::Rename:
            return QStringLiteral("Error Renaming File or Folder");
    }
    return {};
}

QString fileOpErrorText(FileOpKind kind, const QString& name, int error) {
    static const char* const kVerbs[] = {"", "move", "copy", "delete", "rename"};
    QString reason;
    switch (error) {
        case ENOENT:
            reason = QStringLiteral("The file or folder cannot be found.");
            break;
        case EACCES:
        case EPERM:
            reason = QStringLiteral("Access is denied.");
            break;
        case EROFS:
            reason = QStringLiteral("The disk is read-only.");
            break;
        case ENOSPC:
        case EDQUOT:
            reason = QStringLiteral("There is not enough free space on the disk.");
            break;
        case ENAMETOOLONG:
            reason = QStringLiteral("The file name is too long.");
            break;
        case EEXIST:
        case ENOTEMPTY:
            reason = QStringLiteral("A file or folder with that name already exists.");
            break;
        case kErrInsideSource:
            reason = QStringLiteral("The destination folder is inside the folder itself.");
            break;
        case kErrVerifyFailed:
            reason =
                QStringLiteral("The copy does not match the original, so the original was kept.");
            break;
        case kErrBadName:
            reason = QStringLiteral("A name cannot contain \"/\" or be empty.");
            break;
        default:
            reason = QString::fromLocal8Bit(std::strerror(error)) + QLatin1Char('.');
            break;
    }
    return QStringLiteral("Cannot %1 '%2': %3").arg(QLatin1String(kVerbs[int(kind)]), name, reason);
}

std::string collisionFreeName(const std::string& name,
                              const std::function<bool(const std::string&)>& exists) {
    // The number goes before the extension; a leading dot is part of the name.
    const auto dot = name.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    for (int n = 2;; ++n) {
        std::string candidate = stem + " (" + std::to_string(n) + ")" + extension;
        if (!exists(candidate)) {
            return candidate;
        }
    }
}

QString deleteQuestion(const QStringList& paths, bool firstIsFolder) {
    if (paths.size() != 1) {
        return QStringLiteral("Are you sure you want to permanently delete these %1 items?")
            .arg(paths.size());
    }
    const QString name = paths.first().section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
    return firstIsFolder
               ? QStringLiteral(
                     "Are you sure you want to permanently delete the folder '%1' "
                     "and everything in it?")
                     .arg(name)
               : QStringLiteral("Are you sure you want to permanently delete '%1'?").arg(name);
}

QString deleteTitle(const QStringList& paths, bool firstIsFolder) {
    if (paths.size() != 1) {
        return QStringLiteral("Delete Multiple Items");
    }
    return firstIsFolder ? QStringLiteral("Delete Folder") : QStringLiteral("Delete File");
}

FileOpEngine::FileOpEngine(FileOpRequest request, FileOpObserver& observer)
    : m_request(std::move(request)), m_observer(observer) {}

FileOpOutcome FileOpEngine::run() {
    const FileOpKind kind = m_request.kind;
    const bool toTrash = kind == FileOpKind::Delete && (m_request.flags & kFofAllowUndo);
    std::vector<std::string> sources;
    for (const QString& s : m_request.sources) {
        sources.push_back(encoded(s));
    }
    if (toTrash || kind == FileOpKind::Rename) {
        m_status.filesTotal = qint64(sources.size());
    } else {
        for (const std::string& s : sources) {
            struct stat st {};
            qint64 files = 0, bytes = 0;
            if (::lstat(s.c_str(), &st) == 0) {
                scan(s, st, files, bytes);
            }
            m_status.filesTotal += files;
            m_status.bytesTotal += bytes;
        }
    }
    if (kind == FileOpKind::Delete && !toTrash && !(m_request.flags & kFofNoConfirmation)) {
        struct stat st {};
        const bool folder =
            !sources.empty() && ::lstat(sources[0].c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        if (!m_observer.confirmDelete(deleteQuestion(m_request.sources, folder),
                                      deleteTitle(m_request.sources, folder))) {
            return {false, true};
        }
    }
    const std::string dest = encoded(m_request.destination);
    bool destIsFolder = false;
    if (kind == FileOpKind::Copy || kind == FileOpKind::Move) {
        struct stat st {};
        destIsFolder = ::stat(dest.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        if (!destIsFolder && sources.size() > 1) {
            // Several sources always go into a folder, made when it is not there yet.
            if (::mkdir(dest.c_str(), 0777) != 0) {
                fail(errno, dest);
                return {m_failed, m_aborted};
            }
            destIsFolder = true;
        }
    }
    for (const std::string& src : sources) {
        if (cancelled()) {
            break;
        }
        struct stat st {};
        if (::lstat(src.c_str(), &st) != 0) {
            fail(errno, src);
            break;
        }
        Step step = Step::Done;
        if (kind == FileOpKind::Copy || kind == FileOpKind::Move) {
            std::string target = destIsFolder ? join(dest, baseName(src)) : dest;
            bool inside = false;
            if (S_ISDIR(st.st_mode) && sameFolderTree(src, target, inside)) {
                if (inside) {
                    step = fail(kErrInsideSource, src);
                } else if (kind == FileOpKind::Copy) {
                    // A folder copied beside itself gets a name of its own.
                    step = copyEntry(src, uniqueTarget(target), st, false);
                } else {
                    tick(0, 0);  // moved onto itself: it is there already
                }
            } else {
                step = kind == FileOpKind::Copy ? copyEntry(src, target, st, false)
                                                : moveEntry(src, target, st);
            }
        } else if (toTrash) {
            m_status.setCurrent(decoded(baseName(src)));
            const int error = m_trash.put(src);
            step = error ? fail(error, src) : Step::Done;
            if (!error) {
                tick(1, 0);
            }
        } else if (kind == FileOpKind::Delete) {
            step = removeEntry(src, st);
        } else {
            step = renameEntry(src, dest);
        }
        if (step == Step::Stop) {
            break;
        }
    }
    return {m_failed, m_aborted};
}

bool FileOpEngine::sameFolderTree(const std::string& src, const std::string& dst, bool& inside) {
    const std::string realSrc = realPath(src);
    const std::string realParent = realPath(parentOf(dst));
    if (realSrc.empty() || realParent.empty()) {
        return false;
    }
    const std::string realDst = join(realParent, baseName(dst));
    inside = realDst.size() > realSrc.size() && realDst.compare(0, realSrc.size(), realSrc) == 0 &&
             (realSrc == "/" || realDst[realSrc.size()] == '/');
    return inside || realDst == realSrc;
}

std::string FileOpEngine::uniqueTarget(const std::string& dst) {
    const std::string folder = parentOf(dst);
    return join(folder, collisionFreeName(baseName(dst), [&](const std::string& name) {
                    return exists(join(folder, name));
                }));
}

FileOpEngine::Step FileOpEngine::resolveCollision(const std::string& src, std::string& dst,
                                                  const struct stat& st, bool& replace) {
    struct stat target {};
    if (::lstat(dst.c_str(), &target) != 0) {
        return Step::Done;
    }
    const bool same = target.st_dev == st.st_dev && target.st_ino == st.st_ino;
    if (same && m_request.kind == FileOpKind::Move) {
        tick(1, 0);
        return Step::Skipped;
    }
    if (same || (m_request.flags & kFofRenameOnCollision)) {
        dst = uniqueTarget(dst);
        return Step::Done;
    }
    if (S_ISDIR(target.st_mode) || S_ISDIR(st.st_mode)) {
        return fail(EEXIST, src);  // a folder never replaces a file, nor a file a folder
    }
    if (!m_yesToAll && !(m_request.flags & kFofNoConfirmation)) {
        const QString question = QStringLiteral(
                                     "This folder already contains a file named '%1'.\n\n"
                                     "Would you like to replace the existing file\n\n    %2\n\n"
                                     "with this one?\n\n    %3")
                                     .arg(decoded(baseName(dst)), describe(target), describe(st));
        switch (m_observer.askReplace(question)) {
            case ReplaceAnswer::YesToAll:
                m_yesToAll = true;
                break;
            case ReplaceAnswer::Yes:
                break;
            case ReplaceAnswer::No:
                tick(1, S_ISREG(st.st_mode) ? st.st_size : 0);
                return Step::Skipped;
            case ReplaceAnswer::Cancel:
                m_aborted = true;
                return Step::Stop;
        }
    }
    replace = true;
    return Step::Done;
}

FileOpEngine::Step FileOpEngine::copyEntry(const std::string& src, std::string dst,
                                           const struct stat& st, bool moving, bool replace) {
    if (cancelled()) {
        return Step::Stop;
    }
    if (S_ISDIR(st.st_mode)) {
        struct stat target {};
        if (::lstat(dst.c_str(), &target) == 0 &&
            (!S_ISDIR(target.st_mode) || (m_request.flags & kFofRenameOnCollision))) {
            if (!(m_request.flags & kFofRenameOnCollision)) {
                return fail(EEXIST, src);
            }
            dst = uniqueTarget(dst);
        }
        return copyFolder(src, dst, st, moving);
    }
    if (!replace) {
        const Step step = resolveCollision(src, dst, st, replace);
        if (step != Step::Done) {
            return step;
        }
    }
    if (S_ISLNK(st.st_mode)) {
        return copyLink(src, dst, moving, replace);
    }
    if (S_ISREG(st.st_mode)) {
        return copyFile(src, dst, st, moving, replace);
    }
    return fail(EOPNOTSUPP, src);  // devices, pipes and sockets are no files to copy
}

FileOpEngine::Step FileOpEngine::copyFile(const std::string& src, const std::string& dst,
                                          const struct stat& st, bool moving, bool replace) {
    m_status.setCurrent(decoded(baseName(src)));
    Fd in(::open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat inSt {};
    if (in.get() < 0 || ::fstat(in.get(), &inSt) != 0) {
        return fail(errno, src);
    }
    TempName temp{join(parentOf(dst), ".gvpart-XXXXXX")};
    Fd out(::mkostemp(temp.path.data(), O_CLOEXEC));
    if (out.get() < 0) {
        const int error = errno;
        temp.path.clear();
        return fail(error, src);
    }
    ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    enum { kRange, kSendfile, kReadWrite } how = kRange;
    std::vector<char> buffer;
    qint64 copied = 0;
    while (true) {
        if (cancelled()) {
            return Step::Stop;
        }
        ssize_t n = 0;
        if (how == kRange) {
            n = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, kChunk, 0);
            if (n < 0 && copied == 0 && errno != ENOSPC && errno != EDQUOT && errno != EIO) {
                how = kSendfile;  // across file systems or on one that cannot
                continue;
            }
        } else if (how == kSendfile) {
            n = ::sendfile(out.get(), in.get(), nullptr, kChunk);
            if (n < 0 && copied == 0 && (errno == EINVAL || errno == ENOSYS)) {
                how = kReadWrite;
                continue;
            }
        } else {
            buffer.resize(kBuffer);
            n = ::read(in.get(), buffer.data(), buffer.size());
            for (ssize_t done = 0; n > 0 && done < n;) {
                const ssize_t w = ::write(out.get(), buffer.data() + done, size_t(n - done));
                if (w < 0) {
                    n = -1;
                    break;
                }
                done += w;
            }
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(errno, src);
        }
        if (n == 0) {
            break;
        }
        copied += n;
        m_status.bytesDone += n;
        m_observer.progressed(m_status);
    }
    ::fchmod(out.get(), st.st_mode & 07777);
    const struct timespec times[2] = {inSt.st_atim, inSt.st_mtim};
    ::futimens(out.get(), times);
    if (moving) {
        // The source goes only once its copy is on the disk and holds the same bytes.
        struct stat outSt {};
        if (::fsync(out.get()) != 0 || ::fstat(out.get(), &outSt) != 0) {
            return fail(errno, src);
        }
        if (outSt.st_size != inSt.st_size || copied != inSt.st_size ||
            (inSt.st_size <= kVerifyContentLimit &&
             !sameContents(in.get(), out.get(), inSt.st_size))) {
            return fail(kErrVerifyFailed, src);
        }
    }
    if (out.close() != 0) {
        return fail(errno, src);
    }
    if (const int error = commit(temp.path, dst, replace)) {
        return fail(error, src);
    }
    temp.path.clear();
    if (moving && ::unlink(src.c_str()) != 0) {
        return fail(errno, src);
    }
    tick(1, 0);
    return Step::Done;
}

FileOpEngine::Step FileOpEngine::copyLink(const std::string& src, const std::string& dst,
                                          bool moving, bool replace) {
    m_status.setCurrent(decoded(baseName(src)));
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(src.c_str(), target.data(), target.size());
    if (n < 0) {
        return fail(errno, src);
    }
    target.resize(size_t(n));
    TempName temp;
    for (int attempt = 0; temp.path.empty(); ++attempt) {
        const std::string name = join(
            parentOf(dst), ".gvpart-" + std::to_string(::getpid()) + "-" + std::to_string(attempt));
        if (::symlink(target.c_str(), name.c_str()) == 0) {
            temp.path = name;
        } else if (errno != EEXIST) {
            return fail(errno, src);
        }
    }
    if (const int error = commit(temp.path, dst, replace)) {
        return fail(error, src);
    }
    temp.path.clear();
    if (moving && ::unlink(src.c_str()) != 0) {
        return fail(errno, src);
    }
    tick(1, 0);
    return Step::Done;
}

FileOpEngine::Step FileOpEngine::copyFolder(const std::string& src, const std::string& dst,
                                            const struct stat& st, bool moving) {
    m_status.setCurrent(decoded(baseName(src)));
    bool made = false;
    if (::mkdir(dst.c_str(), 0700) == 0) {
        made = true;
    } else if (errno != EEXIST) {
        return fail(errno, src);
    }
    int error = 0;
    const std::vector<std::string> names = entriesOf(src, error);
    if (error) {
        if (made) {
            ::rmdir(dst.c_str());
        }
        return fail(error, src);
    }
    bool whole = true;
    Step step = Step::Done;
    for (const std::string& name : names) {
        const std::string child = join(src, name);
        struct stat childSt {};
        if (::lstat(child.c_str(), &childSt) != 0) {
            step = fail(errno, child);
            break;
        }
        const Step s = copyEntry(child, join(dst, name), childSt, moving);
        if (s == Step::Stop) {
            step = s;
            break;
        }
        whole = whole && s == Step::Done;
    }
    if (made) {
        ::chmod(dst.c_str(), st.st_mode & 07777);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::utimensat(AT_FDCWD, dst.c_str(), times, 0);
    }
    if (step == Step::Stop) {
        return step;
    }
    if (moving && whole && ::rmdir(src.c_str()) != 0) {
        return fail(errno, src);
    }
    return whole ? Step::Done : Step::Skipped;
}

FileOpEngine::Step FileOpEngine::moveEntry(const std::string& src, std::string dst,
                                           const struct stat& st) {
    if (cancelled()) {
        return Step::Stop;
    }
    m_status.setCurrent(decoded(baseName(src)));
    bool replace = false;
    struct stat target {};
    if (::lstat(dst.c_str(), &target) == 0) {
        if (S_ISDIR(st.st_mode) && S_ISDIR(target.st_mode) &&
            !(m_request.flags & kFofRenameOnCollision)) {
            // Two folders of one name become one: the contents move in one by one.
            int error = 0;
            const std::vector<std::string> names = entriesOf(src, error);
            if (error) {
                return fail(error, src);
            }
            bool whole = true;
            for (const std::string& name : names) {
                const std::string child = join(src, name);
                struct stat childSt {};
                if (::lstat(child.c_str(), &childSt) != 0) {
                    return fail(errno, child);
                }
                const Step s = moveEntry(child, join(dst, name), childSt);
                if (s == Step::Stop) {
                    return s;
                }
                whole = whole && s == Step::Done;
            }
            if (whole && ::rmdir(src.c_str()) != 0) {
                return fail(errno, src);
            }
            return whole ? Step::Done : Step::Skipped;
        }
        if (S_ISDIR(st.st_mode) && !(m_request.flags & kFofRenameOnCollision)) {
            return fail(EEXIST, src);
        }
        const Step step = S_ISDIR(st.st_mode) ? (dst = uniqueTarget(dst), Step::Done)
                                              : resolveCollision(src, dst, st, replace);
        if (step != Step::Done) {
            return step;
        }
    }
    const int rc =
        replace ? ::rename(src.c_str(), dst.c_str())
                : ::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE);
    if (rc == 0) {
        if (S_ISDIR(st.st_mode)) {
            qint64 files = 0, bytes = 0;
            scan(dst, st, files, bytes);  // what went with the folder
            tick(files, bytes);
        } else {
            tick(1, S_ISREG(st.st_mode) ? st.st_size : 0);
        }
        return Step::Done;
    }
    if (errno == EXDEV) {
        return copyEntry(src, dst, st, true, replace);
    }
    return fail(errno, src);
}

FileOpEngine::Step FileOpEngine::removeEntry(const std::string& path, const struct stat& st) {
    if (cancelled()) {
        return Step::Stop;
    }
    m_status.setCurrent(decoded(baseName(path)));
    if (S_ISDIR(st.st_mode)) {
        int error = 0;
        const std::vector<std::string> names = entriesOf(path, error);
        if (error) {
            return fail(error, path);
        }
        for (const std::string& name : names) {
            const std::string child = join(path, name);
            struct stat childSt {};
            if (::lstat(child.c_str(), &childSt) != 0) {
                return fail(errno, child);
            }
            if (removeEntry(child, childSt) == Step::Stop) {
                return Step::Stop;
            }
        }
        return ::rmdir(path.c_str()) == 0 ? Step::Done : fail(errno, path);
    }
    if (::unlink(path.c_str()) != 0) {
        return fail(errno, path);
    }
    tick(1, S_ISREG(st.st_mode) ? st.st_size : 0);
    return Step::Done;
}

FileOpEngine::Step FileOpEngine::renameEntry(const std::string& src, const std::string& dst) {
    m_status.setCurrent(decoded(baseName(src)));
    const std::string name = baseName(dst);
    if (parentOf(dst) != parentOf(src) || name.empty() || name == "." || name == "..") {
        return fail(kErrBadName, src);
    }
    if (dst != src) {
        if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) != 0) {
            int error = errno;
            if (error == EINVAL || error == ENOSYS) {
                error =
                    exists(dst) ? EEXIST : (::rename(src.c_str(), dst.c_str()) == 0 ? 0 : errno);
            }
            if (error) {
                return fail(error, src);
            }
        }
    }
    tick(1, 0);
    return Step::Done;
}

FileOpEngine::Step FileOpEngine::fail(int error, const std::string& subject) {
    m_failed = true;
    m_observer.showError(fileOpErrorText(m_request.kind, decoded(baseName(subject)), error),
                         fileOpErrorTitle(m_request.kind));
    return Step::Stop;
}

bool FileOpEngine::cancelled() {
    if (m_cancel) {
        m_aborted = true;
    }
    return m_aborted;
}

void FileOpEngine::scan(const std::string& path, const struct stat& st, qint64& files,
                        qint64& bytes) {
    if (!S_ISDIR(st.st_mode)) {
        files += 1;
        bytes += S_ISREG(st.st_mode) ? st.st_size : 0;
        return;
    }
    int error = 0;
    for (const std::string& name : entriesOf(path, error)) {
        if (m_cancel) {
            return;
        }
        const std::string child = join(path, name);
        struct stat childSt {};
        if (::lstat(child.c_str(), &childSt) == 0) {
            scan(child, childSt, files, bytes);
        }
    }
}

void FileOpEngine::tick(qint64 files, qint64 bytes) {
    m_status.filesDone += files;
    m_status.bytesDone += bytes;
    m_observer.progressed(m_status);
}

}  // namespace gv
