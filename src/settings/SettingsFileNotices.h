#pragma once
// Tells the user of each settings file the store could not use and moved aside.

#include <QString>

#include "platform/Settings.h"

class QWidget;

namespace gv {

// The message for one file, as the program shows it.
QString settingsFileMessage(const SettingsFileNotice& notice);
// Shows the message of every settings file set aside since the last call, over owner.
void ReportSettingsFiles(QWidget* owner = nullptr);

}  // namespace gv
