#include "platform/Paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileAccess.h"
#include "platform/FileNameBytes.h"

namespace gv {

QString programFolder() {
    const QString overridden = qEnvironmentVariable("GLIMVANE_PROGRAM_DIR");
    if (!overridden.isEmpty()) {
        return QDir::cleanPath(QDir(overridden).absolutePath());
    }
    return QCoreApplication::applicationDirPath();
}

QString programPath() {
    return joinPath(programFolder(), QString::fromLatin1(kExecutableName));
}

QString joinPath(const QString& folder, const QString& name) {
    if (folder.endsWith(QLatin1Char('/'))) {
        return folder + name;
    }
    return folder + QLatin1Char('/') + name;
}

namespace {

QString userDataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Glimvane");
}

}  // namespace

bool programFolderWritable() {
    return QFileInfo(programFolder()).isWritable();
}

QString writableDataFolder() {
    if (programFolderWritable()) {
        return programFolder();
    }
    const QString data = userDataFolder();
    QDir().mkpath(data);
    return data;
}

QString picturesFolder() {
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return pictures.isEmpty() ? QDir::homePath() : pictures;
}

QString programFileForReading(const QString& name) {
    if (!programFolderWritable()) {
        const QString written = joinPath(userDataFolder(), name);
        if (QFileInfo::exists(written)) {
            return written;
        }
    }
    return joinPath(programFolder(), name);
}

QString volumeRoot(const QString& path) {
    // Qt's classes would read a name that is not UTF-8 as its look-alike: the nearest folder
    // on the way whose path is plain text decides (a mount point's own name is rarely odd).
    if (holdsRawBytes(path)) {
        QString plain = path;
        while (holdsRawBytes(plain)) {
            plain.truncate(qMax(0, plain.lastIndexOf(QLatin1Char('/'))));
        }
        return volumeRoot(plain.isEmpty() ? QStringLiteral("/") : plain);
    }
    QStorageInfo info(path);
    if (info.isValid() && !info.rootPath().isEmpty()) {
        return info.rootPath();
    }
    // A path that does not exist (yet): walk up to the nearest existing folder.
    QFileInfo fi(path);
    QDir dir = fi.isDir() ? QDir(path) : fi.dir();
    while (!dir.exists() && dir.cdUp()) {
    }
    QStorageInfo parent(dir.absolutePath());
    return parent.isValid() ? parent.rootPath() : QStringLiteral("/");
}

QStringList volumeRoots() {
    QStringList roots;
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        if (v.isValid() && v.isReady() && !roots.contains(v.rootPath())) {
            roots << v.rootPath();
        }
    }
    return roots;
}

bool isVolumeAvailable(const QString& root) {
    QStorageInfo info(root);
    if (!info.isValid() || !info.isReady()) {
        return false;
    }
    // A mount point whose volume has gone is a plain folder of the volume above it.
    if (QDir::cleanPath(info.rootPath()) != QDir::cleanPath(root)) {
        return false;
    }
    return QFileInfo(root).isReadable() && QDir(root).exists();
}

namespace {

std::optional<MountConventions>& conventionsOverride() {
    static std::optional<MountConventions> conventions;
    return conventions;
}

// A mount point as fstab and mountinfo write it: blanks, tabs, line ends and backslashes
// as three octal digits after a backslash.
std::string unescapedMountField(const std::string& field) {
    const auto octal = [&](size_t at) {
        return at < field.size() && field[at] >= '0' && field[at] <= '7';
    };
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out +=
                char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// The given field of each line that is not a comment.
std::vector<std::string> mountPointsIn(const std::string& file, int field) {
    std::vector<std::string> points;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string word;
        for (int i = 0; i <= field && words >> word; ++i) {
            if (i == 0 && word[0] == '#') {
                break;
            }
            if (i == field && word[0] == '/') {
                std::string point = unescapedMountField(word);
                while (point.size() > 1 && point.back() == '/') {
                    point.pop_back();
                }
                points.push_back(std::move(point));
            }
        }
    }
    return points;
}

bool isSameOrBelow(const std::string& path, const std::string& folder) {
    if (folder == "/") {
        return true;
    }
    return path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

// Missing, or a folder without entries: a mount point waiting for its volume.
bool missingOrEmpty(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        return errno == ENOENT;
    }
    bool empty = true;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..") {
            empty = false;
            break;
        }
    }
    ::closedir(dir);
    return empty;
}

}  // namespace

