#include "files/FileOpEngine.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <time.h>
#include <unistd.h>
#include <QDateTime>
#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>

#include "files/Checksum.h"
#include "files/FileTree.h"
#include "files/ReadBack.h"
#include "platform/FileNameBytes.h"

#include "platform/FileNameBytes.h"

namespace gv {
namespace {

constexpr size_t kChunk = 8 * 1024 * 1024;  // one piece of work between progress reports
constexpr size_t kBuffer = 1024 * 1024;     // read/write where the kernel cannot copy
constexpr qint64 kReadBackBeside = 2 * qint64(kChunk);

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

// A name as the user reads it in a message or the progress window.
QString shown(const std::string& name) {
    return fileNameForDisplay(decoded(name));
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

std::pair<dev_t, ino_t> identity(const struct stat& st) {
    return {st.st_dev, st.st_ino};
}

bool sameTimes(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool before(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Sums the bytes of the open file from its start; false when it cannot be read whole, is
// longer, or the operation is cancelled meanwhile.
bool sumOf(int fd, qint64 size, std::vector<char>& buffer, const std::atomic<bool>& cancel,
           uint64_t& sum) {
    Checksum checksum;
    qint64 at = 0;
    while (at < size && !cancel) {
        const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        checksum.add(buffer.data(), size_t(n));
        at += n;
    }
    // A file longer than it was when copied differs from its copy.
    char extra = 0;
    if (at < size || ::pread(fd, &extra, 1, at) != 0) {
        return false;
    }
    sum = checksum.value();
    return true;
}

QString describe(const struct stat& st) {
    return QLocale::system().formattedDataSize(st.st_size) + QStringLiteral(", modified ") +
           QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec)
               .toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

// The folder that holds a source or a target, opened where the user named it.
struct Place {
    Fd folder;
    std::string name;
    int error = 0;
};

Place placeOf(const std::string& path) {
    Place place{openFolderPath(parentOf(path)), baseName(path)};
    place.error = place.folder.valid() ? 0 : errno;
    return place;
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
    static const char* const kDone[] = {"", "moved, so the original was kept.", "copied.",
                                        "deleted.", "renamed."};
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
        case kErrChanged:
            reason = QStringLiteral("The file or folder has changed while it was being %1")
                         .arg(QLatin1String(kDone[int(kind)]));
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
    std::vector<std::string> paths;
    std::vector<Place> sources;
    for (const QString& s : m_request.sources) {
        paths.push_back(encoded(s));
        sources.push_back(placeOf(paths.back()));
    }
    if (toTrash || kind == FileOpKind::Rename) {
        m_status.filesTotal = qint64(sources.size());
    } else {
        for (const Place& s : sources) {
            struct stat st {};
            qint64 files = 0, bytes = 0;
            if (!s.error && statAt(s.folder.get(), s.name, st) == 0) {
                scan(s.folder.get(), s.name, st, files, bytes);
            }
            m_status.filesTotal += files;
            m_status.bytesTotal += bytes;
        }
    }
    if (kind == FileOpKind::Delete && !toTrash && !(m_request.flags & kFofNoConfirmation)) {
        struct stat st {};
        const bool folder = !sources.empty() && !sources[0].error &&
                            statAt(sources[0].folder.get(), sources[0].name, st) == 0 &&
                            S_ISDIR(st.st_mode);
        if (!m_observer.confirmDelete(deleteQuestion(m_request.sources, folder),
                                      deleteTitle(m_request.sources, folder))) {
            return {false, true};
        }
    }
    const std::string dest = encoded(m_request.destination);
    Fd destFolder;
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
        destFolder = openFolderPath(destIsFolder ? dest : parentOf(dest));
        if (!destFolder.valid()) {
            fail(errno, dest);
            return {m_failed, m_aborted};
        }
    }
    for (size_t i = 0; i < sources.size(); ++i) {
        if (cancelled()) {
            break;
        }
        const Place& src = sources[i];
        struct stat st {};
        if (const int error = src.error ? src.error : statAt(src.folder.get(), src.name, st)) {
            fail(error, paths[i]);
            break;
        }
        const int from = src.folder.get();
        Step step = Step::Done;
        if (kind == FileOpKind::Copy || kind == FileOpKind::Move) {
            const std::string target = destIsFolder ? src.name : baseName(dest);
            struct stat there {};
            const bool same = S_ISDIR(st.st_mode) && statAt(destFolder.get(), target, there) == 0 &&
                              sameObject(there, st);
            if (S_ISDIR(st.st_mode) && !same && isWithin(destFolder.get(), st)) {
                step = fail(kErrInsideSource, src.name);
            } else if (same && kind == FileOpKind::Copy) {
                // A folder copied beside itself gets a name of its own.
                step = copyEntry(from, src.name, st, destFolder.get(),
                                 uniqueName(destFolder.get(), target), false);
            } else if (same) {
                tick(0, 0);  // moved onto itself: it is there already
            } else {
                step = kind == FileOpKind::Copy
                           ? copyEntry(from, src.name, st, destFolder.get(), target, false)
                           : moveEntry(from, src.name, st, destFolder.get(), target);
            }
        } else if (toTrash) {
            m_status.setCurrent(shown(src.name));
            const int error = m_trash.put(paths[i]);
            step = error ? fail(error, src.name) : Step::Done;
            if (!error) {
                tick(1, 0);
            }
        } else if (kind == FileOpKind::Delete) {
            step = removeEntry(from, src.name, st);
        } else {
            step = renameEntry(paths[i], dest);
        }
        if (step == Step::Stop) {
            break;
        }
    }
    return {m_failed, m_aborted};
}

std::string FileOpEngine::uniqueName(int folder, const std::string& name) {
    return collisionFreeName(name, [&](const std::string& candidate) {
        struct stat st {};
        return statAt(folder, candidate, st) == 0;
    });
}

void FileOpEngine::sweep(int folder) {
    struct stat st {};
    if (::fstat(folder, &st) == 0 && m_swept.insert(identity(st)).second) {
        removeStaleParts(folder);
    }
}

FileOpEngine::Step FileOpEngine::resolveCollision(const std::string& name, const struct stat& st,
                                                  int to, std::string& target, bool& replace) {
    struct stat there {};
    if (statAt(to, target, there) != 0) {
        return Step::Done;
    }
    const bool same = sameObject(there, st);
    if (same && m_request.kind == FileOpKind::Move) {
        tick(1, 0);
        return Step::Skipped;
    }
    if (same || (m_request.flags & kFofRenameOnCollision)) {
        target = uniqueName(to, target);
        return Step::Done;
    }
    if (S_ISDIR(there.st_mode) || S_ISDIR(st.st_mode)) {
        return fail(EEXIST, name);  // a folder never replaces a file, nor a file a folder
    }
    if (!m_yesToAll && !(m_request.flags & kFofNoConfirmation)) {
        const QString question = QStringLiteral(
                                     "This folder already contains a file named '%1'.\n\n"
                                     "Would you like to replace the existing file\n\n    %2\n\n"
                                     "with this one?\n\n    %3")
                                     .arg(shown(target), describe(there), describe(st));
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

FileOpEngine::Step FileOpEngine::copyEntry(int from, const std::string& name, const struct stat& st,
                                           int to, std::string target, bool moving, bool replace) {
    if (cancelled()) {
        return Step::Stop;
    }
    if (S_ISDIR(st.st_mode)) {
        struct stat there {};
        if (statAt(to, target, there) == 0 &&
            (!S_ISDIR(there.st_mode) || (m_request.flags & kFofRenameOnCollision))) {
            if (!(m_request.flags & kFofRenameOnCollision)) {
                return fail(EEXIST, name);
            }
            target = uniqueName(to, target);
        }
        return copyFolder(from, name, st, to, target, moving);
    }
    if (!replace) {
        const Step step = resolveCollision(name, st, to, target, replace);
        if (step != Step::Done) {
            return step;
        }
    }
    if (S_ISLNK(st.st_mode)) {
        return copyLink(from, name, st, to, target, moving, replace);
    }
    if (S_ISREG(st.st_mode)) {
        return copyFile(from, name, st, to, target, moving, replace);
    }
    return fail(EOPNOTSUPP, name);  // devices, pipes and sockets are no files to copy
}

int FileOpEngine::transfer(int in, int out, qint64& copied, Checksum* sum, ReadBack* back) {
    // A checksum needs the bytes in memory; a plain copy lets the kernel move them.
    enum { kRange, kSendfile, kReadWrite } how = sum ? kReadWrite : kRange;
    m_buffer.resize(kBuffer);
    qint64 started = 0, settled = 0;  // written back to the disk: begun, and done
    // A memory file system has no disk to write to, and asking it to drop pages it cannot
    // drop costs a wait on every processor.
    const bool onDisk = sum && !isInMemory(out);
    while (true) {
        if (cancelled()) {
            return ECANCELED;
        }
        ssize_t n = 0;
        if (how == kRange) {
            n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
            if (n < 0 && copied == 0 && errno != ENOSPC && errno != EDQUOT && errno != EIO) {
                how = kSendfile;  // across file systems or on one that cannot
                continue;
            }
        } else if (how == kSendfile) {
            n = ::sendfile(out, in, nullptr, kChunk);
            if (n < 0 && copied == 0 && (errno == EINVAL || errno == ENOSYS)) {
                how = kReadWrite;
                continue;
            }
        } else {
            n = ::read(in, m_buffer.data(), m_buffer.size());
            if (n > 0 && sum) {
                sum->add(m_buffer.data(), size_t(n));
            }
            for (ssize_t done = 0; n > 0 && done < n;) {
                const ssize_t w = ::write(out, m_buffer.data() + done, size_t(n - done));
                if (w < 0 && errno != EINTR) {
                    n = -1;
                    break;
                }
                done += std::max<ssize_t>(w, 0);
            }
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return 0;
        }
        copied += n;
        if (sum && copied - started >= qint64(kChunk)) {
            // A moved file goes to the disk while the next piece is read, not all at the end,
            // and its written pages leave the cache: the check reads it back from the disk.
            if (onDisk) {
                ::sync_file_range(out, started, copied - started, SYNC_FILE_RANGE_WRITE);
            }
            if (started > settled) {
                if (onDisk) {
                    ::sync_file_range(out, settled, started - settled,
                                      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                          SYNC_FILE_RANGE_WAIT_AFTER);
                    ::posix_fadvise(out, settled, started - settled, POSIX_FADV_DONTNEED);
                }
                settled = started;
                if (back) {
                    back->allow(settled);
                }
            }
            started = copied;
        }
        m_status.bytesDone += n;
        m_observer.progressed(m_status);
    }
}

int FileOpEngine::verifyMoved(int in, const struct stat& opened, const struct timespec& openedAt,
                              int out, qint64 copied, uint64_t sum, ReadBack* back) {
    // The copy from the disk, not from the cache that still holds what was written.
    if (::fdatasync(out) != 0) {
        return errno;
    }
    if (!isInMemory(out)) {
        ::posix_fadvise(out, 0, 0, POSIX_FADV_DONTNEED);
    }
    uint64_t read = 0;
    if (!(back ? back->finish(copied, read) : sumOf(out, copied, m_buffer, m_cancel, read)) ||
        read != sum) {
        return cancelled() ? ECANCELED : kErrVerifyFailed;
    }
    // A writer that changed the source meanwhile changed its size or times...
    struct stat now {};
    if (::fstat(in, &now) != 0) {
        return errno;
    }
    if (now.st_size != opened.st_size || copied != opened.st_size ||
        !sameTimes(now.st_mtim, opened.st_mtim) || !sameTimes(now.st_ctim, opened.st_ctim)) {
        return kErrChanged;
    }
    // ...unless it wrote within the clock tick of the last change before the copy began, which
    // a coarse file-system clock does not tell apart: then the bytes themselves tell.
    uint64_t again = 0;
    if (!before(opened.st_ctim, openedAt) &&
        (!sumOf(in, copied, m_buffer, m_cancel, again) || again != sum)) {
        return cancelled() ? ECANCELED : kErrChanged;
    }
    return cancelled() ? ECANCELED : 0;
}

FileOpEngine::Step FileOpEngine::copyFile(int from, const std::string& name, const struct stat& st,
                                          int to, const std::string& target, bool moving,
                                          bool replace) {
    m_status.setCurrent(shown(name));
    struct timespec openedAt {};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &openedAt);
    // Non-blocking: a pipe swapped in for the file must not hang the open.
    const Fd in(::openat(from, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat inSt {};
    if (!in.valid()) {
        return fail(errno == ELOOP ? kErrChanged : errno, name);
    }
    if (::fstat(in.get(), &inSt) != 0) {
        return fail(errno, name);
    }
    if (!S_ISREG(inSt.st_mode) || !sameObject(inSt, st)) {
        return fail(kErrChanged, name);
    }
    sweep(to);
    PartFile part;
    if (const int error = part.create(to)) {
        return fail(error, name);
    }
    ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    qint64 copied = 0;
    Checksum sum;
    // A big file is read back beside its copy; a small one after it, sparing a thread.
    std::optional<ReadBack> back;
    if (moving && inSt.st_size >= kReadBackBeside) {
        back.emplace(part.fd(), m_cancel);
    }
    int error =
        transfer(in.get(), part.fd(), copied, moving ? &sum : nullptr, back ? &*back : nullptr);
    if (!error && moving) {
        // The source goes only once its copy is on the disk and holds the same bytes.
        error = verifyMoved(in.get(), inSt, openedAt, part.fd(), copied, sum.value(),
                            back ? &*back : nullptr);
    }
    if (!error) {
        error = part.finishWriting();
    }
    if (error == ECANCELED) {
        return Step::Stop;
    }
    if (!error) {
        // Permissions and times before the final name, after the last write that could change
        // them.
        ::fchmod(part.lockedFd(), inSt.st_mode & 07777);
        const struct timespec times[2] = {inSt.st_atim, inSt.st_mtim};
        ::futimens(part.lockedFd(), times);
        error = part.commit(target, replace);
    }
    if (error) {
        return fail(error, name);
    }
    if (moving && removeMoved(from, name, inSt, 0) == Step::Stop) {
        return Step::Stop;
    }
    tick(1, 0);
    return Step::Done;
}

FileOpEngine::Step FileOpEngine::removeMoved(int folder, const std::string& name,
                                             const struct stat& st, int flags) {
    struct stat now {};
    if (const int error = statAt(folder, name, now)) {
        return fail(error, name);
    }
    if (!sameObject(now, st) || (!S_ISDIR(st.st_mode) && !sameTimes(now.st_ctim, st.st_ctim))) {
        return fail(kErrChanged, name);
    }
    return ::unlinkat(folder, name.c_str(), flags) == 0 ? Step::Done : fail(errno, name);
}

FileOpEngine::Step FileOpEngine::copyLink(int from, const std::string& name, const struct stat& st,
                                          int to, const std::string& target, bool moving,
                                          bool replace) {
    m_status.setCurrent(shown(name));
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlinkat(from, name.c_str(), link.data(), link.size());
    if (n < 0) {
        return fail(errno == EINVAL ? kErrChanged : errno, name);
    }
    link.resize(size_t(n));
    if (!replace) {
        // A new link appears whole: it needs no temporary name.
        if (::symlinkat(link.c_str(), to, target.c_str()) != 0) {
            return fail(errno, name);
        }
    } else {
        sweep(to);
        std::string temp;
        // Names someone else took are passed over, but not without end.
        for (int attempt = 0; temp.empty(); ++attempt) {
            const std::string candidate = linkPartName(attempt);
            if (::symlinkat(link.c_str(), to, candidate.c_str()) == 0) {
                temp = candidate;
            } else if (errno != EEXIST || attempt == 1000) {
                return fail(errno, name);
            }
        }
        if (const int error = commitAt(to, temp, target, true)) {
            ::unlinkat(to, temp.c_str(), 0);
            return fail(error, name);
        }
    }
    if (moving && removeMoved(from, name, st, 0) == Step::Stop) {
        return Step::Stop;
    }
    tick(1, 0);
    return Step::Done;
}

FileOpEngine::Step FileOpEngine::copyFolder(int from, const std::string& name,
                                            const struct stat& st, int to,
                                            const std::string& target, bool moving) {
    m_status.setCurrent(shown(name));
    // A folder this operation made, met again as a source, is the target seen through another
    // path (a bind mount): going on would copy the copy into itself without end.
    if (m_made.contains(identity(st))) {
        return fail(kErrInsideSource, name);
    }
    const Fd src = openFolderAt(from, name);
    struct stat srcSt {};
    if (!src.valid() || ::fstat(src.get(), &srcSt) != 0) {
        return fail(errno == ELOOP || errno == ENOTDIR ? kErrChanged : errno, name);
    }
    if (!sameObject(srcSt, st)) {
        return fail(kErrChanged, name);
    }
    // Owner-only until complete; a kill leaves it so (see the desktop choices).
    const bool made = ::mkdirat(to, target.c_str(), 0700) == 0;
    if (!made && errno != EEXIST) {
        return fail(errno, name);
    }
    const Fd dst = openFolderAt(to, target);
    struct stat dstSt {};
    if (!dst.valid() || ::fstat(dst.get(), &dstSt) != 0) {
        const int error = errno == ELOOP ? EEXIST : errno;
        if (made) {
            ::unlinkat(to, target.c_str(), AT_REMOVEDIR);
        }
        return fail(error, name);
    }
    if (made) {
        m_made.insert(identity(dstSt));
        m_swept.insert(identity(dstSt));  // new and empty: nothing to clean
    }
    int error = 0;
    const std::vector<std::string> names = entriesOf(src.get(), error);
    if (error) {
        if (made) {
            ::unlinkat(to, target.c_str(), AT_REMOVEDIR);
        }
        return fail(error, name);
    }
    bool whole = true;
    Step step = Step::Done;
    for (const std::string& child : names) {
        struct stat childSt {};
        if (const int e = statAt(src.get(), child, childSt)) {
            step = fail(e, child);
            break;
        }
        const Step s = copyEntry(src.get(), child, childSt, dst.get(), child, moving);
        if (s == Step::Stop) {
            step = s;
            break;
        }
        whole = whole && s == Step::Done;
    }
    if (made) {
        ::fchmod(dst.get(), st.st_mode & 07777);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(dst.get(), times);
    }
    if (step == Step::Stop) {
        return step;
    }
    if (moving && whole && removeMoved(from, name, st, AT_REMOVEDIR) == Step::Stop) {
        return Step::Stop;
    }
    return whole ? Step::Done : Step::Skipped;
}

FileOpEngine::Step FileOpEngine::moveEntry(int from, const std::string& name, const struct stat& st,
                                           int to, std::string target) {
    if (cancelled()) {
        return Step::Stop;
    }
    m_status.setCurrent(shown(name));
    bool replace = false;
    struct stat there {};
    if (statAt(to, target, there) == 0) {
        if (S_ISDIR(st.st_mode) && S_ISDIR(there.st_mode) &&
            !(m_request.flags & kFofRenameOnCollision)) {
            if (sameObject(st, there)) {
                return Step::Skipped;  // the same folder under another path: it is there
            }
            // Two folders of one name become one: the contents move in one by one.
            const Fd src = openFolderAt(from, name);
            const Fd dst = openFolderAt(to, target);
            struct stat srcSt {};
            if (!src.valid() || ::fstat(src.get(), &srcSt) != 0 || !sameObject(srcSt, st)) {
                return fail(kErrChanged, name);
            }
            if (!dst.valid()) {
                return fail(errno == ELOOP ? EEXIST : errno, name);
            }
            int error = 0;
            const std::vector<std::string> names = entriesOf(src.get(), error);
            if (error) {
                return fail(error, name);
            }
            bool whole = true;
            for (const std::string& child : names) {
                struct stat childSt {};
                if (const int e = statAt(src.get(), child, childSt)) {
                    return fail(e, child);
                }
                const Step s = moveEntry(src.get(), child, childSt, dst.get(), child);
                if (s == Step::Stop) {
                    return s;
                }
                whole = whole && s == Step::Done;
            }
            if (whole && removeMoved(from, name, st, AT_REMOVEDIR) == Step::Stop) {
                return Step::Stop;
            }
            return whole ? Step::Done : Step::Skipped;
        }
        if (S_ISDIR(st.st_mode) && !(m_request.flags & kFofRenameOnCollision)) {
            return fail(EEXIST, name);
        }
        const Step step = S_ISDIR(st.st_mode) ? (target = uniqueName(to, target), Step::Done)
                                              : resolveCollision(name, st, to, target, replace);
        if (step != Step::Done) {
            return step;
        }
    }
    const int rc = replace ? ::renameat(from, name.c_str(), to, target.c_str())
                           : ::renameat2(from, name.c_str(), to, target.c_str(), RENAME_NOREPLACE);
    if (rc == 0) {
        if (S_ISDIR(st.st_mode)) {
            qint64 files = 0, bytes = 0;
            scan(to, target, st, files, bytes);  // what went with the folder
            tick(files, bytes);
        } else {
            tick(1, S_ISREG(st.st_mode) ? st.st_size : 0);
        }
        return Step::Done;
    }
    if (errno == EXDEV) {
        return copyEntry(from, name, st, to, target, true, replace);
    }
    return fail(errno, name);
}

FileOpEngine::Step FileOpEngine::removeEntry(int folder, const std::string& name,
                                             const struct stat& st) {
    if (cancelled()) {
        return Step::Stop;
    }
    m_status.setCurrent(shown(name));
    if (!S_ISDIR(st.st_mode)) {
        // A link goes as a link: unlinkat never follows one.
        if (::unlinkat(folder, name.c_str(), 0) != 0) {
            return fail(errno, name);
        }
        tick(1, S_ISREG(st.st_mode) ? st.st_size : 0);
        return Step::Done;
    }
    const Fd sub = openFolderAt(folder, name);
    struct stat subSt {};
    if (!sub.valid() || ::fstat(sub.get(), &subSt) != 0) {
        return fail(errno == ELOOP || errno == ENOTDIR ? kErrChanged : errno, name);
    }
    if (!sameObject(subSt, st)) {
        return fail(kErrChanged, name);
    }
    int error = 0;
    const std::vector<std::string> names = entriesOf(sub.get(), error);
    if (error) {
        return fail(error, name);
    }
    for (const std::string& child : names) {
        struct stat childSt {};
        if (const int e = statAt(sub.get(), child, childSt)) {
            return fail(e, child);
        }
        if (removeEntry(sub.get(), child, childSt) == Step::Stop) {
            return Step::Stop;
        }
    }
    // The name may lead elsewhere by now: only the folder that was emptied goes.
    struct stat now {};
    if (statAt(folder, name, now) != 0 || !sameObject(now, st)) {
        return fail(kErrChanged, name);
    }
    return ::unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0 ? Step::Done : fail(errno, name);
}

FileOpEngine::Step FileOpEngine::renameEntry(const std::string& src, const std::string& dst) {
    m_status.setCurrent(shown(baseName(src)));
    const std::string oldName = baseName(src), name = baseName(dst);
    if (parentOf(dst) != parentOf(src) || name.empty() || name == "." || name == "..") {
        return fail(kErrBadName, oldName);
    }
    if (dst != src) {
        const Fd folder = openFolderPath(parentOf(src));
        if (!folder.valid()) {
            return fail(errno, oldName);
        }
        if (const int error = [&] {
                if (::renameat2(folder.get(), oldName.c_str(), folder.get(), name.c_str(),
                                RENAME_NOREPLACE) == 0) {
                    return 0;
                }
                if (errno != EINVAL && errno != ENOSYS) {
                    return errno;
                }
                struct stat st {};
                if (statAt(folder.get(), name, st) == 0) {
                    return int(EEXIST);
                }
                return ::renameat(folder.get(), oldName.c_str(), folder.get(), name.c_str()) == 0
                           ? 0
                           : errno;
            }()) {
            return fail(error, oldName);
        }
    }
    tick(1, 0);
    return Step::Done;
}

FileOpEngine::Step FileOpEngine::fail(int error, const std::string& name) {
    m_failed = true;
    m_observer.showError(fileOpErrorText(m_request.kind, shown(baseName(name)), error),
                         fileOpErrorTitle(m_request.kind));
    return Step::Stop;
}

bool FileOpEngine::cancelled() {
    if (m_cancel) {
        m_aborted = true;
    }
    return m_aborted;
}

void FileOpEngine::scan(int folder, const std::string& name, const struct stat& st, qint64& files,
                        qint64& bytes) {
    if (!S_ISDIR(st.st_mode)) {
        files += 1;
        bytes += S_ISREG(st.st_mode) ? st.st_size : 0;
        return;
    }
    const Fd sub = openFolderAt(folder, name);
    if (!sub.valid()) {
        return;
    }
    int error = 0;
    for (const std::string& child : entriesOf(sub.get(), error)) {
        if (m_cancel) {
            return;
        }
        struct stat childSt {};
        if (statAt(sub.get(), child, childSt) == 0) {
            scan(sub.get(), child, childSt, files, bytes);
        }
    }
}

void FileOpEngine::tick(qint64 files, qint64 bytes) {
    m_status.filesDone += files;
    m_status.bytesDone += bytes;
    m_observer.progressed(m_status);
}

}  // namespace gv
