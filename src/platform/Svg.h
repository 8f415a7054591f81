#pragma once
// SVG rendering through Qt SVG. Only Svg.cpp touches Qt SVG; it is a module of its own
// (libglimvane_svg.so), loaded by SvgPlugin.cpp on the first drawing, so that Qt SVG costs a
// start nothing. It is given drawings that readSvgDocument() has made safe.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <optional>

namespace gv {

// The size the renderer gives a drawing that states none, or nullopt (with *why) for one it
// cannot read.
std::optional<QSizeF> svgRendererSize(const QByteArray& xml, QString* why);
// Paints the drawing fitted to the whole of *target (filled with its background already);
// false when it cannot be read.
bool renderSvgOnto(const QByteArray& xml, QImage* target);

bool svgRendererAvailable();
QString svgModuleName();

inline constexpr int kSvgPluginVersion = 1;
struct SvgPlugin {
    int version;
    std::optional<QSizeF> (*size)(const QByteArray& xml, QString* why);
    bool (*render)(const QByteArray& xml, QImage* target);
};

}  // namespace gv
