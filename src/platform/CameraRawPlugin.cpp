// Loads the camera raw module (built from CameraRaw.cpp) on first need, from beside the executable.

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/CameraRaw.h"
#include "platform/Modules.h"
#include "platform/Sandbox.h"

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

RawSource rawSourceOf(const QByteArrayView& bytes) {
    RawSource source;
    source.context = &bytes;
    source.size = bytes.size();
    source.read = [](const void* context, qint64 offset, char* to, qint64 n) -> qint64 {
        const auto* in = static_cast<const QByteArrayView*>(context);
        if (offset < 0 || offset >= in->size() || n <= 0) {
            return 0;
        }
        n = std::min<qint64>(n, in->size() - offset);
        std::memcpy(to, in->data() + offset, std::size_t(n));
        return n;
    };
    return source;
}

RawSource rawSourceOf(const SandboxFile& file) {
    RawSource source;
    source.context = &file;
    source.size = file.size;
    source.read = [](const void* context, qint64 offset, char* to, qint64 n) {
        return static_cast<const SandboxFile*>(context)->read(offset, to, n);
    };
    return source;
}

std::optional<RawPreview> readRawPreview(const RawSource& source, qint64 budget, QString* why,
                                         bool* tooLarge) {
    *tooLarge = false;
    if (const RawPlugin* p = plugin()) {
        return p->read(source, budget, why, tooLarge);
    }
    *why =
        QStringLiteral("The camera raw module %1 is missing").arg(QLatin1StringView(kPluginName));
    return std::nullopt;
}

}  // namespace gv
