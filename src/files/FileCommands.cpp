#include "files/FileCommands.h"

#include <sys/stat.h>
#include <cerrno>
#include <cstring>

#include "platform/FileNameBytes.h"
#include "platform/Paths.h"

namespace gv {

SelectedFiles selectedFileList(const QString& folder, const QStringList& selectedNames) {
    SelectedFiles result;
    for (const QString& name : selectedNames) {
        if (result.count++ > 0) {
            result.list += QChar(0);
        }
        result.list += joinPath(folder, name);
    }
    return result;
}

QString destinationQuestion(bool move, int count, const QString& currentName) {
    const QString verb = move ? QStringLiteral("move") : QStringLiteral("copy");
    if (count == 1) {
        return QStringLiteral("Please select where you would like to %1 %2 to.")
            .arg(verb, currentName);
    }
    return QStringLiteral("Please select where you would like to %1 these %2 files to.")
        .arg(verb)
        .arg(count);
}

int rowAfterDelete(int k, int count) {
    if (k - 1 >= 0 && k - 1 < count) {
        return k - 1;
    }
    if (k >= 0 && k < count) {
        return k;
    }
    return -1;
}

QChar forbiddenFolderChar(const QString& name) {
    for (const QChar c : name) {
        if (QStringLiteral("\\/?|\"<>*:").contains(c)) {
            return c;
        }
    }
    return {};
}

QString createFolder(const QString& parent, const QString& name) {
    const QByteArray path = fileNameToBytes(joinPath(parent, name));
    if (::mkdir(path.constData(), 0777) == 0) {
        return {};
    }
    const int error = errno;
    const QString reason = error == EEXIST
                               ? QStringLiteral("A file or folder with that name already exists.")
                           : error == EACCES || error == EPERM
                               ? QStringLiteral("Access is denied.")
                               : QString::fromLocal8Bit(std::strerror(error)) + QLatin1Char('.');
    return QStringLiteral("The directory '%1' could not be created: %2").arg(name, reason);
}

QString parentFolderOf(const QString& path) {
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

}  // namespace gv
