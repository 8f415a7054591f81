// Loads the camera raw module (built from CameraRaw.cpp) on first need, from beside the executable.

#include <mutex>

#include "platform/CameraRaw.h"
#include "platform/Modules.h"

namespace gv {
namespace {

constexpr const char* kPluginName = "libglimvane_raw.so";
constexpr const char* kPluginSymbol = "glimvane_raw_plugin";

const RawPlugin* plugin() {
    static std::once_flag once;
    static const RawPlugin* loaded = nullptr;
    std::call_once(once, [] {
        using Entry = const RawPlugin* (*)();
        const auto entry = reinterpret_cast<Entry>(moduleEntry(kPluginName, kPluginSymbol));
        const RawPlugin* p = entry ? entry() : nullptr;
        loaded = p && p->version == kRawPluginVersion ? p : nullptr;
    });
    return loaded;
}

}  // namespace

bool rawDecoderAvailable() {
    return plugin() != nullptr;
}

QString rawModuleName() {
    return QString::fromLatin1(kPluginName);
}

std::optional<RawPreview> readRawPreview(QByteArrayView bytes, qint64 budget, QString* why,
                                         bool* tooLarge) {
    *tooLarge = false;
    if (const RawPlugin* p = plugin()) {
        return p->read(bytes, budget, why, tooLarge);
    }
    *why =
        QStringLiteral("The camera raw module %1 is missing").arg(QLatin1StringView(kPluginName));
    return std::nullopt;
}

}  // namespace gv
