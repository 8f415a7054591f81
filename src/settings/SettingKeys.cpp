#include "settings/SettingKeys.h"

#include "platform/Settings.h"

namespace gv {

QString GetSetting(const SettingKey& k) {
    return GetSetting(k, QString::fromUtf8(k.defaultValue));
}

bool isOne(const SettingKey& k) {
    return GetSetting(k).trimmed() == QStringLiteral("1");
}

QString GetSetting(const SettingKey& k, const QString& defaultValue) {
    return GetSetting(QString::fromUtf8(k.application), QString::fromUtf8(k.section),
                      QString::fromUtf8(k.key), defaultValue);
}

void SaveSetting(const SettingKey& k, const QString& text) {
    SaveSetting(QString::fromUtf8(k.application), QString::fromUtf8(k.section),
                QString::fromUtf8(k.key), text);
}

void DeleteSetting(const SettingKey& k) {
    DeleteSetting(QString::fromUtf8(k.application), QString::fromUtf8(k.section),
                  QString::fromUtf8(k.key));
}

}  // namespace gv
