// Loads the SVG module (built from Svg.cpp) on first need, from beside the executable.

#include <mutex>

#include "platform/Modules.h"
#include "platform/Svg.h"

namespace gv {
namespace {

constexpr const char* kPluginName = "libglimvane_svg.so";
constexpr const char* kPluginSymbol = "glimvane_svg_plugin";

const SvgPlugin* plugin() {
    static std::once_flag once;
    static const SvgPlugin* loaded = nullptr;
    std::call_once(once, [] {
        using Entry = const SvgPlugin* (*)();
        const auto entry = reinterpret_cast<Entry>(moduleEntry(kPluginName, kPluginSymbol));
        const SvgPlugin* p = entry ? entry() : nullptr;
        loaded = p && p->version == kSvgPluginVersion ? p : nullptr;
    });
    return loaded;
}

}  // namespace

bool svgRendererAvailable() {
    return plugin() != nullptr;
}

QString svgModuleName() {
    return QString::fromLatin1(kPluginName);
}

std::optional<QSizeF> svgRendererSize(const QByteArray& xml, QString* why) {
    if (const SvgPlugin* p = plugin()) {
        return p->size(xml, why);
    }
    *why = QStringLiteral("The SVG module %1 is missing").arg(QLatin1StringView(kPluginName));
    return std::nullopt;
}

bool renderSvgOnto(const QByteArray& xml, QImage* target) {
    const SvgPlugin* p = plugin();
    return p && !target->isNull() && p->render(xml, target);
}

}  // namespace gv
