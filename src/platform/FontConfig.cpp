#include "platform/FontConfig.h"

#include <QFontDatabase>
#include <QStringList>

#include <fontconfig/fontconfig.h>

namespace gv {
namespace {

// Type 1 fonts are left out, as the desktop's own toolkits leave them out: they are slow to
// load (the first text in one takes several times as long as in its OpenType twin, which the
// common families here also have) and they are what `fc-match` passes over anyway.
constexpr const char* kNoTypeOneFonts =
    "<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\"><fontconfig>"
    "<selectfont><rejectfont><pattern><patelt name=\"fontformat\"><string>Type 1</string>"
    "</patelt></pattern></rejectfont></selectfont></fontconfig>";

// The desktop's configuration with the rule above, made the current one before Qt asks for
// any font (Qt's own FcInit() then finds it there).
void readConfiguration() {
    FcConfig* config = FcInitLoadConfig();
    if (!config) {
        FcInit();
        return;
    }
    if (!FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(kNoTypeOneFonts),
                                        FcFalse) ||
        !FcConfigBuildFonts(config) || !FcConfigSetCurrent(config)) {
        FcConfigDestroy(config);
        FcInit();
        return;
    }
    FcConfigDestroy(config);  // the current configuration holds its own reference
}

}  // namespace

FontConfigReader::FontConfigReader() : m_thread(readConfiguration) {}

FontConfigReader::~FontConfigReader() {
    wait();
}

void FontConfigReader::wait() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

// Qt's font database may be used from any thread.
FontListAhead::FontListAhead() : m_thread([] { QFontDatabase::families(); }) {}

FontListAhead::~FontListAhead() {
    m_thread.join();
}

}  // namespace gv
