#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

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

}  // namespace gv
