// Loads the TIFF module (built from Tiff.cpp) on first need, from beside the executable.

#include <mutex>

#include "platform/Modules.h"
#include "platform/Tiff.h"

namespace gv {
namespace {

constexpr const char* kPluginName = "libglimvane_tiff.so";
constexpr const char* kPluginSymbol = "glimvane_tiff_plugin";

const TiffPlugin* plugin() {
    static std::once_flag once;
    static const TiffPlugin* loaded = nullptr;
    std::call_once(once, [] {
        using Entry = const TiffPlugin* (*)();
        const auto entry = reinterpret_cast<Entry>(moduleEntry(kPluginName, kPluginSymbol));
        const TiffPlugin* p = entry ? entry() : nullptr;
        loaded = p && p->version == kTiffPluginVersion ? p : nullptr;
    });
    return loaded;
}

}  // namespace

bool tiffDecoderAvailable() {
    return plugin() != nullptr;
}

QString tiffModuleName() {
    return QString::fromLatin1(kPluginName);
}

std::optional<QImage> readTiff(QByteArrayView bytes, qint64 budget, QString* why, bool* tooLarge,
                               TiffRasterAllocator allocate) {
    if (tooLarge) {
        *tooLarge = false;
    }
    if (const TiffPlugin* p = plugin()) {
        return p->read(bytes, budget, why, tooLarge, allocate);
    }
    if (why) {
        *why = QStringLiteral("The TIFF decoder module %1 is missing")
                   .arg(QLatin1StringView(kPluginName));
    }
    return std::nullopt;
}

}  // namespace gv
