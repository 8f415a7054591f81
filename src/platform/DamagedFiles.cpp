#include "platform/DamagedFiles.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Fd.h"
#include "platform/FileAccess.h"
#include "platform/FileNameBytes.h"

namespace gv {
namespace {

constexpr int kMaxAsideNames = 1000;

std::string asideName(const std::string& name, int n) {
    return n == 1 ? name + ".damaged" : name + ".damaged-" + std::to_string(n);
}

// The folder and the name of a path, as the system's bytes.
std::pair<std::string, std::string> splitPath(const QString& path) {
    const std::string bytes = fileNameToStdString(path);
    const size_t slash = bytes.rfind('/');
    if (slash == std::string::npos) {
        return {".", bytes};
    }
    return {slash == 0 ? "/" : bytes.substr(0, slash), bytes.substr(slash + 1)};
}

// Renames without replacing anything, also where the file system cannot be asked to refuse.
int renameNoReplace(int dir, const char* from, const char* to) {
    if (::renameat2(dir, from, dir, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
    struct stat taken {};
    if (::fstatat(dir, to, &taken, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(dir, from, dir, to);
}

}  // namespace

BoundedFile::BoundedFile(const QString& path, qint64 limit) : m_limit(limit) {
    m_fd = ::open(fileNameToStdString(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (m_fd < 0) {
        m_error = errno;
        m_state = m_error == ENOENT ? State::Missing : State::Unreadable;
        return;
    }
    if (::fstat(m_fd, &m_info) != 0) {
        m_error = errno;
        m_state = State::Unreadable;
    } else if (!S_ISREG(m_info.st_mode)) {
        m_state = State::NotAFile;
    } else if (m_info.st_size > m_limit) {
        m_state = State::TooLarge;
    } else {
        m_state = State::Readable;
    }
}

BoundedFile::~BoundedFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::optional<QByteArray> BoundedFile::readAll() {
    if (m_state != State::Readable) {
        return std::nullopt;
    }
    // The size taken at the open is a hint only: the file may grow or shrink meanwhile.
    QByteArray bytes(qsizetype(m_info.st_size) + 1, Qt::Uninitialized);
    qsizetype done = 0;
    for (;;) {
        if (done == bytes.size()) {
            if (done > m_limit) {
                m_state = State::TooLarge;
                return std::nullopt;
            }
            bytes.resize(std::min<qint64>(m_limit + 1, 2 * done + 4096));
        }
        const ssize_t n = ::pread(m_fd, bytes.data() + done, size_t(bytes.size() - done), done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            m_error = errno;
            m_state = State::Unreadable;
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}

bool sameFileVersion(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

QString moveAside(const QString& path, const struct stat* expected) {
    const auto [folder, name] = splitPath(path);
    const Fd dir(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) {
        return QString();
    }
    for (int n = 1; n <= kMaxAsideNames; ++n) {
        const std::string aside = asideName(name, n);
        if (renameNoReplace(dir.get(), name.c_str(), aside.c_str()) != 0) {
            if (errno == EEXIST || errno == ENOTEMPTY) {
                continue;
            }
            return QString();
        }
        struct stat moved {};
        if (expected && (::fstatat(dir.get(), aside.c_str(), &moved, 0) != 0 ||
                         moved.st_dev != expected->st_dev || moved.st_ino != expected->st_ino)) {
            // Another file took the name since it was looked at: that one stays where it was.
            if (renameNoReplace(dir.get(), aside.c_str(), name.c_str()) == 0) {
                return QString();
            }
        }
        return fileNameFromBytes(folder == "/" ? "/" + aside : folder + "/" + aside);
    }
    return QString();
}

QString keepCopyAside(const QString& folder, const QString& name, QByteArrayView bytes) {
    const std::string folderBytes = fileNameToStdString(folder);
    const std::string nameBytes = fileNameToStdString(name);
    const Fd dir(::open(folderBytes.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) {
        return QString();
    }
    for (int n = 1; n <= kMaxAsideNames; ++n) {
        const std::string aside = asideName(nameBytes, n);
        const Fd copy(::openat(dir.get(), aside.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (copy.get() < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return QString();
        }
        if (!writeAll(copy.get(), bytes) || ::fsync(copy.get()) != 0) {
            // A copy cut short is no copy: the caller must not go on as if it were kept.
            ::unlinkat(dir.get(), aside.c_str(), 0);
            return QString();
        }
        return fileNameFromBytes(folderBytes == "/" ? "/" + aside : folderBytes + "/" + aside);
    }
    return QString();
}

QString systemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace gv