MountConventions systemMountConventions() {
    if (conventionsOverride()) {
        return *conventionsOverride();
    }
    MountConventions conventions;
    QByteArray user;
    std::vector<char> buffer(4096);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        user = found->pw_name;
    } else {
        user = qgetenv("USER");
    }
    if (!user.isEmpty()) {
        const QString name = fileNameFromBytes(user);
        conventions.userMountFolders = {QStringLiteral("/media/") + name,
                                        QStringLiteral("/run/media/") + name};
    }
    return conventions;
}

void overrideMountConventions(const std::optional<MountConventions>& conventions) {
    conventionsOverride() = conventions;
}

QString unmountedVolumeOf(const QString& path) {
    const std::string wanted = fileNameToBytes(QDir::cleanPath(path)).toStdString();
    if (wanted.empty() || wanted[0] != '/') {
        return {};
    }
    const MountConventions conventions = systemMountConventions();
    enum class Kind { Fstab, UserFolder, MountFolder };
    std::string named;
    Kind kind = Kind::Fstab;
    for (const std::string& point : mountPointsIn(conventions.fstab.toStdString(), 1)) {
        if (point != "/" && isSameOrBelow(wanted, point) && point.size() > named.size()) {
            named = point;
            kind = Kind::Fstab;
        }
    }
    // The first component under a folder used for mounts is the volume's mount point.
    const auto byConvention = [&](const QStringList& folders, Kind folderKind) {
        for (const QString& folder : folders) {
            const std::string base = fileNameToBytes(QDir::cleanPath(folder)).toStdString();
            if (wanted.size() <= base.size() + 1 || !isSameOrBelow(wanted, base)) {
                continue;
            }
            const size_t end = wanted.find('/', base.size() + 1);
            const std::string point = wanted.substr(0, end);
            // /media/USER is the folder of the user's volumes, not a volume.
            const bool isUserFolder =
                conventions.userMountFolders.contains(fileNameFromBytes(std::string_view(point)));
            if (!isUserFolder && point.size() > named.size()) {
                named = point;
                kind = folderKind;
            }
        }
    };
    byConvention(conventions.userMountFolders, Kind::UserFolder);
    byConvention(conventions.mountFolders, Kind::MountFolder);
    if (named.empty()) {
        return {};
    }
    // A volume mounted there, or deeper on the path's way, is what the path lies on.
    for (const std::string& point : mountPointsIn("/proc/self/mountinfo", 4)) {
        if (isSameOrBelow(wanted, point) && point.size() >= named.size()) {
            return {};
        }
    }
    if (kind == Kind::MountFolder && !missingOrEmpty(named)) {
        return {};  // a plain folder of the volume above
    }
    return fileNameFromBytes(std::string_view(named));
}

FolderFailure folderFailure(const QString& folder) {
    // An unplugged disk's folder would resolve to the volume above, which is there: the
    // volume the path names decides first.
    if (folder.isEmpty() || !unmountedVolumeOf(folder).isEmpty() ||
        !isVolumeAvailable(volumeRoot(folder))) {
        return {kErrDeviceUnavailable, QStringLiteral("Device unavailable")};
    }
    if (!isFolder(folder)) {
        return {kErrPathNotFound, QStringLiteral("Path not found")};
    }
    // The rights of the user the program runs as, as the system checks them on entering.
    if (::faccessat(AT_FDCWD, fileNameToBytes(folder).constData(), R_OK | X_OK, AT_EACCESS) != 0) {
        return {kErrPermissionDenied, QStringLiteral("Permission denied")};
    }
    return {};
}

}  // namespace gv
