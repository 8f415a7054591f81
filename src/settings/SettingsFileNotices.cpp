#include "settings/SettingsFileNotices.h"

#include "platform/DamagedFiles.h"
#include "platform/Dialogs.h"
#include "platform/FileNameBytes.h"

namespace gv {
namespace {

// %1 the file, %2 what is wrong with it, %3 where it is kept.
constexpr const char* kSetAside =
    "Glimvane could not use its settings file '%1': %2.\n\nIt has started with its default "
    "settings. The file is kept, unchanged, as '%3'.";
// %1 the file, %2 what is wrong with it.
constexpr const char* kLeftAlone =
    "Glimvane could not use its settings file '%1': %2.\n\nIt has started with its default "
    "settings. The file could not be moved aside, so it was left where it is, unchanged; "
    "Glimvane will not save its settings until it is moved or removed.";
constexpr const char* kTooLarge = "it is larger than 4 MB, far too large to be a settings file";
constexpr const char* kNotAFile = "it is not a file";
// %1 the system's reason.
constexpr const char* kUnreadable = "it cannot be read (%1)";

}  // namespace

QString settingsFileMessage(const SettingsFileNotice& notice) {
    QString reason;
    switch (notice.reason) {
        case SettingsFileNotice::Reason::TooLarge:
            reason = QString::fromLatin1(kTooLarge);
            break;
        case SettingsFileNotice::Reason::NotAFile:
            reason = QString::fromLatin1(kNotAFile);
            break;
        case SettingsFileNotice::Reason::Unreadable:
            reason = QString::fromLatin1(kUnreadable).arg(systemErrorText(notice.error));
            break;
    }
    const QString file = fileNameForDisplay(notice.file);
    if (notice.keptAs.isEmpty()) {
        return QString::fromLatin1(kLeftAlone).arg(file, reason);
    }
    return QString::fromLatin1(kSetAside).arg(file, reason, fileNameForDisplay(notice.keptAs));
}

void ReportSettingsFiles(QWidget* owner) {
    for (const SettingsFileNotice& notice : takeSettingsFileNotices()) {
        dialogs().message(settingsFileMessage(notice), MsgButtons::Ok, MsgIcon::Exclamation,
                          QString::fromLatin1(kProgramTitle), owner);
    }
}

}  // namespace gv
