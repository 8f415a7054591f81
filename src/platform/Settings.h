#pragma once
// The per-user settings store: text values addressed by (application, section, key).
// Names are compared without regard to case; every write reaches the disk at once, and
// whole: the file is written anew beside the old one and put in its place, so a program
// killed in the middle of a write leaves the file as it was before or after, never half.

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace gv {

QString GetSetting(const QString& application, const QString& section, const QString& key,
                   const QString& defaultValue = QString());
void SaveSetting(const QString& application, const QString& section, const QString& key,
                 const QString& text);
// Deletes one key, or the whole section when key is empty.
void DeleteSetting(const QString& application, const QString& section,
                   const QString& key = QString());

// Every key of one section with its text, the keys in lower case; empty when the section
// is absent. One read, so the values belong together.
QHash<QString, QString> GetAllSettings(const QString& application, const QString& section);

// One change of a batch: a key given text, or deleted when there is no text.
struct SettingChange {
    QString key;
    std::optional<QString> text;
};
// Applies the changes in order and writes them to the file together: all or none of them
// survive whatever happens to the program meanwhile.
void ChangeSettings(const QString& application, const QString& section,
                    const QList<SettingChange>& changes);

// True when the key exists (tests and callers that must tell "absent" from "empty").
bool SettingExists(const QString& application, const QString& section, const QString& key);

// The file that holds one application's settings.
QString settingsFilePath(const QString& application);

// A settings file larger than this is no settings file: it is not read at all.
inline constexpr qint64 kMaxSettingsFileBytes = 4 * 1024 * 1024;

// A settings file the store could not use (too large, not a file, unreadable). It was moved
// aside to keptAs, unchanged, and the store went on with the defaults; with keptAs empty it
// could not be moved, and the store leaves it alone (defaults, nothing written) this session.
struct SettingsFileNotice {
    enum class Reason { TooLarge, NotAFile, Unreadable };
    QString file;
    QString keptAs;
    Reason reason = Reason::TooLarge;
    int error = 0;  // the system's error number of an unreadable file
};
// The notices since the last call, oldest first; each file's trouble is noticed once.
QList<SettingsFileNotice> takeSettingsFileNotices();

// Keeps a copy of the application's settings file as it is now beside it (`.damaged`, ...),
// for a caller that found values in it damaged and is about to write them anew. The next
// write of the store then keeps no second copy of the same file. Returns where the copy is,
// or an empty string when none could be made (then nothing must be rewritten).
QString keepSettingsCopy(const QString& application);

}  // namespace gv
