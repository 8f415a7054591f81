#include "startup/modInstances.h"

#include <limits.h>
#include <unistd.h>
#include <cstdio>
#include <thread>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QWidget>

#include "external/Updater.h"
#include "images/ColourProfile.h"
#include "images/IsolatedDecode.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Artwork.h"
#include "platform/Dialogs.h"
#include "platform/DisplayProfile.h"
#include "platform/FileNameBytes.h"
#include "platform/FontConfig.h"
#include "platform/Paths.h"
#include "platform/SingleInstance.h"
#include "platform/Trace.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "startup/frmSettingUp.h"

namespace gv {
namespace {

QPointer<frmSettingUp>& splashSlot() {
    static QPointer<frmSettingUp> splash;
    return splash;
}

// The arguments as the system gave them, joined by blanks; bytes that are not UTF-8 keep
// their escape form (a file name need not be UTF-8).
QString joinedCommandLine(int argc, char** argv) {
    QByteArray joined;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            joined.append(' ');
        }
        joined.append(argv[i]);
    }
    return fileNameFromBytes(joined);
}

QString workingFolder() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? fileNameFromBytes(std::string_view(buffer))
                                           : QDir::currentPath();
}

// Said on the standard error (the program has no window yet, and may get none).
void tell(const QString& text) {
    trace(text);
    const QByteArray line = "Glimvane: " + fileNameToBytes(text) + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

}  // namespace

bool IsFirstInstance() {
    AppState& state = appState();
    if (!state.instanceLock) {
        state.instanceLock = std::make_unique<InstanceLock>();
    }
    if (state.instanceLock->tryAcquire()) {
        return true;
    }
    // A lock this user cannot trust marks no instance of ours: this start runs alone.
    const QString problem = state.instanceLock->problem();
    state.instanceLock.reset();
    if (!problem.isEmpty()) {
        tell(QString::fromLatin1(kRunningAloneMessage).arg(problem));
        return true;
    }
    return false;
}

void ReleaseInstance() {
    appState().instanceLock.reset();
}

