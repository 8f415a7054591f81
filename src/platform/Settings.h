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

}  // namespace gv
