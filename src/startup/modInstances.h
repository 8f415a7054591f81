#pragma once
// The program's entry: single instance, hand-over of a second start's command line, the
// splash window, and the two start-up checks the main window runs while it loads.

#include <QDate>
#include <QString>
#include <QStringList>

class QWidget;

namespace gv {

class frmSettingUp;

// Runs the whole program; returns the process exit code.
int StartProcedure(int argc, char** argv);

// Takes the instance lock; False when another instance holds it.
bool IsFirstInstance();
// Releases the instance lock if held (the main window's query-unload).
void ReleaseInstance();
// Restores the window if minimised and brings it to the front.
void ActivatePreviousWindow(QWidget* window);

// True (after telling the user) when the program's folder is the root of a volume, where
// the program refuses to run.
bool RefuseRootFolder(const QString& folder);

// The splash window of this start, or null once it has been unloaded.
frmSettingUp* splashWindow();
void SetSplashStatus(const QString& text);
void UnloadSplash();
void HideSplash();

struct RequiredComponent {
    QString fileName;         // the name the missing-component message gives
    QStringList candidates;   // full paths; present when any one exists
};
// The run-time pieces this build relies on: the image-format plugins Qt loads for the
// program's types and the sibling recovery program.
QList<RequiredComponent> requiredComponents();
// The names of the missing ones, in order.
QStringList missingComponents(const QList<RequiredComponent>& components);
void ShowMissingComponent(const QString& fileName);
void CheckComponents();
void CheckComponents(const QList<RequiredComponent>& components);

// Dates of the update record, as the store keeps them (the locale's short date).
QString formatStoredDate(const QDate& date);
QDate parseStoredDate(const QString& text);
// Runs the update reminder against the given "today".
void UpdateReminder(const QDate& today = QDate::currentDate());

// The support mailbox, the home page and the texts that name them.
inline constexpr const char* kSupportEmail = "support@glimvane.org";
inline constexpr const char* kHomePage = "https://glimvane.org";

// Said on the standard error when the single instance cannot be trusted or used.
inline constexpr const char* kRunningAloneMessage = "%1; running without the single instance.";
inline constexpr const char* kForeignListenerMessage =
    "the running instance's socket belongs to another user; the command line was not handed "
    "over.";
inline constexpr const char* kTooLongMessage =
    "the command line is longer than %1 KiB and was not handed over.";

inline constexpr const char* kRootDirectoryMessage =
    "Glimvane cannot be run from a root directory! Please install to a deeper directory.";
QString missingComponentMessage(const QString& fileName);
// The command line a second start hands over: a relative image path is made absolute against
// the folder the user typed it in, since the running instance works in another folder.
QString handOverCommandLine(const QString& commandLine, const QString& workingFolder);
QString updateReminderMessage(const QDate& last);

}  // namespace gv
