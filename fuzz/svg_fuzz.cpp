// libFuzzer target for SVG drawings: our reading of the document (gzip, entities, references,
// depth, its size) and Qt SVG's rendering of what it lets through. Any bytes give a drawing
// or a reason why not, and never a crash.

#include <QGuiApplication>
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "images/SvgDocument.h"
#include "platform/Svg.h"

extern "C" const gv::SvgPlugin* glimvane_svg_plugin();

namespace {

constexpr qint64 kBudget = 8 << 20;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int argc = 1;
    static char name[] = "svg_fuzz";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString why;
    bool tooLarge = false;
    const std::optional<gv::SvgDocument> doc = gv::readSvgDocument(bytes, kBudget, &why, &tooLarge);
    if (!doc) {
        check(!why.isEmpty());
        return 0;
    }
    check(doc->xml.size() <= kBudget && !doc->xml.contains("<!DOCTYPE"));
    const gv::SvgPlugin* svg = glimvane_svg_plugin();
    if (!svg->size(doc->xml, &why)) {
        check(!why.isEmpty());
        return 0;
    }
    QImage image(48, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    svg->render(doc->xml, &image);
    return 0;
}