void ActivatePreviousWindow(QWidget* window) {
    if (!window) {
        return;
    }
    trace(QStringLiteral("activate"));
    // Already in front: asking the window manager again changes nothing, and a burst of
    // later starts would keep it busy long after.
    if (window->isVisible() && window->isActiveWindow() && !window->isMinimized()) {
        return;
    }
    if (window->isMinimized()) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

frmSettingUp* splashWindow() {
    return splashSlot().data();
}

void SetSplashStatus(const QString& text) {
    if (frmSettingUp* s = splashWindow()) {
        s->setStatus(text);
    }
}

void UnloadSplash() {
    if (frmSettingUp* s = splashWindow()) {
        s->close();
        s->deleteLater();
        splashSlot() = nullptr;
    }
}

void HideSplash() {
    if (frmSettingUp* s = splashWindow()) {
        s->hide();
    }
}

QString handOverCommandLine(const QString& commandLine, const QString& workingFolder) {
    QString path = commandLine;
    if (path.startsWith(QLatin1Char('"'))) {
        path.remove(0, 1);
    }
    if (path.endsWith(QLatin1Char('"'))) {
        path.chop(1);
    }
    if (path.trimmed().isEmpty() || QDir::isAbsolutePath(path)) {
        return commandLine;
    }
    return QDir::cleanPath(QDir(workingFolder).absoluteFilePath(path));
}

QString missingComponentMessage(const QString& fileName) {
    return QStringLiteral("Cannot find a required component or support file. Filename: ") +
           fileName + QStringLiteral(". You will need to reinstall Glimvane.") +
           QStringLiteral("\r\n") +
           QStringLiteral(
               "This normally happens when a file in the installation package has "
               "failed to install, please contact ") +
           QString::fromLatin1(kSupportEmail) + QStringLiteral(" if problems persist.");
}

void ShowMissingComponent(const QString& fileName) {
    dialogs().message(missingComponentMessage(fileName), MsgButtons::Ok, MsgIcon::Critical,
                      QStringLiteral("Glimvane"));
}

QList<RequiredComponent> requiredComponents() {
    QList<RequiredComponent> list;
    // BMP and PNG are built into Qt; these formats come from plugins loaded at run time.
    const QStringList plugins = {QStringLiteral("libqgif.so"), QStringLiteral("libqico.so"),
                                 QStringLiteral("libqjpeg.so"), QStringLiteral("libqtga.so"),
                                 QStringLiteral("libqtiff.so")};
    QStringList folders = QCoreApplication::libraryPaths();
    const QString installed = QLibraryInfo::path(QLibraryInfo::PluginsPath);
    if (!folders.contains(installed)) {
        folders << installed;
    }
    for (const QString& plugin : plugins) {
        RequiredComponent c{plugin, {}};
        for (const QString& folder : folders) {
            c.candidates << folder + QStringLiteral("/imageformats/") + plugin;
        }
        list << c;
    }
    list << RequiredComponent{QString::fromLatin1(kRecoverName),
                              {joinPath(programFolder(), QString::fromLatin1(kRecoverName))}};
    return list;
}

QStringList missingComponents(const QList<RequiredComponent>& components) {
    QStringList missing;
    for (const RequiredComponent& c : components) {
        const bool present = std::any_of(c.candidates.begin(), c.candidates.end(),
                                         [](const QString& p) { return QFileInfo::exists(p); });
        if (!present) {
            missing << c.fileName;
        }
    }
    return missing;
}

void CheckComponents() {
    CheckComponents(requiredComponents());
}

void CheckComponents(const QList<RequiredComponent>& components) {
    const QString major = QString::number(GLIMVANE_VERSION_MAJOR);
    const QString minor = QString::number(GLIMVANE_VERSION_MINOR);
    const QString rev = QString::number(GLIMVANE_VERSION_REV);
    if (GetSetting(keys::kVersionMajor) == major && GetSetting(keys::kVersionMinor) == minor &&
        GetSetting(keys::kVersionRev) == rev) {
        return;
    }
    SaveSetting(keys::kVersionMajor, major);
    SaveSetting(keys::kVersionMinor, minor);
    SaveSetting(keys::kVersionRev, rev);
    dialogs().message(
        QStringLiteral(
            "Glimvane Update's job is to work in conjunction with the Windows Installer set-up "
            "package you downloaded and make sure Glimvane is updated and maintained on your "
            "system. You can use Glimvane Update to detect missing files and fix problems, or "
            "you can choose 'repair' from the context menu of the set-up package you "
            "downloaded. This support is to ensure you have reliable running of the software "
            "and have instant diagnostics, this and the support website should make sure if "
            "you have problems - you'll find answers fast!"),
        MsgButtons::Ok, MsgIcon::Information, QStringLiteral("Information"));
    SaveSetting(keys::kVersionPathKey, programFolder());
    SetSplashStatus(QStringLiteral("Checking Glimvane components are present..."));
    for (const QString& name : missingComponents(components)) {
        ShowMissingComponent(name);
    }
    SetSplashStatus(QStringLiteral("Checking Glimvane components are registered"));
    // Nothing needs registering on this desktop: plugins are found by Qt itself.
    QCoreApplication::processEvents();
    SetSplashStatus(QStringLiteral("Components registered."));
}

QString formatStoredDate(const QDate& date) {
    // The locale's short date, with a four-digit year so that no century is guessed.
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy"))) {
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    }
    return QLocale().toString(date, format);
}

QDate parseStoredDate(const QString& text) {
    const QString t = text.trimmed();
    const QLocale locale;
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy"))) {
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    }
    QDate d = locale.toDate(t, format);
    if (!d.isValid()) {
        d = locale.toDate(t, QLocale::ShortFormat);
        // Two-digit years belong to this century.
        if (d.isValid() && d.year() < 1950) {
            d = d.addYears(100);
        }
    }
    if (!d.isValid()) {
        d = QDate::fromString(t, Qt::ISODate);
    }
    return d;
}

