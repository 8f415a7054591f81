#include "images/SaveFailure.h"
#include "platform/FileAccess.h"
#include "platform/FileNameBytes.h"

#include <unistd.h>
#include <cerrno>
#include <climits>

namespace gv {

SaveFailure writeFailure(const QString& path, int error) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0    ? QStringLiteral(".")
                           : slash == 0 ? QStringLiteral("/")
                                        : path.left(slash);
    if (!isFolder(folder)) {
        return {76, QStringLiteral("Path not found")};
    }
    if (error == ENAMETOOLONG || fileNameToBytes(path.mid(slash + 1)).size() > NAME_MAX) {
        return {52, QStringLiteral("Bad file name or number")};
    }
    if (error == ENOSPC || error == EDQUOT) {
        return {61, QStringLiteral("Disk full")};
    }
    const QByteArray target = fileNameToBytes(path);
    if (error == EACCES || error == EPERM || error == EROFS ||
        ::access(fileNameToBytes(folder).constData(), W_OK) != 0 ||
        (pathExists(path) && ::access(target.constData(), W_OK) != 0)) {
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
