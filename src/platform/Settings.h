#pragma once
// The per-user settings store: text values addressed by (application, section, key).
// Names are compared without regard to case; every write reaches the disk at once.

#include <QString>

namespace gv {

QString GetSetting(const QString& application, const QString& section, const QString& key,
                   const QString& defaultValue = QString());
void SaveSetting(const QString& application, const QString& section, const QString& key,
                 const QString& text);
// Deletes one key, or the whole section when key is empty.
void DeleteSetting(const QString& application, const QString& section,
                   const QString& key = QString());

// True when the key exists (tests and callers that must tell "absent" from "empty").
bool SettingExists(const QString& application, const QString& section, const QString& key);

// The file that holds one application's settings.
QString settingsFilePath(const QString& application);

}  // namespace gv
