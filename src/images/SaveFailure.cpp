#include "images/SaveFailure.h"

#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <climits>

namespace gv {

SaveFailure writeFailure(const QString& path, QFileDevice::FileError error) {
    const QFileInfo target(path);
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir()) {
        return {76, QStringLiteral("Path not found")};
    }
    if (target.fileName().toLocal8Bit().size() > NAME_MAX) {
        return {52, QStringLiteral("Bad file name or number")};
    }
    if (error == QFileDevice::ResourceError) {
        return {61, QStringLiteral("Disk full")};
    }
    const QByteArray local = QFile::encodeName(folder.absoluteFilePath());
    if (::access(local.constData(), W_OK) != 0 || (target.exists() && !target.isWritable())) {
        return {70, QStringLiteral("Permission denied")};
    }
    return {75, QStringLiteral("Path/File access error")};
}

SaveFailure jpegWriterMissing() {
    return {kJpegWriterMissing,
            QStringLiteral("libqjpeg.so, the JPEG writer of Qt's image formats, could not be "
                           "loaded")};
}

QString saveFailureMessage(const SaveFailure& failure) {
    if (failure.number == kJpegWriterMissing) {
        return QStringLiteral(
                   "The Jpeg save component installed with Glimvane is not present "
                   "on the system: cannot save to jpegs.") +
               QStringLiteral("\r\n") +
               QStringLiteral("Please reinstall Glimvane to restore the component") +
               QStringLiteral("\r\n") +
               QStringLiteral("Error Message Reported by System follows: ") + failure.description;
    }
    return failure.description + QStringLiteral(", error number: ") +
           QString::number(failure.number);
}

}  // namespace gv
