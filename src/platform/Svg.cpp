// The SVG module: built as a shared object of its own (libglimvane_svg.so) and loaded by
// SvgPlugin.cpp on the first SVG drawing.

#include "platform/Svg.h"

#include <QPainter>
#include <QSvgRenderer>

namespace gv {
namespace {

std::optional<QSizeF> size(const QByteArray& xml, QString* why) {
    QSvgRenderer renderer(xml);
    if (!renderer.isValid()) {
        *why = QStringLiteral("the drawing cannot be read");
        return std::nullopt;
    }
    return QSizeF(renderer.defaultSize());
}

bool render(const QByteArray& xml, QImage* target) {
    QSvgRenderer renderer(xml);
    if (!renderer.isValid()) {
        return false;
    }
    QPainter painter(target);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                           QPainter::TextAntialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(target->size())));
    return true;
}

const SvgPlugin kPlugin{kSvgPluginVersion, size, render};

}  // namespace
}  // namespace gv

extern "C" __attribute__((visibility("default"))) const gv::SvgPlugin* glimvane_svg_plugin() {
    return &gv::kPlugin;
}
