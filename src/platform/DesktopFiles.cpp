#include "platform/DesktopFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/Fd.h"
#include "platform/FileAccess.h"
#include "platform/FileNameBytes.h"

namespace gv {
namespace {

constexpr int kGioWaitMs = 3000;

// An environment variable in the lossless text form, or the fallback when it is unset or
// empty (the base-folder standard treats both alike).
QString envPath(const char* name, const QString& fallback) {
    const QByteArray value = qgetenv(name);
    return value.isEmpty() ? fallback : fileNameFromBytes(value);
}

QString homeFolder() {
    return envPath("HOME", QDir::homePath());
}

QStringList envPathList(const char* name, const QStringList& fallback) {
    const QByteArray value = qgetenv(name);
    if (value.isEmpty()) {
        return fallback;
    }
    QStringList list;
    for (const QByteArray& part : value.split(':')) {
        // Relative entries are invalid and are ignored, as the base-folder standard asks.
        if (part.startsWith('/')) {
            list << fileNameFromBytes(part);
        }
    }
    return list;
}

// Reads everything from fd, at most limit + 1 bytes (so a caller sees it went over).
bool readAll(int fd, qint64 limit, QByteArray& out) {
    out.clear();
    char buffer[16384];
    while (out.size() <= limit) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        out.append(buffer, n);
    }
    return true;
}

UserFileStatus failed(UserFileError error, int e = 0) {
    return UserFileStatus{error, e};
}

// Makes each missing folder of the path (private to the user, as base folders are).
bool makeFolders(const QByteArray& folder) {
    for (qsizetype i = 1; i <= folder.size(); ++i) {
        if (i == folder.size() || folder.at(i) == '/') {
            const QByteArray part = folder.left(i);
            if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) {
                return false;
            }
        }
    }
    return true;
}

