#include "options/DesktopShortcuts.h"

#include "options/DesktopEntries.h"
#include "platform/DesktopFiles.h"
#include "platform/FileAccess.h"
#include "platform/Paths.h"

namespace gv {
namespace {

constexpr int kAttempts = 3;
constexpr mode_t kLauncherMode = 0755;

}  // namespace

QString CreateDesktopShortcut(const QString& target, const QString& name,
                              const QString& desktopFolder, bool opensFiles) {
    const QString folder = desktopFolder.isEmpty() ? userDesktopFolder() : desktopFolder;
    const std::optional<QByteArray> text = launcherEntry(name, target, opensFiles);
    if (folder.isEmpty() || !text) {
        return QString();
    }
    QString fileName = name;
    fileName.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString path = joinPath(folder, fileName + QStringLiteral(".desktop"));
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        UserFile file;
        if (!readUserFile(path, file).ok() || file.isLink ||
            (file.exists && !isOwnEntry(file.bytes))) {
            return QString();
        }
        const UserFileStatus status = replaceUserFile(file, *text, kLauncherMode);
        if (status.ok()) {
            markLauncherTrusted(path);
            return path;
        }
        if (status.error != UserFileError::Changed) {
            return QString();
        }
    }
    return QString();
}

QStringList CreateDesktopIcons(const QString& desktopFolder) {
    QStringList written;
    const QString program =
        CreateDesktopShortcut(programPath(), QStringLiteral("Glimvane"), desktopFolder, true);
    if (!program.isEmpty()) {
        written << program;
    }
    // The update program is not part of every installation.
    const QString updater = joinPath(programFolder(), QString::fromLatin1(kUpdateName));
    if (isRegularFile(updater)) {
        const QString update =
            CreateDesktopShortcut(updater, QStringLiteral("Glimvane Update"), desktopFolder);
        if (!update.isEmpty()) {
            written << update;
        }
    }
    return written;
}

}  // namespace gv
