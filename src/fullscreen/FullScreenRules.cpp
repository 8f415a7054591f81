#include "fullscreen/FullScreenRules.h"

#include <QStringList>
#include <algorithm>
#include <array>

namespace gv {

AxisLayout fullScreenAxis(int picture, int screen, int barThickness) {
    AxisLayout a;
    if (picture <= screen) {
        a.viewport = screen;
        a.offset = picture < screen ? (screen - picture) / 2 : 0;
        return a;
    }
    a.viewport = screen - barThickness;
    a.barShown = true;
    a.barMaximum = picture - a.viewport;
    return a;
}

NavigationStep navigationStep(int button, int current, int count, const NavigationSettings& s) {
    NavigationStep step;
    if (s.closeOnClick || s.closeAfterFirst) {
        step.close = true;
        return step;
    }
    if (s.swapButtons && (button == 1 || button == 2)) {
        button = 3 - button;
    }
    if (count <= 0) {
        return step;
    }
    if (button == 1) {
        if (current < 0) {
            step.select = 0;
        } else if (current == 0) {
            step.wrapMessage = QStringLiteral(
                "There are no more images to view in the current directory, switching to last "
                "image.");
            step.select = count - 1;
        } else {
            step.select = current - 1;
        }
    } else if (button == 2) {
        if (current == count - 1) {
            step.wrapMessage = QStringLiteral(
                "There are no more images to view in the current directory, switching to first "
                "image.");
            step.select = 0;
        } else {
            step.select = current < 0 ? 0 : current + 1;
        }
    }
    return step;
}

const FullScreenColours* fullScreenColours(int* count) {
    static const std::array<FullScreenColours, 7> kColours = {{
        {QStringLiteral("Black"), QColor(0x00, 0x00, 0x00), QColor(0x00, 0xFF, 0x00)},
        {QStringLiteral("White"), QColor(0xFF, 0xFF, 0xFF), QColor(0x00, 0x00, 0x00)},
        {QStringLiteral("Grey"), QColor(0xC0, 0xC0, 0xC0), QColor(0x00, 0x00, 0x00)},
        {QStringLiteral("Green"), QColor(0x00, 0xFF, 0x00), QColor(0x00, 0x00, 0xFF)},
        {QStringLiteral("Blue"), QColor(0x00, 0x00, 0xFF), QColor(0xFF, 0xFF, 0x00)},
        {QStringLiteral("Red"), QColor(0xFF, 0x00, 0x00), QColor(0x00, 0x00, 0xFF)},
        {QStringLiteral("Yellow"), QColor(0xFF, 0xFF, 0x00), QColor(0xFF, 0x00, 0x00)},
    }};
    *count = static_cast<int>(kColours.size());
    return kColours.data();
}

const FullScreenColours& fullScreenColoursNamed(const QString& name) {
    int count = 0;
    const FullScreenColours* all = fullScreenColours(&count);
    for (int i = 0; i < count; ++i) {
        if (all[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            return all[i];
        }
    }
    return all[0];
}

bool fullScreenReads(const QString& typeKey) {
    static const QStringList kKeys = {
        QStringLiteral("bmp"), QStringLiteral("gif"), QStringLiteral("wmf"), QStringLiteral("emf"),
        QStringLiteral("ico"), QStringLiteral("cur"), QStringLiteral("dib"), QStringLiteral("rle"),
        QStringLiteral("jpg"), QStringLiteral("pcx"), QStringLiteral("eps"), QStringLiteral("png"),
        QStringLiteral("tga"), QStringLiteral("pct"), QStringLiteral("tif"), QStringLiteral("iff"),
        // The formats phones, the web and cameras write now.
        QStringLiteral("ebp"), QStringLiteral("vif"), QStringLiteral("eic"), QStringLiteral("eif"),
        QStringLiteral("jxl"), QStringLiteral("svg"), QStringLiteral("vgz"), QStringLiteral("cr2"),
        QStringLiteral("cr3"), QStringLiteral("nef"), QStringLiteral("arw"), QStringLiteral("dng"),
        QStringLiteral("orf"), QStringLiteral("raf"), QStringLiteral("rw2")};
    return kKeys.contains(typeKey);
}

}  // namespace gv