// The user made it read-only: for the owner the owner's write bit says so (root included,
// whom the system lets write anyway); for anyone else the system's own answer.
bool isReadOnly(const struct stat& st, int dir, const char* name) {
    if (st.st_uid == ::geteuid()) {
        return (st.st_mode & S_IWUSR) == 0;
    }
    return ::faccessat(dir, name, W_OK, AT_EACCESS) != 0;
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

QString xdgConfigHome() {
    return envPath("XDG_CONFIG_HOME", homeFolder() + QStringLiteral("/.config"));
}

QString xdgDataHome() {
    return envPath("XDG_DATA_HOME", homeFolder() + QStringLiteral("/.local/share"));
}

QStringList xdgConfigDirs() {
    return envPathList("XDG_CONFIG_DIRS", {QStringLiteral("/etc/xdg")});
}

QStringList xdgDataDirs() {
    return envPathList("XDG_DATA_DIRS",
                       {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")});
}

QStringList currentDesktopNames() {
    QStringList names;
    for (const QString& name :
         qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        names << name.toLower();
    }
    return names;
}

QString userDesktopFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (folder.isEmpty() || QDir::cleanPath(folder) == QDir::cleanPath(QDir::homePath())) {
        return QString();
    }
    return fileNameFromBytes(QFile::encodeName(folder));
}

UserFileStatus readUserFile(const QString& path, UserFile& file, qint64 maxBytes) {
    file = UserFile{};
    file.path = path;
    file.realPath = path;
    const QByteArray name = fileNameToBytes(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) {
        return errno == ENOENT ? UserFileStatus{} : failed(UserFileError::System, errno);
    }
    QByteArray real = name;
    if (S_ISLNK(st.st_mode)) {
        file.isLink = true;
        char* resolved = ::realpath(name.constData(), nullptr);
        if (!resolved) {
            return errno == ENOENT ? failed(UserFileError::DanglingLink, ENOENT)
                                   : failed(UserFileError::System, errno);
        }
        real = QByteArray(resolved);
        std::free(resolved);
        file.realPath = fileNameFromBytes(real);
    }
    // Not blocking: a pipe put in the file's place must not hang the program.
    Fd fd{::open(real.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK)};
    if (fd.get() < 0) {
        return failed(errno == ELOOP ? UserFileError::NotAFile : UserFileError::System, errno);
    }
    if (::fstat(fd.get(), &st) != 0) {
        return failed(UserFileError::System, errno);
    }
    if (!S_ISREG(st.st_mode)) {
        return failed(UserFileError::NotAFile);
    }
    if (st.st_size > maxBytes) {
        return failed(UserFileError::TooLarge);
    }
    if (!readAll(fd.get(), maxBytes, file.bytes)) {
        return failed(UserFileError::System, errno);
    }
    if (file.bytes.size() > maxBytes) {
        return failed(UserFileError::TooLarge);
    }
    file.exists = true;
    file.mode = st.st_mode & 07777;
    return {};
}

UserFileStatus replaceUserFile(const UserFile& read, const QByteArray& bytes,
                               std::optional<mode_t> mode) {
    const QByteArray path = fileNameToBytes(read.path);
    const QByteArray target = fileNameToBytes(read.realPath.isEmpty() ? read.path : read.realPath);
    // The link (or its absence) is as it was read, so the text goes where the reader saw it.
    struct stat linkStat {};
    const bool isLinkNow = ::lstat(path.constData(), &linkStat) == 0 && S_ISLNK(linkStat.st_mode);
    if (isLinkNow != read.isLink) {
        return failed(UserFileError::Changed);
    }
    if (read.isLink) {
        char* resolved = ::realpath(path.constData(), nullptr);
        const bool same = resolved && target == QByteArray(resolved);
        std::free(resolved);
        if (!same) {
            return failed(UserFileError::Changed);
        }
    }
    const qsizetype slash = target.lastIndexOf('/');
    if (slash < 0 || slash == target.size() - 1) {
        return failed(UserFileError::System, EINVAL);
    }
    const QByteArray folder = slash == 0 ? QByteArray("/") : target.left(slash);
    const QByteArray name = target.mid(slash + 1);
    if (!makeFolders(folder)) {
        return failed(UserFileError::System, errno);
    }
    Fd dir{::open(folder.constData(), O_DIRECTORY | O_RDONLY | O_CLOEXEC)};
    if (dir.get() < 0) {
        return failed(UserFileError::System, errno);
    }
    struct stat st {};
    const bool exists = ::fstatat(dir.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists != read.exists) {
        return failed(UserFileError::Changed);
    }
    if (exists) {
        if (!S_ISREG(st.st_mode)) {
            return failed(UserFileError::NotAFile);
        }
        if (isReadOnly(st, dir.get(), name.constData())) {
            return failed(UserFileError::ReadOnly);
        }
        Fd old{::openat(dir.get(), name.constData(),
                        O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK)};
        QByteArray now;
        if (old.get() < 0 || !readAll(old.get(), read.bytes.size(), now)) {
            return failed(UserFileError::Changed);
        }
        if (now != read.bytes) {
            return failed(UserFileError::Changed);
        }
    }
    const mode_t finalMode = mode ? *mode : exists ? (st.st_mode & 07777) : newFileMode();

    // A name of its own beside the file, so the rename stays within one folder.
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = '.' + name + ".gv-" + QByteArray::number(QRandomGenerator::system()->generate(), 16);
        fd = ::openat(dir.get(), temp.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            return failed(UserFileError::System, errno);
        }
    }
    if (fd < 0) {
        return failed(UserFileError::System, EEXIST);
    }
    const auto discard = [&](int error) {
        ::close(fd);
        ::unlinkat(dir.get(), temp.constData(), 0);
        return failed(UserFileError::System, error);
    };
    if (!writeAll(fd, bytes) || ::fchmod(fd, finalMode) != 0 || ::fsync(fd) != 0) {
        return discard(errno);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlinkat(dir.get(), temp.constData(), 0);
        return failed(UserFileError::System, error);
    }
    if (::renameat(dir.get(), temp.constData(), dir.get(), name.constData()) != 0) {
        const int error = errno;
        ::unlinkat(dir.get(), temp.constData(), 0);
        return failed(UserFileError::System, error);
    }
    ::fsync(dir.get());
    return {};
}

QString userFileProblem(const UserFileStatus& status) {
    switch (status.error) {
        case UserFileError::None:
            return QString();
        case UserFileError::NotAFile:
            return QStringLiteral("it is not an ordinary file");
        case UserFileError::DanglingLink:
            return QStringLiteral("it is a symbolic link to a file that does not exist");
        case UserFileError::ReadOnly:
            return QStringLiteral("it is read-only");
        case UserFileError::TooLarge:
            return QStringLiteral("it is too large to be such a file");
        case UserFileError::Changed:
            return QStringLiteral("another program kept changing it");
        case UserFileError::System:
            break;
    }
    return QString::fromLocal8Bit(std::strerror(status.errnoValue)).toLower();
}

void markLauncherTrusted(const QString& path) {
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    // Without a session bus gio would start a bus of its own to reach the metadata store.
    const bool sessionBus =
        !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") ||
        pathExists(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus"));
    if (gio.isEmpty() || !sessionBus || holdsRawBytes(path)) {
        return;
    }
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(gio, {QStringLiteral("set"), path, QStringLiteral("metadata::trusted"),
                        QStringLiteral("true")});
    if (!process.waitForFinished(kGioWaitMs)) {
        process.kill();
        process.waitForFinished(kGioWaitMs);
    }
}

}  // namespace gv
