#pragma once
// The catalogue of every setting the program keeps: application, section, key and the
// default used where the key is absent. Code refers to these constants, never to copies
// of the names.

#include <QString>

namespace gv {

struct SettingKey {
    const char* application;
    const char* section;
    const char* key;
    const char* defaultValue;
};

// Reads with the catalogue's default, or with the given one where a caller's own default
// differs from the catalogue's.
QString GetSetting(const SettingKey& k);
QString GetSetting(const SettingKey& k, const QString& defaultValue);
void SaveSetting(const SettingKey& k, const QString& text);
void DeleteSetting(const SettingKey& k);
// A check box's value: true when the stored text is "1".
bool isOne(const SettingKey& k);

namespace apps {
inline constexpr const char* kMain = "Glimvane2";
inline constexpr const char* kVersion = "Glimvane";
inline constexpr const char* kUpdate = "GlimvaneUpdate";
inline constexpr const char* kStudio = "GlimvaneStudio";
}  // namespace apps

namespace sections {
inline constexpr const char* kOptions = "Options";
inline constexpr const char* kInterface = "Interface";
inline constexpr const char* kFullScreen = "FullScreen";
inline constexpr const char* kResolution = "Resolution";
inline constexpr const char* kFavs = "Favs";
inline constexpr const char* kScreenCapture = "ScreenCapture";
inline constexpr const char* kVersionPath = "v2.3";
inline constexpr const char* kCurrentVersion = "current_version";
inline constexpr const char* kConstants = "constants";
}  // namespace sections

namespace keys {
using namespace apps;
using namespace sections;

// Window placement and interface state.
inline constexpr SettingKey kWindow{kMain, kOptions, "window", "0"};
inline constexpr SettingKey kLeft{kMain, kOptions, "left", "0"};
inline constexpr SettingKey kTop{kMain, kOptions, "top", "0"};
inline constexpr SettingKey kWidth{kMain, kOptions, "width", "8690"};
inline constexpr SettingKey kHeight{kMain, kOptions, "height", "6050"};
inline constexpr SettingKey kCursorMode{kMain, kOptions, "cursormode", "0"};
inline constexpr SettingKey kFavlist{kMain, kOptions, "Favlist", "0"};
inline constexpr SettingKey kBrowserMode{kMain, kOptions, "browsermode", "1"};
inline constexpr SettingKey kBrowserTools{kMain, kOptions, "browsertools", "0"};
inline constexpr SettingKey kBrowserDock{kMain, kOptions, "browserdock", "1"};
inline constexpr SettingKey kFileseekToggle{kMain, kOptions, "fileseektoggle", "0"};
inline constexpr SettingKey kBtWidth{kMain, kOptions, "btwidth", "150"};
inline constexpr SettingKey kNoFileseekExp{kMain, kOptions, "nofileseekexp", "0"};

// Options edited in the options dialog.
inline constexpr SettingKey kLastDirectory{kMain, kOptions, "LastDirectory", "0"};
inline constexpr SettingKey kScrollSen{kMain, kOptions, "scrollsen", "3"};
inline constexpr SettingKey kDragSen{kMain, kOptions, "dragsen", "3"};
inline constexpr SettingKey kSupportMb{kMain, kOptions, "supportmb", "0"};
inline constexpr SettingKey kImgFll{kMain, kOptions, "imgfll", "0"};
inline constexpr SettingKey kCloseAfter1{kMain, kOptions, "closeafter1", "0"};
inline constexpr SettingKey kFlatCtl{kMain, kOptions, "flatctl", "0"};
inline constexpr SettingKey kSysTrayIcon{kMain, kOptions, "systrayicon", "0"};
inline constexpr SettingKey kShowMinim{kMain, kOptions, "showminim", "True"};
inline constexpr SettingKey kShowAlways{kMain, kOptions, "showalways", "False"};
inline constexpr SettingKey kFollowOp{kMain, kOptions, "followop", "0"};
inline constexpr SettingKey kFavorite{kMain, kOptions, "favorite", "0"};
inline constexpr SettingKey kGif87a{kMain, kOptions, "gif87a", "0"};
inline constexpr SettingKey kGif87Warn{kMain, kOptions, "gif87warn", "False"};
// The delete commands read "1" as the default, the options dialog "0".
inline constexpr SettingKey kRecyc{kMain, kOptions, "recyc", "1"};
inline constexpr SettingKey kAutoWbnm{kMain, kOptions, "autowbnm", "True"};
inline constexpr SettingKey kPromptWnm{kMain, kOptions, "promptwnm", "False"};
inline constexpr SettingKey kSysTray{kMain, kOptions, "systray", "1"};
inline constexpr SettingKey kAlways{kMain, kOptions, "always", "False"};
inline constexpr SettingKey kMaintainAss{kMain, kOptions, "maintainass", "1"};
inline constexpr SettingKey kAssc{kMain, kOptions, "assc", ""};
// Set once the editors found on the desktop have been offered in "Edit Image with".
inline constexpr SettingKey kEditorsFound{kMain, kOptions, "editorsfound", "0"};
inline constexpr SettingKey kDelFavs{kMain, kOptions, "DelFavs", "0"};
inline constexpr SettingKey kShowTips{kMain, kOptions, "Show Tips at Startup", "1"};
inline constexpr SettingKey kFsNav{kMain, kOptions, "fsnav", "0"};
inline constexpr SettingKey kDisFsNav{kMain, kOptions, "disfsnav", "0"};
inline constexpr SettingKey kFsMbAl{kMain, kOptions, "fsmbal", "0"};
inline constexpr SettingKey kGreyMode{kMain, kOptions, "greymode", "0"};
inline constexpr SettingKey kGvRec{kMain, kOptions, "gvrec", "0"};
inline constexpr SettingKey kGvRecHwnd{kMain, kOptions, "gvrechwnd", "0"};
inline constexpr SettingKey kScrnNoWarn{kMain, kOptions, "scrnnowarn", "0"};
inline constexpr SettingKey kDeskIcon232{kMain, "options", "deskicon232", "0"};

// Association flags, in the order the start-up re-registers them.
inline constexpr SettingKey kAssociationKeys[] = {
    {kMain, kOptions, "BMPassc", "0"}, {kMain, kOptions, "JPGassc", "0"},
    {kMain, kOptions, "GIFassc", "0"}, {kMain, kOptions, "EMFassc", "0"},
    {kMain, kOptions, "WMFassc", "0"}, {kMain, kOptions, "ICOassc", "0"},
    {kMain, kOptions, "CURassc", "0"}, {kMain, kOptions, "TGAassc", "0"},
    {kMain, kOptions, "PCXassc", "0"}, {kMain, kOptions, "TIFassc", "0"},
    {kMain, kOptions, "EPSassc", "0"}, {kMain, kOptions, "PCTassc", "0"},
    {kMain, kOptions, "PNGassc", "0"},
    // The formats phones, the web and cameras write now, after the original thirteen.
    {kMain, kOptions, "WEBPassc", "0"}, {kMain, kOptions, "AVIFassc", "0"},
    {kMain, kOptions, "HEICassc", "0"}, {kMain, kOptions, "HEIFassc", "0"},
    {kMain, kOptions, "JXLassc", "0"}, {kMain, kOptions, "SVGassc", "0"},
    {kMain, kOptions, "RAWassc", "0"},
};

// Section "Interface". The start folder's default depends on the reader; see its users.
inline constexpr SettingKey kStartDir{kMain, kInterface, "Startdir", ""};
inline constexpr SettingKey kImageSize{kMain, kInterface, "ImageSize", "Stretch"};
inline constexpr SettingKey kColour{kMain, kInterface, "Colour", "12632256"};

inline constexpr SettingKey kFullScreenColour{kMain, kFullScreen, "Colour", "Black"};
inline constexpr SettingKey kFullScreenInfo{kMain, kFullScreen, "Info", "On"};
inline constexpr SettingKey kResolutionNoWarn{kMain, kResolution, "nowarn", "0"};
inline constexpr SettingKey kVersionPathKey{kMain, kVersionPath, "Path", ""};

inline constexpr SettingKey kVersionMajor{kVersion, kCurrentVersion, "major", ""};
inline constexpr SettingKey kVersionMinor{kVersion, kCurrentVersion, "minor", ""};
inline constexpr SettingKey kVersionRev{kVersion, kCurrentVersion, "rev", ""};

// Written by the update program; the default is "today" and supplied by the reader.
inline constexpr SettingKey kLastGvUpdate{kUpdate, kOptions, "lastgvupdate", ""};
inline constexpr SettingKey kStudioPath{kStudio, kConstants, "path", ""};

}  // namespace keys
}  // namespace gv
