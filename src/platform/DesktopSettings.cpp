#include "platform/DesktopSettings.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace gv {
namespace {

// The default of the MIME type in a mimeapps.list, or "".
QString mimeappsDefault(const QString& path, const QString& type) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return QString();
    }
    bool inDefaults = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine(64 * 1024)).trimmed();
        if (line.startsWith(u'[')) {
            inDefaults = line == QStringLiteral("[Default Applications]");
        } else if (inDefaults && line.startsWith(type + u'=')) {
            return line.mid(type.size() + 1).section(u';', 0, 0).trimmed();
        }
    }
    return QString();
}

}  // namespace

QString defaultWebBrowserEntry() {
    if (!QStandardPaths::findExecutable(QStringLiteral("xdg-settings")).isEmpty()) {
        QProcess p;
        p.start(QStringLiteral("xdg-settings"),
                {QStringLiteral("get"), QStringLiteral("default-web-browser")});
        if (p.waitForFinished(3000) && p.exitCode() == 0) {
            const QString entry = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
            if (!entry.isEmpty()) {
                return entry;
            }
        }
    }
    QStringList lists;
    for (const QString& folder :
         QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation)) {
        lists << folder + QStringLiteral("/mimeapps.list");
    }
    for (const QString& folder :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        lists << folder + QStringLiteral("/applications/mimeapps.list");
    }
    for (const QString& type :
         {QStringLiteral("x-scheme-handler/http"), QStringLiteral("text/html")}) {
        for (const QString& list : lists) {
            const QString entry = mimeappsDefault(list, type);
            if (!entry.isEmpty()) {
                return entry;
            }
        }
    }
    return QString();
}

}  // namespace gv
