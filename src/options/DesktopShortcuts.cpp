#include "options/DesktopShortcuts.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace gv {
namespace {

// Exec= arguments are quoted when they hold characters desktop entries reserve.
QString quoteExec(const QString& path) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needs = false;
    for (QChar c : path) {
        needs = needs || reserved.contains(c);
    }
    if (!needs) {
        return path;
    }
    QString escaped = path;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\\\\\"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("\\\\\""));
    escaped.replace(QLatin1Char('`'), QStringLiteral("\\\\`"));
    escaped.replace(QLatin1Char('$'), QStringLiteral("\\\\$"));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

}  // namespace

QString CreateDesktopShortcut(const QString& target, const QString& name,
                              const QString& desktopFolder) {
    QString folder = desktopFolder;
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    }
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        return QString();
    }
    QString fileName = name;
    fileName.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString path = folder + QLatin1Char('/') + fileName + QStringLiteral(".desktop");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return QString();
    }
    const QString text = QStringLiteral(
                             "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=%1\n"
                             "Exec=%2 %f\n"
                             "Icon=glimvane\n"
                             "Terminal=false\n"
                             "Categories=Graphics;Viewer;\n")
                             .arg(name, quoteExec(target));
    file.write(text.toUtf8());
    if (!file.commit()) {
        return QString();
    }
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner |
                                    QFileDevice::ExeUser);
    return path;
}

}  // namespace gv
