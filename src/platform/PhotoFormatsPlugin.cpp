// Loads the module of the phone and web formats (built from PhotoFormats.cpp) on first need,
// from beside the executable.

#include <mutex>

#include "platform/Modules.h"
#include "platform/PhotoFormats.h"

namespace gv {
namespace {

constexpr const char* kPluginName = "libglimvane_photo.so";
constexpr const char* kPluginSymbol = "glimvane_photo_plugin";

const PhotoPlugin* plugin() {
    static std::once_flag once;
    static const PhotoPlugin* loaded = nullptr;
    std::call_once(once, [] {
        using Entry = const PhotoPlugin* (*)();
        const auto entry = reinterpret_cast<Entry>(moduleEntry(kPluginName, kPluginSymbol));
        const PhotoPlugin* p = entry ? entry() : nullptr;
        loaded = p && p->version == kPhotoPluginVersion ? p : nullptr;
    });
    return loaded;
}

}  // namespace

bool photoFormatsAvailable() {
    return plugin() != nullptr;
}

QString photoFormatsModuleName() {
    return QString::fromLatin1(kPluginName);
}

PhotoRead readPhotoFormat(QByteArrayView bytes, PhotoFormat format, qint64 budget,
                          PhotoRasterAllocator allocate) {
    if (const PhotoPlugin* p = plugin()) {
        return p->read(bytes, format, budget, allocate);
    }
    PhotoRead r;
    r.why = QStringLiteral("The decoder module %1 is missing").arg(QLatin1StringView(kPluginName));
    return r;
}

}  // namespace gv
