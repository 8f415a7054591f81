#include "platform/VideoPlayer.h"

#include <QDesktopServices>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "platform/Launcher.h"

namespace gv {
namespace {

constexpr int kQueryTimeoutMs = 5000;

// The desktop entry of the default application for the MIME type, or "".
QString defaultEntryFor(const QString& mimeType) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty()) {
        return {};
    }
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!query.waitForFinished(kQueryTimeoutMs)) {
        query.kill();
        query.waitForFinished(1000);
        return {};
    }
    return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
}

}  // namespace

QStringList fullScreenPlayerCommand(const QString& desktopEntry, const QString& file) {
    const QString entry = desktopEntry.toLower();
    struct Player {
        const char* entryPart;
        const char* program;
        const char* fullScreen;
    };
    static const Player kPlayers[] = {
        {"mpv", "mpv", "--fs"},
        {"vlc", "vlc", "--fullscreen"},
        {"totem", "totem", "--fullscreen"},
    };
    for (const Player& p : kPlayers) {
        if (entry.contains(QLatin1String(p.entryPart))) {
            return {QString::fromLatin1(p.program), QString::fromLatin1(p.fullScreen), file};
        }
    }
    return {};
}

bool playVideoFullScreen(const QString& file) {
    // By its name alone: the file is not opened here, the player opens it.
    const QString type =
        QMimeDatabase().mimeTypeForFile(file, QMimeDatabase::MatchExtension).name();
    const QStringList command = fullScreenPlayerCommand(defaultEntryFor(type), file);
    if (!command.isEmpty() && launchDetached(command.first(), command.mid(1))) {
        return true;
    }
    // xdg-open is given the name's own bytes; a URL would carry a look-alike of a name that is
    // not UTF-8.
    return launchDetached(QStringLiteral("xdg-open"), {file}) ||
           QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

}  // namespace gv
