#include "platform/FileAccess.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/FileNameBytes.h"

namespace gv {

namespace {

// The bytes to hand to the system; nothing for a path with a NUL, which the system would cut
// short there and so name another file.
std::optional<QByteArray> systemBytes(const QString& path) {
    QByteArray bytes = fileNameToBytes(path);
    if (bytes.isEmpty() || bytes.contains('\0')) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

std::optional<struct stat> statPath(const QString& path, bool followLinks) {
    const std::optional<QByteArray> system = systemBytes(path);
    if (!system) {
        return std::nullopt;
    }
    const QByteArray& bytes = *system;
    struct stat st {};
    const int rc = followLinks ? ::stat(bytes.constData(), &st) : ::lstat(bytes.constData(), &st);
    if (rc != 0) {
        return std::nullopt;
    }
    return st;
}

bool isRegularFile(const QString& path) {
    const std::optional<struct stat> st = statPath(path);
    return st && S_ISREG(st->st_mode);
}

bool isFolder(const QString& path) {
    const std::optional<struct stat> st = statPath(path);
    return st && S_ISDIR(st->st_mode);
}

bool pathExists(const QString& path) {
    return statPath(path, false).has_value();
}

std::optional<QString> resolveShownPath(const QString& shown) {
    constexpr QChar kReplacement(char16_t(0xFFFD));
    if (!shown.contains(kReplacement) || !shown.startsWith(QLatin1Char('/'))) {
        return shown;
    }
    QString resolved;
    bool found = true;  // every name so far is there, so the next can be looked up
    for (const QString& name : shown.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const QString folder = resolved.isEmpty() ? QStringLiteral("/") : resolved;
        QString chosen = name;
        if (found && name.contains(kReplacement)) {
            int matches = 0;
            if (DIR* dir = ::opendir(fileNameToBytes(folder).constData())) {
                while (const dirent* entry = ::readdir(dir)) {
                    const QString candidate = fileNameFromBytes(std::string_view(entry->d_name));
                    if (fileNameForDisplay(candidate) == name) {
                        chosen = candidate;
                        ++matches;
                    }
                }
                ::closedir(dir);
            }
            if (matches > 1) {
                return std::nullopt;
            }
            found = matches == 1;
        } else if (found) {
            found = pathExists(resolved + QLatin1Char('/') + name);
        }
        resolved += QLatin1Char('/') + chosen;
    }
    return resolved.isEmpty() ? QStringLiteral("/") : resolved;
}

int openForReadingFd(const QString& path) {
    const std::optional<QByteArray> bytes = systemBytes(path);
    if (!bytes) {
        errno = ENOENT;
        return -1;
    }
    int fd = -1;
    do {
        fd = ::open(bytes->constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool openForReading(QFile& file, const QString& path) {
    const int fd = openForReadingFd(path);
    if (fd < 0) {
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        errno = EIO;
        return false;
    }
    return true;
}

bool writeAll(int fd, QByteArrayView bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        done += n;
    }
    return true;
}

int writeFileAtomically(const QString& path, const QByteArray& bytes) {
    const std::optional<QByteArray> system = systemBytes(path);
    if (!system) {
        return ENOENT;
    }
    std::string target = system->toStdString();
    // Saving over a link writes the file it points to, which keeps the link.
    struct stat link {};
    if (::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char* real = ::realpath(target.c_str(), nullptr);
        if (real) {
            target = real;
            std::free(real);
        }
    }
    const auto slash = target.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : target.substr(0, slash == 0 ? 1 : slash);
    std::string temp = (folder == "/" ? std::string() : folder) + "/.gvsave-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const auto discard = [&](int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        return error;
    };
    mode_t mode = 0;
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (!writeAll(fd, bytes)) {
        return discard(errno);
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
        return discard(errno);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return error;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return error;
    }
    return 0;
}

}  // namespace gv