QString updateReminderMessage(const QDate& last) {
    return QStringLiteral("Glimvane Update last checked for a new version of Glimvane on the ") +
           formatStoredDate(last) +
           QStringLiteral(", it is recommended that you check once a month.") +
           QStringLiteral("\r\n\r\n") +
           QStringLiteral("Would you like to run Glimvane Update now?");
}

void UpdateReminder(const QDate& today) {
    QDate last = parseStoredDate(GetSetting(keys::kLastGvUpdate, formatStoredDate(today)));
    if (!last.isValid()) {
        // A damaged record is treated as a check made today.
        last = today;
    }
    const qint64 days = last.daysTo(today);
    if (days < 0) {
        DeleteSetting(keys::kLastGvUpdate);
    }
    if (days >= 35) {
        const MsgAnswer answer =
            dialogs().message(updateReminderMessage(last), MsgButtons::YesNo, MsgIcon::Information,
                              QStringLiteral("Glimvane"));
        if (answer == MsgAnswer::Yes) {
            LaunchUpdater(2);
        }
        SaveSetting(keys::kLastGvUpdate, formatStoredDate(today));
    }
}

bool RefuseRootFolder(const QString& folder) {
    const QString clean = QDir::cleanPath(folder);
    if (clean != QStringLiteral("/") && QDir::cleanPath(volumeRoot(clean)) != clean) {
        return false;
    }
    dialogs().message(QString::fromLatin1(kRootDirectoryMessage), MsgButtons::Ok, MsgIcon::Critical,
                      QStringLiteral("Glimvane"));
    return true;
}

int StartProcedure(int argc, char** argv) {
    AppState& state = appState();
    state.pendingCommandLine = joinedCommandLine(argc, argv);

    // A second start needs no window: it finds the running instance and hands over.
    if (!IsFirstInstance()) {
        QCoreApplication core(argc, argv);
        const HandOverResult result = handOverToRunningInstance(
            fileNameToBytes(handOverCommandLine(state.pendingCommandLine, workingFolder())));
        if (result == HandOverResult::Refused) {
            tell(QString::fromLatin1(kForeignListenerMessage));
        } else if (result == HandOverResult::TooLong) {
            tell(QString::fromLatin1(kTooLongMessage).arg(kMaxHandOverBytes / 1024));
        }
        return 0;
    }

    // A picture on the command line that the decoding helper decodes: the helper starts on the
    // second core while the window is made, rather than when the picture is asked for.
    std::jthread helperAhead;
    const TypeKeyInfo* named = typeKeyInfo(typeKey(QString(state.pendingCommandLine).remove('"')));
    if (named && decodesInHelper(named->decoder)) {
        helperAhead = std::jthread([] { sandboxClient()->start(); });
    }
    // The fonts' configuration is read on the second core while Qt connects to the display.
    FontConfigReader fonts;
    QApplication app(argc, argv);
    QApplication::setStyle(applicationStyle());
    QApplication::setApplicationName(QStringLiteral("Glimvane"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(GLIMVANE_VERSION_MAJOR)
                                            .arg(GLIMVANE_VERSION_MINOR)
                                            .arg(GLIMVANE_VERSION_REV));
    QApplication::setWindowIcon(applicationIcon());
    QApplication::setQuitOnLastWindowClosed(false);
    // Photographs are decoded into the display's colours.
    setDisplayProfile(displayIccProfile());

    fonts.wait();
    const FontListAhead fontList;
    auto* splash = new frmSettingUp();
    splashSlot() = splash;
    splash->show();
    SetSplashStatus(QStringLiteral("Loading Glimvane..."));
    QCoreApplication::processEvents();

    if (RefuseRootFolder(programFolder())) {
        UnloadSplash();
        return 0;
    }

    int code = 0;
    {
        frmGlimvane window;
        QObject::connect(&window, &frmGlimvane::unloaded, &app, [] { QCoreApplication::quit(); });
        if (window.Load()) {
            code = QApplication::exec();
        }
    }
    UnloadSplash();
    ReleaseInstance();
    return code;
}

}  // namespace gv
