// Loads the GraphicsMagick plugin (built from GraphicsMagick.cpp) on first need. The plugin
// sits beside the executable, as the build and an installation lay it out.

#include <mutex>

#include "platform/GraphicsMagick.h"
#include "platform/Modules.h"

namespace gv {
namespace {

constexpr const char* kPluginName = "libglimvane_gm.so";
constexpr const char* kPluginSymbol = "glimvane_graphicsmagick_plugin";
constexpr const char* kNotInstalled = "GraphicsMagick is not installed";

const GraphicsMagickPlugin* loadPlugin() {
    using Entry = const GraphicsMagickPlugin* (*)();
    const auto entry = reinterpret_cast<Entry>(moduleEntry(kPluginName, kPluginSymbol));
    const GraphicsMagickPlugin* plugin = entry ? entry() : nullptr;
    return plugin && plugin->version == kGraphicsMagickPluginVersion ? plugin : nullptr;
}

const GraphicsMagickPlugin* plugin() {
    static std::once_flag once;
    static const GraphicsMagickPlugin* loaded = nullptr;
    std::call_once(once, [] { loaded = loadPlugin(); });
    return loaded;
}

void setNotInstalled(QString* error) {
    if (error) {
        *error = QString::fromLatin1(kNotInstalled);
    }
}

}  // namespace

bool pcxDecoderAvailable() {
    const GraphicsMagickPlugin* p = plugin();
    return p && p->pcxReadable();
}

std::optional<QSize> graphicsMagickPing(const QByteArray& bytes, const char* coder,
                                        QString* error) {
    if (const GraphicsMagickPlugin* p = plugin()) {
        return p->ping(bytes, coder, error);
    }
    setNotInstalled(error);
    return std::nullopt;
}

std::optional<QImage> graphicsMagickRead(const QByteArray& bytes, const char* coder,
                                         QString* error) {
    if (const GraphicsMagickPlugin* p = plugin()) {
        return p->read(bytes, coder, error);
    }
    setNotInstalled(error);
    return std::nullopt;
}

}  // namespace gv
