#include "help/HelpCommands.h"

#include <QFileInfo>

#include "help/clsHelp.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

namespace gv {
namespace {

constexpr const char* kHelpMissingText =
    "The Helpfile 'gv23hlp.chm' is missing, please reinstall Glimvane";
constexpr const char* kHelpMissingTitle = "Help File Not Found";
constexpr const char* kHelpUnreadableText =
    "The Helpfile 'gv23hlp.chm' cannot be read (%1), please reinstall Glimvane";
constexpr const char* kHelpUnreadableTitle = "Help File Damaged";
constexpr const char* kNoTopicText =
    "The Helpfile 'gv23hlp.chm' has no topic for this window (context %1); its contents are "
    "shown instead.";
constexpr const char* kNoTopicTitle = "Help Topic Not Found";
constexpr const char* kReadMeMissingText = "The Readme file (Readme.txt) was not found!";
constexpr const char* kReadMeMissingTitle = "File not found";
constexpr const char* kReadMeNotOpenedText =
    "The Readme file (Readme.txt) could not be opened: the desktop has no program for text "
    "files.";

QString helpPath() {
    return joinPath(programFolder(), QString::fromLatin1(kHelpFileName));
}

// The messages of a Show that found nothing to show, or the wrong thing.
void report(clsHelp& help, clsHelp::Outcome outcome, quint32 context, QWidget* owner) {
    switch (outcome) {
        case clsHelp::Outcome::Shown:
            break;
        case clsHelp::Outcome::Missing:
            dialogs().message(QString::fromLatin1(kHelpMissingText), MsgButtons::Ok,
                              MsgIcon::Critical, QString::fromLatin1(kHelpMissingTitle), owner);
            break;
        case clsHelp::Outcome::Unreadable:
            dialogs().message(QString::fromLatin1(kHelpUnreadableText).arg(help.problemText()),
                              MsgButtons::Ok, MsgIcon::Critical,
                              QString::fromLatin1(kHelpUnreadableTitle), owner);
            break;
        case clsHelp::Outcome::NoSuchTopic:
            dialogs().message(QString::fromLatin1(kNoTopicText).arg(context), MsgButtons::Ok,
                              MsgIcon::Information, QString::fromLatin1(kNoTopicTitle), owner);
            break;
    }
}

}  // namespace

void ShowHelpContents(clsHelp& help, QWidget* owner) {
    const QString path = helpPath();
    // A folder or a link to nothing by that name is as good as missing.
    if (!QFileInfo(path).isFile()) {
        report(help, clsHelp::Outcome::Missing, 0, owner);
        return;
    }
    // The help engine is the program's own, so it is always there: on to the file.
    report(help, help.Show(path), 0, owner);
}

void ShowHelpTopic(clsHelp& help, quint32 context, QWidget* owner) {
    report(help, help.Show(helpPath(), QStringLiteral("popup"), context), context, owner);
}

void ShowReadMe(QWidget* owner) {
    const QString path = joinPath(programFolder(), QString::fromLatin1(kReadMeFileName));
    if (!QFileInfo(path).isFile()) {
        dialogs().message(QString::fromLatin1(kReadMeMissingText), MsgButtons::Ok,
                          MsgIcon::Exclamation, QString::fromLatin1(kReadMeMissingTitle), owner);
        return;
    }
    if (!openLocalFile(path)) {
        dialogs().message(QString::fromLatin1(kReadMeNotOpenedText), MsgButtons::Ok,
                          MsgIcon::Exclamation, QString::fromLatin1(kProgramTitle), owner);
    }
}

}  // namespace gv
