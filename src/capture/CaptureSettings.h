#pragma once
// The capture's settings: section "ScreenCapture" of the main application, with the defaults
// the set-up window reads them with.

#include "settings/SettingKeys.h"

namespace gv::keys {

inline constexpr SettingKey kCapFullScreen{kMain, kScreenCapture, "fullscrn", "1"};
inline constexpr SettingKey kCapClient{kMain, kScreenCapture, "client", "0"};
inline constexpr SettingKey kCapCustomArea{kMain, kScreenCapture, "custarea", "0"};
inline constexpr SettingKey kCapActiveWindow{kMain, kScreenCapture, "actwnd", "0"};
inline constexpr SettingKey kCapTimer{kMain, kScreenCapture, "timer", "1"};
inline constexpr SettingKey kCapHotkey{kMain, kScreenCapture, "hotkey", "0"};
inline constexpr SettingKey kCapSysTray{kMain, kScreenCapture, "systray", "0"};
inline constexpr SettingKey kCapKeys{kMain, kScreenCapture, "cbokeys", "0"};
inline constexpr SettingKey kCapTimerVal{kMain, kScreenCapture, "timerval", "1"};
inline constexpr SettingKey kCapInvisible{kMain, kScreenCapture, "gvinvis", "0"};

}  // namespace gv::keys
