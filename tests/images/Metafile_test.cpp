// The metafile player: pictures written record by record are played and compared with the
// same drawing done by QPainter directly, and damaged or hostile files must be refused or
// played without harm.

#include <gtest/gtest.h>

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSet>

#include <functional>

#include "images/Metafile.h"
#include "support/MetafileWriter.h"

using gv::Metafile;
using gv::MetafileKind;
using gvtest::DibFormat;
using gvtest::EmfWriter;
using gvtest::WmfWriter;

namespace {

// GDI constants as the files store them.
constexpr int kPsSolid = 0;
constexpr int kPsNull = 5;
constexpr int kBsSolid = 0;
constexpr int kBsHatched = 2;
constexpr int kHsCross = 4;
constexpr int kMmText = 1;
constexpr int kMmLoMetric = 2;
constexpr int kMmHiMetric = 3;
constexpr int kMmLoEnglish = 4;
constexpr int kMmTwips = 6;
constexpr int kMmIsotropic = 7;
constexpr int kMmAnisotropic = 8;
constexpr int kTransparent = 1;
constexpr int kOpaque = 2;
constexpr int kWinding = 2;
constexpr int kRgnAnd = 1;
constexpr int kRgnCopy = 5;
constexpr int kNullPenStock = 8;
constexpr int kTaBaseline = 24;
constexpr int kTaBottom = 8;
constexpr int kTaRight = 2;
constexpr int kTaCenter = 6;
constexpr int kEtoOpaque = 2;

const QColor kRed(220, 30, 30);
const QColor kBlue(30, 60, 220);
const QColor kGreen(20, 160, 40);

using Painting = std::function<void(QPainter&)>;

QImage reference(QSize size, const Painting& paint) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                     QPainter::TextAntialiasing);
    p.setPen(Qt::NoPen);
    paint(p);
    return image;
}

QImage play(const QByteArray& bytes, QSize size) {
    QString error;
    const auto picture = Metafile::fromBytes(bytes, &error);
    EXPECT_TRUE(picture) << error.toStdString();
    return picture ? picture->render(size) : QImage();
}

int channelDifference(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

// Images agree when all but a thin seam of antialiased edge pixels match closely.
::testing::AssertionResult similar(const QImage& actual, const QImage& expected,
                                   double allowedFraction = 0.01) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << "sizes differ";
    }
    const QImage a = actual.convertToFormat(QImage::Format_RGB32);
    const QImage e = expected.convertToFormat(QImage::Format_RGB32);
    qint64 different = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (channelDifference(a.pixel(x, y), e.pixel(x, y)) > 64) {
                ++different;
            }
        }
    }
    const qint64 allowed = qint64(allowedFraction * a.width() * a.height());
    if (different > allowed) {
        return ::testing::AssertionFailure()
               << different << " pixels differ, " << allowed << " allowed";
    }
    return ::testing::AssertionSuccess();
}

// The bounding box of pixels that are clearly not white.
QRect inkBounds(const QImage& image) {
    QRect bounds;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            if (channelDifference(rgb.pixel(x, y), qRgb(255, 255, 255)) > 100) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

// A WMF of a 200 x 100 unit box at 96 units per inch: 200 x 100 pixels.
WmfWriter wmf200x100() {
    return WmfWriter(QRect(0, 0, 200, 100), 96);
}

void redBrushNoPen(WmfWriter& w) {
    w.selectObject(w.createBrush(kBsSolid, kRed)).selectObject(w.createPen(kPsNull, 0, Qt::black));
}

// An EMF whose frame is 200 x 100 device pixels (50 x 25 mm at 4 pixels per mm).
EmfWriter emf200x100() {
    return EmfWriter(QRect(0, 0, 5000, 2500));
}

void redBrushNoPen(EmfWriter& w) {
    w.createBrush(1, kBsSolid, kRed).selectObject(1).selectStockObject(kNullPenStock);
}

// The 6-pixel blue pen the drawing tests select, as GDI strokes it.
QPen bluePen() {
    QPen pen(kBlue, 6);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

QImage redRect(QSize size, QRectF r) {
    return reference(size, [r](QPainter& p) { p.fillRect(r, kRed); });
}

// --- Mapping ---------------------------------------------------------------------------

TEST(MetafileWmf, MapsLogicalUnitsOntoTheOutput) {
    struct Case {
        const char* name;
        QRect logical;
        QRectF expected;
        std::function<WmfWriter()> file;  // the header and the mapping records
    };
    const Case cases[] = {
        {"placeable box, no mapping", QRect(20, 10, 40, 30), QRectF(20, 10, 40, 30),
         [] { return wmf200x100(); }},
        {"window onto the whole frame", QRect(10, 10, 20, 10), QRectF(20, 20, 40, 20),
         [] {
             return WmfWriter({0, 0, 1440, 720}, 1440).setWindowOrg({0, 0}).setWindowExt({100, 50});
         }},
        {"window origin inside the box", QRect(150, 120, 50, 30), QRectF(50, 20, 50, 30),
         [] {
             WmfWriter w({100, 100, 200, 100}, 96);
             return w.setWindowOrg({100, 100}).setWindowExt({200, 100});
         }},
        {"explicit viewport", QRect(0, 0, 500, 500), QRectF(50, 25, 50, 25),
         [] {
             WmfWriter w = wmf200x100();
             w.setMapMode(kMmAnisotropic).setWindowExt({1000, 1000});
             return w.setViewportOrg({50, 25}).setViewportExt({100, 50});
         }},
        {"isotropic keeps the smaller scale", QRect(0, 0, 100, 100), QRectF(0, 0, 50, 50),
         [] {
             WmfWriter w = wmf200x100();
             return w.setMapMode(kMmIsotropic).setWindowExt({100, 200}).setViewportExt({200, 100});
         }},
        {"negative extent turns y upwards", QRect(20, 50, 40, 30), QRectF(20, 20, 40, 30),
         [] {
             return wmf200x100().setWindowOrg({0, 100}).setWindowExt({200, -100});
         }},
        {"offset window origin", QRect(10, 20, 30, 30), QRectF(0, 0, 30, 30),
         [] {
             WmfWriter w = wmf200x100();
             return w.setWindowOrg({0, 0}).setWindowExt({200, 100}).offsetWindowOrg({10, 20});
         }},
        {"scaled window extent", QRect(10, 10, 20, 10), QRectF(20, 20, 40, 20),
         [] {
             return wmf200x100().setWindowExt({200, 100}).scaleWindowExt(1, 2, 1, 2);
         }},
        {"text mode with a viewport origin", QRect(0, 0, 20, 20), QRectF(30, 20, 20, 20),
         [] {
             return wmf200x100().setMapMode(kMmText).setViewportOrg({30, 20});
         }},
        {"tenths of a millimetre at 254 units per inch", QRect(20, 10, 40, 30),
         QRectF(20, 60, 40, 30),
         [] {
             return WmfWriter({0, 0, 200, 100}, 254)
                 .setMapMode(kMmLoMetric)
                 .setViewportOrg({0, 100});
         }},
        {"no placeable header: the window is the frame", QRect(-30, 10, 40, 30),
         QRectF(20, 10, 40, 30),
         [] {
             return WmfWriter({}, 96, false).setWindowOrg({-50, 0}).setWindowExt({200, 100});
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WmfWriter w = c.file();
        redBrushNoPen(w);
        const QByteArray bytes = w.rectangle(c.logical).finish();
        EXPECT_TRUE(similar(play(bytes, {200, 100}), redRect({200, 100}, c.expected)));
        // Rendered twice as large, the drawing scales with it and stays sharp.
        const QRectF twice(c.expected.topLeft() * 2, c.expected.size() * 2);
        EXPECT_TRUE(similar(play(bytes, {400, 200}), redRect({400, 200}, twice)));
    }
}

TEST(MetafileEmf, MapsLogicalUnitsOntoTheOutput) {
    struct Case {
        const char* name;
        QRect logical;
        QRectF expected;
        std::function<void(EmfWriter&)> mapping;
    };
    const Case cases[] = {
        {"device pixels", QRect(20, 10, 40, 30), QRectF(20, 10, 40, 30), [](EmfWriter&) {}},
        {"tenths of a millimetre, y up", QRect(50, 25, 100, 75), QRectF(20, 60, 40, 30),
         [](EmfWriter& w) {
             w.setMapMode(kMmLoMetric).setViewportOrg({0, 100});
         }},
        {"hundredths of a millimetre", QRect(500, -1000, 1000, 750), QRectF(20, 10, 40, 30),
         [](EmfWriter& w) { w.setMapMode(kMmHiMetric); }},
        {"hundredths of an inch", QRect(0, -50, 50, 50), QRectF(0, 0, 50.8, 50.8),
         [](EmfWriter& w) { w.setMapMode(kMmLoEnglish); }},
        {"twips", QRect(0, -567, 567, 567), QRectF(0, 0, 40, 40),
         [](EmfWriter& w) { w.setMapMode(kMmTwips); }},
        {"anisotropic window and viewport", QRect(100, 100, 200, 300), QRectF(20, 10, 40, 30),
         [](EmfWriter& w) {
             w.setMapMode(kMmAnisotropic).setWindowExt({1000, 1000}).setViewportExt({200, 100});
         }},
        {"isotropic", QRect(20, 10, 40, 30), QRectF(20, 10, 40, 30),
         [](EmfWriter& w) {
             w.setMapMode(kMmIsotropic).setWindowExt({100, 100}).setViewportExt({200, 100});
         }},
        {"window without viewport fills the frame", QRect(100, 50, 200, 150),
         QRectF(20, 10, 40, 30),
         [](EmfWriter& w) {
             w.setMapMode(kMmAnisotropic).setWindowExt({1000, 500});
         }},
        {"scaled viewport extent", QRect(10, 10, 20, 30), QRectF(20, 10, 40, 30),
         [](EmfWriter& w) {
             w.setMapMode(kMmAnisotropic).setWindowExt({100, 100}).setViewportExt({100, 100});
             w.scaleViewportExt(2, 1, 1, 1);
         }},
        {"window origin", QRect(120, 110, 40, 30), QRectF(20, 10, 40, 30),
         [](EmfWriter& w) {
             w.setMapMode(kMmAnisotropic).setWindowOrg({100, 100}).setWindowExt({200, 100});
             w.setViewportExt({200, 100});
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmfWriter w = emf200x100();
        c.mapping(w);
        redBrushNoPen(w);
        w.rectangle(c.logical);
        EXPECT_TRUE(similar(play(w.finish(), {200, 100}), redRect({200, 100}, c.expected)));
    }
}

TEST(MetafileEmf, AppliesWorldTransforms) {
    const QPolygon shape({QPoint(0, 0), QPoint(40, 0), QPoint(40, 20), QPoint(0, 30)});
    struct Case {
        const char* name;
        std::function<void(EmfWriter&)> setUp;
        QTransform expected;  // logical to output pixels
    };
    const Case cases[] = {
        {"translation",
         [](EmfWriter& w) { w.setWorldTransform(QTransform::fromTranslate(30, 20)); },
         QTransform::fromTranslate(30, 20)},
        {"rotation and shear keep their element order",
         [](EmfWriter& w) { w.setWorldTransform(QTransform(0.8, 0.5, -0.3, 1.2, 100, 20)); },
         QTransform(0.8, 0.5, -0.3, 1.2, 100, 20)},
        {"left multiply applies the new transform first",
         [](EmfWriter& w) {
             w.setWorldTransform(QTransform::fromTranslate(100, 30));
             w.modifyWorldTransform(QTransform().rotate(40), 2);
         },
         QTransform().rotate(40) * QTransform::fromTranslate(100, 30)},
        {"right multiply applies it last",
         [](EmfWriter& w) {
             w.setWorldTransform(QTransform::fromTranslate(10, 10));
             w.modifyWorldTransform(QTransform::fromScale(2, 1.5), 3);
         },
         QTransform::fromTranslate(10, 10) * QTransform::fromScale(2, 1.5)},
        {"identity resets",
         [](EmfWriter& w) {
             w.setWorldTransform(QTransform().rotate(70));
             w.modifyWorldTransform(QTransform(), 1);
         },
         QTransform()},
        {"world then page mapping",
         [](EmfWriter& w) {
             w.setMapMode(kMmAnisotropic).setWindowExt({400, 200}).setViewportExt({200, 100});
             w.setWorldTransform(QTransform::fromTranslate(100, 40) * QTransform::fromScale(3, 2));
         },
         QTransform::fromTranslate(100, 40) * QTransform::fromScale(3, 2) *
             QTransform::fromScale(0.5, 0.5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmfWriter w = emf200x100();
        c.setUp(w);
        redBrushNoPen(w);
        w.polygon(QList<QPoint>(shape.begin(), shape.end()));
        const QImage expected = reference({200, 100}, [&](QPainter& p) {
            p.setBrush(kRed);
            p.drawPolygon(c.expected.map(QPolygonF(shape)));
        });
        EXPECT_TRUE(similar(play(w.finish(), {200, 100}), expected));
    }
}

TEST(Metafile, PlaysIntoATargetRectangleOnly) {
    EmfWriter w = emf200x100();
    redBrushNoPen(w);
    w.rectangle(QRect(-50, -50, 400, 300));  // spills over the frame on every side
    const auto picture = Metafile::fromBytes(w.finish());
    ASSERT_TRUE(picture);
    QImage image(300, 300, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    picture->play(painter, QRectF(50, 100, 200, 100));
    painter.end();
    EXPECT_TRUE(similar(image, redRect({300, 300}, {50, 100, 200, 100}), 0.002));
}

// --- Clipping --------------------------------------------------------------------------

TEST(MetafileEmf, ClipsToRectanglesRegionsAndSavedStates) {
    const QRect a(20, 10, 60, 40);
    const QRect b(120, 50, 50, 30);
    const QRect whole(0, 0, 200, 100);
    const QRect inA(30, 20, 10, 10);
    using Rects = QList<QRect>;
    struct Case {
        const char* name;
        std::function<void(EmfWriter&)> clip;
        Rects shown;     // where the blue rectangle over everything shows
        Rects cut = {};  // and holes in them
    };
    const Case cases[] = {
        {"intersect", [&](EmfWriter& w) { w.intersectClipRect(a); }, Rects{a}},
        {"exclude", [&](EmfWriter& w) { w.excludeClipRect(a); }, Rects{whole}, Rects{a}},
        {"intersect then exclude a part",
         [&](EmfWriter& w) { w.intersectClipRect(a).excludeClipRect(inA); }, Rects{a}, Rects{inA}},
        {"restoring drops a later clip",
         [&](EmfWriter& w) { w.intersectClipRect(a).saveDc().excludeClipRect(a).restoreDc(-1); },
         Rects{a}},
        {"absolute restore goes back to the first save",
         [&](EmfWriter& w) {
             w.saveDc().intersectClipRect(a).saveDc().intersectClipRect(b).restoreDc(1);
         },
         Rects{whole}},
        {"region of two rectangles",
         [&](EmfWriter& w) {
             w.extSelectClipRgn({a, b}, kRgnCopy);
         },
         Rects{a, b}},
        {"region intersected with a rectangle",
         [&](EmfWriter& w) {
             w.intersectClipRect(QRect(0, 0, 100, 100)).extSelectClipRgn({a, b}, kRgnAnd);
         },
         Rects{a}},
        {"empty region removes clipping",
         [&](EmfWriter& w) { w.intersectClipRect(a).extSelectClipRgn({}, kRgnCopy); },
         Rects{whole}},
        {"clip rectangles are logical",
         [&](EmfWriter& w) {
             w.setMapMode(kMmAnisotropic).setWindowExt({100, 50}).setViewportExt({200, 100});
             w.intersectClipRect(QRect(10, 5, 30, 20));
         },
         Rects{a}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmfWriter w = emf200x100();
        c.clip(w);
        w.createBrush(1, kBsSolid, kBlue).selectObject(1).selectStockObject(kNullPenStock);
        w.rectangle(QRect(-10, -10, 1000, 1000));
        const QImage expected = reference({200, 100}, [&](QPainter& p) {
            for (const QRect& r : c.shown) {
                p.fillRect(r, kBlue);
            }
            for (const QRect& r : c.cut) {
                p.fillRect(r, Qt::white);
            }
        });
        EXPECT_TRUE(similar(play(w.finish(), {200, 100}), expected));
    }
}

TEST(MetafileWmf, ClipsAndRestoresState) {
    WmfWriter w = wmf200x100();
    w.saveDc().intersectClipRect(QRect(20, 10, 60, 40)).excludeClipRect(QRect(30, 20, 10, 10));
    redBrushNoPen(w);
    w.rectangle(QRect(0, 0, 200, 100));
    w.restoreDc(-1);
    const int blue = w.createBrush(kBsSolid, kBlue);
    w.selectObject(blue).rectangle(QRect(150, 60, 40, 30));  // unclipped again, but no pen
    const QImage expected = reference({200, 100}, [](QPainter& p) {
        p.fillRect(QRect(20, 10, 60, 40), kRed);
        p.fillRect(QRect(30, 20, 10, 10), Qt::white);
        // Restoring also brought back the default black pen of one pixel.
        p.setPen(QPen(Qt::black, 0));
        p.setBrush(kBlue);
        p.drawRect(QRectF(150, 60, 40, 30));
    });
    EXPECT_TRUE(similar(play(w.finish(), {200, 100}), expected));
}

// --- Shapes and paths ------------------------------------------------------------------

// The same drawing, recorded in a WMF and in an EMF.
struct Recording {
    template <typename Both>
    Recording(Both both) : wmf(both), emf(both) {}
    Recording(std::function<void(WmfWriter&)> w, std::function<void(EmfWriter&)> e)
        : wmf(std::move(w)), emf(std::move(e)) {}
    std::function<void(WmfWriter&)> wmf;
    std::function<void(EmfWriter&)> emf;
};

TEST(Metafile, DrawsShapesAsQPainterWould) {
    const QRect box(40, 20, 120, 60);
    const QList<QPoint> zigzag{{10, 10}, {190, 20}, {100, 90}};
    struct Case {
        const char* name;
        Recording draw;     // after a red brush and a 6-unit blue pen
        Painting expected;  // with the same brush and pen set
    };
    const Case cases[] = {
        {"ellipse", [&](auto& w) { w.ellipse(box); },
         [&](QPainter& p) { p.drawEllipse(QRectF(box)); }},
        {"rounded rectangle",
         [&](auto& w) {
             w.roundRect(box, {40, 20});
         },
         [&](QPainter& p) { p.drawRoundedRect(QRectF(box), 20, 10); }},
        {"pie from three o'clock to twelve",
         [&](auto& w) {
             w.pie(box, {200, 50}, {100, 0});
         },
         [&](QPainter& p) { p.drawPie(QRectF(box), 0, 90 * 16); }},
        {"chord the long way round",
         [&](auto& w) {
             w.chord(box, {100, 0}, {200, 50});
         },
         [&](QPainter& p) { p.drawChord(QRectF(box), 90 * 16, 270 * 16); }},
        {"arc",
         [&](auto& w) {
             w.arc(box, {0, 50}, {200, 50});
         },
         [&](QPainter& p) { p.drawArc(QRectF(box), 180 * 16, 180 * 16); }},
        {"polyline",
         Recording([&](WmfWriter& w) { w.polyline(zigzag); },
                   [&](EmfWriter& w) { w.polyline(zigzag, true); }),
         [&](QPainter& p) { p.drawPolyline(QPolygon(zigzag)); }},
        {"lines from the current position",
         [&](auto& w) {
             w.moveTo({10, 90}).lineTo({100, 10}).lineTo({190, 90});
         },
         [&](QPainter& p) {
             p.drawPolyline(QPolygonF({QPointF(10, 90), QPointF(100, 10), QPointF(190, 90)}));
         }},
        {"polygons with a hole under the alternate rule",
         [&](auto& w) {
             w.polyPolygon({{{20, 10}, {180, 10}, {180, 90}, {20, 90}},
                            {{60, 30}, {140, 30}, {140, 70}, {60, 70}}});
         },
         [&](QPainter& p) {
             QPainterPath path;
             path.addRect(20, 10, 160, 80);
             path.addRect(60, 30, 80, 40);
             p.drawPath(path);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Painting expected = [&](QPainter& p) {
            p.setBrush(kRed);
            p.setPen(bluePen());
            c.expected(p);
        };
        const QImage want = reference({200, 100}, expected);

        WmfWriter wmf = wmf200x100();
        wmf.selectObject(wmf.createBrush(kBsSolid, kRed));
        wmf.selectObject(wmf.createPen(kPsSolid, 6, kBlue));
        c.draw.wmf(wmf);
        EXPECT_TRUE(similar(play(wmf.finish(), {200, 100}), want)) << "WMF";

        EmfWriter emf = emf200x100();
        emf.createBrush(1, kBsSolid, kRed).selectObject(1);
        emf.createPen(2, kPsSolid, 6, kBlue).selectObject(2);
        c.draw.emf(emf);
        EXPECT_TRUE(similar(play(emf.finish(), {200, 100}), want)) << "EMF";
    }
}

TEST(MetafileEmf, FillModeAndHatchedBrushes) {
    const QList<QPoint> star{{100, 5}, {130, 95}, {55, 35}, {145, 35}, {70, 95}};
    EmfWriter w = emf200x100();
    w.setPolyFillMode(kWinding);
    redBrushNoPen(w);
    w.polygon(star);
    w.createBrush(2, kBsHatched, kGreen, kHsCross).selectObject(2);
    w.setBkMode(kOpaque).setBkColor(QColor(255, 255, 0));
    w.rectangle(QRect(150, 20, 40, 60));
    const QImage expected = reference({200, 100}, [&](QPainter& p) {
        p.setBrush(kRed);
        p.drawPolygon(QPolygon(star), Qt::WindingFill);
        p.fillRect(QRect(150, 20, 40, 60), QColor(255, 255, 0));
        p.fillRect(QRect(150, 20, 40, 60), QBrush(kGreen, Qt::CrossPattern));
    });
    EXPECT_TRUE(similar(play(w.finish(), {200, 100}), expected));
}

TEST(MetafileEmf, ShadesGradientRectangles) {
    for (const bool vertical : {false, true}) {
        SCOPED_TRACE(vertical ? "top to bottom" : "left to right");
        EmfWriter w = emf200x100();
        w.gradientFillRect(QRect(20, 10, 160, 80), kRed, kBlue, vertical);
        const QImage expected = reference({200, 100}, [&](QPainter& p) {
            QLinearGradient gradient(20, 10, vertical ? 20 : 180, vertical ? 90 : 10);
            gradient.setColorAt(0, kRed);
            gradient.setColorAt(1, kBlue);
            p.fillRect(QRect(20, 10, 160, 80), gradient);
        });
        EXPECT_TRUE(similar(play(w.finish(), {200, 100}), expected));
    }
}

TEST(MetafileEmf, BuildsFillsStrokesAndClipsWithPaths) {
    struct Case {
        const char* name;
        std::function<void(EmfWriter&)> records;
        Painting expected;
        bool clipOnly = false;  // no pen; the clip's antialiased edge differs more
    };
    const Case cases[] = {
        {"fill a triangle",
         [](EmfWriter& w) {
             w.beginPath().polygon({{10, 90}, {100, 10}, {190, 90}}).endPath().fillPath();
         },
         [](QPainter& p) {
             p.setBrush(kRed);
             p.drawPolygon(QPolygonF({QPointF(10, 90), QPointF(100, 10), QPointF(190, 90)}));
         }},
        {"stroke and fill a closed curve",
         [](EmfWriter& w) {
             w.beginPath().moveTo({20, 80}).polyBezierTo({{60, 0}, {140, 0}, {180, 80}});
             w.closeFigure().endPath().strokeAndFillPath();
         },
         [](QPainter& p) {
             QPainterPath path(QPointF(20, 80));
             path.cubicTo(60, 0, 140, 0, 180, 80);
             path.closeSubpath();
             p.setPen(bluePen());
             p.setBrush(kRed);
             p.drawPath(path);
         }},
        {"stroke an open figure",
         [](EmfWriter& w) {
             w.beginPath().moveTo({10, 10}).polylineTo({{190, 10}, {190, 90}}).endPath();
             w.strokePath();
         },
         [](QPainter& p) {
             p.setPen(bluePen());
             p.drawPolyline(QPolygonF({QPointF(10, 10), QPointF(190, 10), QPointF(190, 90)}));
         }},
        {"arc-to joins and moves the current position",
         [](EmfWriter& w) {
             w.moveTo({10, 50}).arcTo(QRect(60, 10, 80, 80), {200, 50}, {100, 0});
             w.lineTo({190, 90});
         },
         [](QPainter& p) {
             QPainterPath path(QPointF(10, 50));
             path.lineTo(140, 50);
             path.arcTo(QRectF(60, 10, 80, 80), 0, 90);
             path.lineTo(190, 90);
             p.setPen(bluePen());
             p.drawPath(path);
         }},
        {"bezier from its first point",
         [](EmfWriter& w) {
             w.polyBezier({{10, 90}, {40, -20}, {160, 120}, {190, 10}}, true);
         },
         [](QPainter& p) {
             QPainterPath path(QPointF(10, 90));
             path.cubicTo(40, -20, 160, 120, 190, 10);
             p.setPen(bluePen());
             p.drawPath(path);
         }},
        {"clip to an ellipse",
         [](EmfWriter& w) {
             w.beginPath().ellipse(QRect(20, 10, 160, 80)).endPath().selectClipPath(kRgnCopy);
             w.rectangle(QRect(0, 0, 200, 100));
         },
         [](QPainter& p) {
             p.setBrush(kRed);
             p.drawEllipse(QRectF(20, 10, 160, 80));
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmfWriter w = emf200x100();
        w.createBrush(1, kBsSolid, kRed).selectObject(1);
        w.createPen(2, kPsSolid, 6, kBlue).selectObject(2);
        if (c.clipOnly) {
            w.selectStockObject(kNullPenStock);
        }
        c.records(w);
        EXPECT_TRUE(similar(play(w.finish(), {200, 100}), reference({200, 100}, c.expected),
                            c.clipOnly ? 0.02 : 0.01));
    }
}

// --- Text ------------------------------------------------------------------------------

TEST(MetafileEmf, PlacesTextByItsAlignment) {
    const QPoint at(100, 50);
    struct Case {
        const char* name;
        int align;
        std::function<void(const QRect& ink)> check;
    };
    const Case cases[] = {
        {"left top: below and right of the point", 0,
         [&](const QRect& ink) {
             EXPECT_NEAR(ink.left(), at.x(), 4);
             EXPECT_GE(ink.top(), at.y());
             EXPECT_LE(ink.top(), at.y() + 10);
         }},
        {"right bottom: above and left of the point", kTaRight | kTaBottom,
         [&](const QRect& ink) {
             EXPECT_NEAR(ink.right(), at.x(), 4);
             EXPECT_LE(ink.bottom(), at.y());
             EXPECT_GE(ink.bottom(), at.y() - 10);
         }},
        {"centred on the baseline", kTaCenter | kTaBaseline,
         [&](const QRect& ink) {
             EXPECT_NEAR(ink.center().x(), at.x(), 4);
             EXPECT_NEAR(ink.bottom(), at.y(), 2);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmfWriter w = emf200x100();
        w.createFont(1, -24, QStringLiteral("DejaVu Sans")).selectObject(1);
        w.setTextColor(kRed).setBkMode(kTransparent).setTextAlign(c.align);
        w.extTextOutW(at, QStringLiteral("HHH"));
        const QImage image = play(w.finish(), {200, 100});
        const QRect ink = inkBounds(image);
        ASSERT_FALSE(ink.isEmpty());
        // Capital letters of a 24-pixel font are about 17 pixels tall.
        EXPECT_GE(ink.height(), 14);
        EXPECT_LE(ink.height(), 21);
        EXPECT_GT(ink.width(), 30);
        const QRgb middle = image.pixel(ink.center());
        EXPECT_GT(qRed(middle), 150);
        c.check(ink);
    }
}

TEST(Metafile, ScalesRotatesSpacesAndBacksText) {
    struct Case {
        const char* name;
        std::function<QByteArray()> file;
        std::function<void(const QImage&, const QRect& ink)> check;
    };
    const Case cases[] = {
        {"WMF font height follows the mapping",
         [] {
             WmfWriter w(QRect(0, 0, 3000, 1500), 1440);  // 200 x 100 pixels at 96 DPI
             w.selectObject(w.createFont(-480, QStringLiteral("DejaVu Sans")));
             w.setBkMode(kTransparent).setTextColor(kBlue).textOut({300, 300}, "HH");
             return w.finish();
         },
         [](const QImage&, const QRect& ink) {
             // 480 twips is 32 pixels: capitals of about 23 pixels, placed at 20, 20.
             EXPECT_GE(ink.height(), 19);
             EXPECT_LE(ink.height(), 27);
             EXPECT_NEAR(ink.left(), 21, 4);
             EXPECT_GE(ink.top(), 20);
         }},
        {"escapement turns the line upwards",
         [] {
             EmfWriter w = emf200x100();
             w.createFont(1, -16, QStringLiteral("DejaVu Sans"), 400, false, false, 900);
             w.selectObject(1).setBkMode(kTransparent).setTextAlign(kTaBaseline);
             w.extTextOutW({100, 95}, QStringLiteral("HHHHHH"));
             return w.finish();
         },
         [](const QImage&, const QRect& ink) {
             EXPECT_GT(ink.height(), 2 * ink.width());
             EXPECT_LE(ink.bottom(), 96);
         }},
        {"opaque rectangle in the background colour",
         [] {
             EmfWriter w = emf200x100();
             w.setBkColor(kGreen).extTextOutW({30, 30}, QString(), kEtoOpaque,
                                              QRect(20, 20, 100, 40));
             return w.finish();
         },
         [](const QImage& image, const QRect& ink) {
             EXPECT_EQ(ink, QRect(20, 20, 100, 40));
             EXPECT_EQ(image.pixel(70, 40), QColor(kGreen).rgb());
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage image = play(c.file(), {200, 100});
        const QRect ink = inkBounds(image);
        ASSERT_FALSE(ink.isEmpty());
        c.check(image, ink);
    }
}

// --- Bitmaps ---------------------------------------------------------------------------

QImage fourColours() {
    QImage image(4, 4, QImage::Format_RGB32);
    const QRgb colours[] = {qRgb(230, 40, 40), qRgb(40, 200, 60), qRgb(30, 60, 230),
                            qRgb(250, 220, 40)};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            image.setPixel(x, y, colours[(x / 2 + 2 * (y / 2) + y % 2) % 4]);
        }
    }
    return image;
}

QImage twoColours() {
    QImage image(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            image.setPixel(x, y, (x + y) % 2 ? qRgb(20, 20, 120) : qRgb(240, 240, 200));
        }
    }
    return image;
}

TEST(Metafile, DecodesEveryBitmapDepthInEveryBitmapRecord) {
    struct Format {
        DibFormat format;
        const char* name;
    };
    const Format formats[] = {
        {DibFormat::Mono1, "1 bpp"},
        {DibFormat::Palette4, "4 bpp"},
        {DibFormat::Palette8, "8 bpp"},
        {DibFormat::Rgb555, "16 bpp"},
        {DibFormat::Rgb565Fields, "16 bpp 5-6-5 masks"},
        {DibFormat::Rgb24, "24 bpp"},
        {DibFormat::Rgb32, "32 bpp"},
        {DibFormat::Bgr32Fields, "32 bpp masks"},
    };
    const QRect dest(20, 10, 80, 60);
    struct Record {
        const char* name;
        std::function<QByteArray(const QImage&, DibFormat)> file;
        QRect shown;
    };
    const Record records[] = {
        {"EMF StretchDIBits bottom-up",
         [&](const QImage& i, DibFormat f) {
             return emf200x100().stretchDiBits(dest, i, f).finish();
         },
         dest},
        {"EMF StretchDIBits top-down",
         [&](const QImage& i, DibFormat f) {
             return emf200x100().stretchDiBits(dest, i, f, {}, gvtest::kSrcCopy, true).finish();
         },
         dest},
        {"EMF BitBlt with a scaling source transform",
         [&](const QImage& i, DibFormat f) { return emf200x100().bitBlt(dest, i, f).finish(); },
         dest},
        {"EMF SetDIBitsToDevice",
         [&](const QImage& i, DibFormat f) {
             return emf200x100().setDiBitsToDevice(dest.topLeft(), i, f).finish();
         },
         QRect(dest.topLeft(), QSize(-1, -1))},
        {"WMF StretchDIB",
         [&](const QImage& i, DibFormat f) { return wmf200x100().stretchDib(dest, i, f).finish(); },
         dest},
        {"WMF DIBStretchBlt",
         [&](const QImage& i, DibFormat f) {
             return wmf200x100().dibStretchBlt(dest, i, f).finish();
         },
         dest},
        {"WMF DIBBitBlt",
         [&](const QImage& i, DibFormat f) {
             return wmf200x100().dibBitBlt(dest.topLeft(), i, f).finish();
         },
         QRect(dest.topLeft(), QSize(-1, -1))},
    };
    for (const auto& r : records) {
        for (const auto& f : formats) {
            SCOPED_TRACE(std::string(r.name) + ", " + f.name);
            const QImage source = f.format == DibFormat::Mono1 ? twoColours() : fourColours();
            QRect shown = r.shown;
            if (shown.width() < 0) {
                shown.setSize(source.size());  // unstretched records copy pixel for pixel
            }
            const QImage expected = reference({200, 100}, [&](QPainter& p) {
                p.setRenderHint(QPainter::SmoothPixmapTransform, false);  // enlarged: blocky
                p.drawImage(shown, gvtest::dibQuantised(source, f.format));
            });
            EXPECT_TRUE(similar(play(r.file(source, f.format), {200, 100}), expected, 0.003));
        }
    }
}

TEST(MetafileEmf, StretchDibitsCountsSourceRowsFromTheBottom) {
    const QImage source = fourColours();
    // The lower-left quarter of a bottom-up bitmap starts at source row 0.
    EmfWriter w = emf200x100();
    w.stretchDiBits(QRect(10, 10, 80, 80), source, DibFormat::Rgb24, QRect(0, 0, 2, 2));
    const QImage expected = reference({200, 100}, [&](QPainter& p) {
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.drawImage(QRectF(10, 10, 80, 80), source, QRectF(0, 2, 2, 2));
    });
    EXPECT_TRUE(similar(play(w.finish(), {200, 100}), expected, 0.003));
}

TEST(MetafileEmf, PatternBrushesTileTheirBitmap) {
    EmfWriter w = emf200x100();
    w.createDibPatternBrush(1, twoColours()).selectObject(1).selectStockObject(kNullPenStock);
    w.rectangle(QRect(0, 0, 200, 100));
    const QImage image = play(w.finish(), {200, 100});
    // Both colours of the pattern appear, in the pattern's own arrangement.
    EXPECT_EQ(image.pixel(0, 0), qRgb(240, 240, 200));
    EXPECT_EQ(image.pixel(1, 0), qRgb(20, 20, 120));
    EXPECT_EQ(image.pixel(5, 0), qRgb(240, 240, 200));
    EXPECT_EQ(image.pixel(6, 0), qRgb(20, 20, 120));
}

// --- Natural size and header checks ----------------------------------------------------

TEST(Metafile, ReportsItsNaturalSize) {
    struct Case {
        const char* name;
        QByteArray bytes;
        MetafileKind kind;
        QSize himetric, at96, at192;
    };
    const Case cases[] = {
        {"WMF of one by half an inch", WmfWriter(QRect(0, 0, 1440, 720), 1440).finish(),
         MetafileKind::Wmf, QSize(2540, 1270), QSize(96, 48), QSize(192, 96)},
        {"WMF with an offset box", WmfWriter(QRect(-100, 50, 300, 150), 600).finish(),
         MetafileKind::Wmf, QSize(1270, 635), QSize(48, 24), QSize(96, 48)},
        {"WMF without resolution means twips", WmfWriter(QRect(0, 0, 1440, 1440), 0).finish(),
         MetafileKind::Wmf, QSize(2540, 2540), QSize(96, 96), QSize(192, 192)},
        {"WMF without placeable header, at screen resolution",
         WmfWriter(QRect(), 96, false).setWindowExt({200, 100}).finish(), MetafileKind::Wmf,
         QSize(5292, 2646), QSize(200, 100), QSize(400, 200)},
        {"EMF frame", EmfWriter(QRect(0, 0, 5000, 2500)).finish(), MetafileKind::Emf,
         QSize(5000, 2500), QSize(189, 94), QSize(378, 189)},
        {"EMF frame not at the origin", EmfWriter(QRect(1000, 2000, 2540, 5080)).finish(),
         MetafileKind::Emf, QSize(2540, 5080), QSize(96, 192), QSize(192, 384)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        const auto picture = Metafile::fromBytes(c.bytes, &error);
        ASSERT_TRUE(picture) << error.toStdString();
        EXPECT_EQ(picture->kind(), c.kind);
        EXPECT_EQ(picture->sizeHimetric(), c.himetric);
        EXPECT_EQ(picture->sizePixels(), c.at96);
        EXPECT_EQ(picture->sizePixels(192), c.at192);
        EXPECT_EQ(picture->bytes(), c.bytes);
    }
}

TEST(MetafileEmf, FallsBackOnTheBoundsWithoutAFrame) {
    QByteArray bytes = EmfWriter(QRect(0, 0, 5000, 2500)).finish();
    // Zero the frame; the bounds (0, 0)-(199, 99) at 4 pixels per millimetre remain.
    bytes.replace(24, 16, QByteArray(16, '\0'));
    const auto picture = Metafile::fromBytes(bytes);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->sizeHimetric(), QSize(5000, 2500));
}

QByteArray withU32(QByteArray bytes, qsizetype at, quint32 value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = char((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

QByteArray withU16(QByteArray bytes, qsizetype at, quint16 value) {
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char(value >> 8);
    return bytes;
}

TEST(Metafile, RefusesWhatItCannotPlay) {
    const QByteArray wmf = wmf200x100().rectangle(QRect(0, 0, 10, 10)).finish();
    const QByteArray emf = emf200x100().rectangle(QRect(0, 0, 10, 10)).finish();
    // WMF: placeable header 22 bytes, standard header 18, first record at 40.
    // EMF: header 108 bytes, first record at 108.
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"nothing", QByteArray()},
        {"text", QByteArray("Just some words, nothing like a picture at all.")},
        {"placeable key alone", wmf.left(22)},
        {"WMF header of the wrong type", withU16(wmf, 22, 7)},
        {"WMF header of the wrong size", withU16(wmf, 24, 12)},
        {"WMF record of size zero", withU32(wmf, 40, 0)},
        {"WMF record past the end", withU32(wmf, 40, 0x7FFFFFFF)},
        {"WMF cut inside a record", wmf.left(wmf.size() - 9)},
        {"WMF without placeable header, window or drawing",
         WmfWriter(QRect(), 96, false).setTextColor(kRed).finish()},
        {"WMF with an empty box", withU16(withU16(wmf, 10, 0), 12, 0).mid(0)},
        {"EMF signature wrong", withU32(emf, 40, 0x12345678)},
        {"EMF header larger than the file", withU32(emf, 4, 0x10000)},
        {"EMF header size not a multiple of four", withU32(emf, 4, 110)},
        {"EMF record of size zero", withU32(emf, 112, 0)},
        {"EMF record size not a multiple of four", withU32(emf, 112, 21)},
        {"EMF record past the end", withU32(emf, 112, 0xFFFFFFF0)},
        {"EMF without frame or bounds",
         withU32(withU32(emf.left(24) + QByteArray(16, '\0') + emf.mid(40), 8, 50), 16, 10)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        EXPECT_FALSE(Metafile::fromBytes(c.bytes, &error));
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(MetafileEmf, ShowsDrawingThatLiesOutsideItsFrame) {
    // Exported diagrams: a frame from 0,0 but drawing above it (bounds 1,-517 to 473,10).
    struct Case {
        const char* name;
        QRect frame;  // HIMETRIC, 25 per device pixel
        QRect bounds;
        std::function<void(EmfWriter&)> draw;
        QSize himetric;
        QList<QPoint> red;  // in a render at one pixel per device pixel
        QPoint white{};     // where nothing is drawn; none at 0,0
        QRect text{};       // where text must leave ink; none when empty
    };
    auto diagram = [](int mapMode, QPoint org, QRect box) {
        return [=](EmfWriter& w) {
            w.setMapMode(mapMode).setWindowExt({474, 528}).setWindowOrg({0, 0}).setWindowOrg(org);
            w.createFont(2, -14, QStringLiteral("DejaVu Sans")).selectObject(2);
            w.beginPath().moveTo({5, 5}).lineTo({40, 40}).record(68, {});  // AbortPath
            redBrushNoPen(w);
            w.rectangle(box).roundRect(box.adjusted(10, 10, -10, -10), {8, 8});
            w.polygon({box.topLeft(), box.topRight(), box.bottomLeft()}, true);
            w.extTextOutW(box.topLeft(), QStringLiteral("Class"));
        };
    };
    auto redBox = [](QRect box) {
        return [=](EmfWriter& w) {
            redBrushNoPen(w);
            w.rectangle(box);
        };
    };
    // A unit window moved by its origin and no viewport: logical units are device pixels,
    // and the picture is as tall as the drawing, which is taller than the frame.
    auto unitWindow = [](EmfWriter& w) {
        w.setMapMode(kMmAnisotropic).setWindowExt({1, 1}).setWindowOrg({-14, 15});
        w.createPen(3, kPsSolid, 5, kRed).selectObject(3).moveTo({0, -480}).lineTo({400, -480});
        redBrushNoPen(w);
        w.polygon({{100, -400}, {200, -400}, {200, -250}, {100, -250}}, true);
        w.setWindowOrg({-214, 15}).roundRect({0, -200, 100, 150}, {10, 10});
        w.createFont(2, -14, QStringLiteral("DejaVu Sans")).selectObject(2);
        w.extTextOutW({0, -40}, QStringLiteral("Class"));
    };
    const Case cases[] = {
        {"text mode, window origin moves the drawing up", QRect(0, 0, 11850, 13200),
         QRect(1, -517, 473, 527), diagram(kMmText, {0, 517}, {50, 100, 200, 200}),
         QSize(11850, 13200), QList<QPoint>{{150, 200}}},
        {"tenths of a millimetre, y up", QRect(0, 0, 11850, 13200), QRect(1, -517, 473, 527),
         diagram(kMmLoMetric, {0, 0}, {125, 1043, 500, -500}), QSize(11850, 13200),
         QList<QPoint>{{150, 200}}},
        {"anisotropic unit window keeps GDI's viewport; a drawing taller than its frame",
         QRect(0, 0, 11850, 12950), QRect(QPoint(1, -517), QPoint(473, 10)), unitWindow,
         QSize(11850, 13200), QList<QPoint>{{200, 22}, {150, 200}, {264, 380}}, QPoint(440, 300),
         QRect(210, 455, 70, 30)},
        {"drawing past the right edge widens the picture", QRect(0, 0, 5000, 2500),
         QRect(0, 0, 300, 100), redBox({220, 20, 60, 60}), QSize(7500, 2500),
         QList<QPoint>{{250, 50}}},
        {"bounds that copy the frame in 1/100 mm are no drawing", QRect(0, 0, 5000, 2500),
         QRect(0, 0, 5001, 2501), redBox({20, 20, 60, 60}), QSize(5000, 2500),
         QList<QPoint>{{50, 50}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmfWriter w(c.frame);
        c.draw(w);
        const auto picture = Metafile::fromBytes(w.setBounds(c.bounds).finish());
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->sizeHimetric(), c.himetric);
        const QImage image = picture->render(c.himetric / 25);
        for (const QPoint red : c.red) {
            EXPECT_EQ(image.pixel(red), QColor(kRed).rgb()) << red.x() << "," << red.y();
        }
        if (!c.white.isNull()) {
            EXPECT_EQ(image.pixel(c.white), qRgb(255, 255, 255));
        }
        if (!c.text.isEmpty()) {
            EXPECT_GT(inkBounds(image.copy(c.text)).width(), 20);
        }
    }
}

TEST(MetafileWmf, SizesAPictureWithoutHeaderByItsDrawing) {
    // Without placeable header or window extent the drawing spans 20,10 to 220,110.
    const std::pair<std::function<void(WmfWriter&)>, QPoint> cases[] = {
        {[](WmfWriter&) {}, {0, 0}},
        {[](WmfWriter& w) {
             w.setWindowOrg({100, 50});
         },
         {100, 50}},
        {[](WmfWriter& w) {
             w.setWindowOrg({-30, 0}).offsetWindowOrg({130, 50});
         },
         {100, 50}},
    };
    for (const auto& [setup, shift] : cases) {
        WmfWriter w(QRect(), 96, false);
        setup(w);
        redBrushNoPen(w);
        w.rectangle(QRect(QPoint(20, 10) + shift, QSize(40, 30)));
        w.selectObject(w.createBrush(kBsSolid, kBlue));
        w.ellipse(QRect(QPoint(150, 60) + shift, QSize(70, 50)));
        const auto picture = Metafile::fromBytes(w.finish());
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->sizePixels(), QSize(200, 100));
        const QImage image = picture->render({200, 100});
        EXPECT_EQ(image.pixel(20, 15), QColor(kRed).rgb());
        EXPECT_EQ(image.pixel(165, 75), QColor(kBlue).rgb());
    }
}

// Left edges and tops of the letters in a line of capital I's.
QList<QPoint> letterCorners(const QImage& image) {
    QList<QPoint> corners;
    bool inside = false;
    for (int x = 0; x < image.width(); ++x) {
        int top = -1;
        for (int y = 0; y < image.height() && top < 0; ++y) {
            if (channelDifference(image.pixel(x, y), qRgb(255, 255, 255)) > 100) {
                top = y;
            }
        }
        if (top >= 0 && !inside) {
            corners.append({x, top});
        }
        inside = top >= 0;
    }
    return corners;
}

TEST(Metafile, PlacesEachCharacterByTheSpacingArray) {
    // A formula's letters start 10 and 50 units apart; with ETO_PDY the third one rises.
    const QList<qint32> dx{10, 50, 5, 30};
    auto emf = [] {
        EmfWriter w = emf200x100();
        w.createFont(1, -20, QStringLiteral("DejaVu Sans")).selectObject(1).setBkMode(1);
        return w;
    };
    const std::tuple<const char*, std::function<QByteArray()>, int> cases[] = {
        {"EMF ExtTextOutW",
         [&] {
             return emf().extTextOutW({20, 30}, QStringLiteral("IIII"), 0, {}, dx).finish();
         },
         0},
        {"EMF ExtTextOutA",
         [&] {
             return emf().extTextOutA({20, 30}, "IIII", dx).finish();
         },
         0},
        {"EMF ExtTextOutW with ETO_PDY",
         [&] {
             const QList<qint32> pairs{10, 0, 50, 12, 5, 0, 30, 0};
             return emf().extTextOutW({20, 30}, QStringLiteral("IIII"), 0x2000, {}, pairs).finish();
         },
         12},
        {"WMF ExtTextOut, odd length",
         [&] {
             WmfWriter w = wmf200x100();
             w.selectObject(w.createFont(-20, QStringLiteral("DejaVu Sans"))).setBkMode(1);
             return w.extTextOut({20, 30}, "III", 0, {}, {10, 50, 5}).finish();
         },
         0},
    };
    for (const auto& [name, file, rise] : cases) {
        SCOPED_TRACE(name);
        const QList<QPoint> letters = letterCorners(play(file(), {200, 100}));
        ASSERT_GE(letters.size(), 3);
        EXPECT_NEAR(letters[1].x() - letters[0].x(), 10, 1);
        EXPECT_NEAR(letters[2].x() - letters[1].x(), 50, 1);
        EXPECT_NEAR(letters[1].y() - letters[2].y(), rise, 1);
    }
}

// --- EMF+ ------------------------------------------------------------------------------

using gvtest::EmfPlusWriter;
using PlusPoints = EmfPlusWriter::Points;

TEST(MetafileEmfPlus, PlaysGdiPlusDrawing) {
    // EMF+ in a 200 x 100 device-pixel EMF at 96 DPI; colours probed where drawing must be.
    struct Probe {
        QPoint at;
        QColor color;
    };
    struct Case {
        const char* name;
        std::function<void(EmfWriter&, EmfPlusWriter&)> draw;
        QList<Probe> probes;
    };
    const QColor white(Qt::white);
    QImage quarters(2, 2, QImage::Format_ARGB32);
    quarters.setPixel(0, 0, QColor(kRed).rgba());
    quarters.setPixel(1, 0, QColor(kBlue).rgba());
    quarters.setPixel(0, 1, QColor(kGreen).rgba());
    quarters.setPixel(1, 1, qRgb(0, 0, 0));
    const QList<Probe> quarterProbes{{{70, 30}, kRed}, {{130, 30}, kBlue}, {{70, 70}, kGreen}};
    const QList<QPointF> triangle{{20, 10}, {180, 10}, {100, 90}};
    const Case cases[] = {
        {"colour rectangles, float and 16-bit",
         [](EmfWriter&, EmfPlusWriter& p) {
             p.fillRects(kRed, {{10, 10, 50, 50}}).fillRects(kBlue, {{100, 10, 50, 50}}, true);
         },
         {{{35, 35}, kRed}, {{125, 35}, kBlue}, {{80, 80}, white}}},
        {"EMF fallback records are skipped",
         [](EmfWriter& e, EmfPlusWriter& p) {
             p.fillRects(kBlue, {{0, 0, 200, 100}});
             redBrushNoPen(e);
             e.rectangle({0, 0, 200, 100});
         },
         {{{100, 50}, kBlue}}},
        {"EMF+ that draws nothing leaves the EMF records drawn",
         [](EmfWriter& e, EmfPlusWriter& p) {
             p.solidBrush(1, kBlue).setAntiAlias(true);
             redBrushNoPen(e);
             e.rectangle({0, 0, 200, 100});
         },
         {{{100, 50}, kRed}}},
        {"EMF records after GetDC are drawn",
         [](EmfWriter& e, EmfPlusWriter& p) {
             p.fillRects(kBlue, {{0, 0, 200, 100}}).getDc();
             redBrushNoPen(e);
             e.rectangle({0, 0, 100, 100});
             p.fillRects(kGreen, {{150, 0, 50, 100}});
             e.rectangle({100, 0, 100, 100});  // after the next EMF+ record: skipped
         },
         {{{50, 50}, kRed}, {{120, 50}, kBlue}, {{175, 50}, kGreen}}},
        {"brush objects, polygon of relative points",
         [&](EmfWriter&, EmfPlusWriter& p) {
             p.solidBrush(3, kGreen).fillPolygon(3, triangle, PlusPoints::Relative);
         },
         {{{100, 40}, kGreen}, {{25, 80}, white}}},
        {"paths of float, 16-bit and relative points, a Bezier and a closed figure",
         [&](EmfWriter&, EmfPlusWriter& p) {
             const QList<quint8> types{0, 1, 0x81};
             p.path(1, {{0, 0}, {60, 0}, {0, 60}}, types)
                 .path(2, triangle, types, PlusPoints::Int16);
             p.path(3, {{120, 90}, {130, 40}, {190, 40}, {190, 90}}, {0, 3, 3, 0x83},
                    PlusPoints::Relative);
             p.fillPath(kRed, 1).solidBrush(4, kBlue).fillPath(4, 3);
             p.pen(5, 4, kGreen).drawPath(5, 2);
         },
         {{{15, 15}, kRed}, {{170, 75}, kBlue}, {{100, 10}, kGreen}, {{100, 50}, white}}},
        {"wide dashed and solid lines",
         [](EmfWriter&, EmfPlusWriter& p) {
             p.pen(1, 10, kBlue).drawLines(1, {{10, 20}, {190, 20}});
             p.pen(2, 6, kRed, 1).drawLines(2, {{10, 60}, {60, 60}, {60, 90}}, true);
             p.drawRects(1, {{120, 50, 60, 40}});
         },
         {{{100, 20}, kBlue}, {{12, 60}, kRed}, {{120, 70}, kBlue}, {{150, 70}, white}}},
        {"ellipse, pie clockwise from three o'clock, arc",
         [](EmfWriter&, EmfPlusWriter& p) {
             p.fillEllipse(kRed, {10, 10, 80, 80}).pie(0x4010, kBlue, 0, 90, {110, 10, 80, 80});
             p.pen(1, 6, kGreen).pie(0x4012, 1, 180, 90, {110, 10, 80, 80});
         },
         {{{50, 50}, kRed}, {{165, 65}, kBlue}, {{165, 35}, white}, {{122, 22}, kGreen}}},
        {"linear and path gradients",
         [&](EmfWriter&, EmfPlusWriter& p) {
             p.linearBrush(1, {0, 0, 100, 100}, kRed, kBlue).fillRects(1, {{0, 0, 100, 100}});
             p.pathBrush(2, {150, 50}, kGreen, {{100, 0}, {200, 0}, {200, 100}, {100, 100}}, white);
             p.fillRects(2, {{100, 0, 100, 100}});
         },
         {{{1, 50}, kRed}, {{98, 50}, kBlue}, {{150, 50}, kGreen}}},
        {"world transforms: set, multiply, translate, scale, rotate",
         [](EmfWriter&, EmfPlusWriter& p) {
             p.setWorldTransform(QTransform().translate(100, 0)).transform(0x402E, {2, 2});
             p.fillRects(kRed, {{0, 0, 10, 10}}).resetWorldTransform();
             p.transform(0x402D, {50, 50}).transform(0x402F, {90});
             p.fillRects(kBlue, {{0, 0, 20, 10}});
             p.transform(0x402C, {1, 0, 0, 1, 100, 0}, true).fillRects(kGreen, {{20, 20, 10, 10}});
         },
         {{{115, 15}, kRed}, {{45, 60}, kBlue}, {{125, 75}, kGreen}}},
        {"page units in millimetres, save and restore",
         [](EmfWriter&, EmfPlusWriter& p) {
             p.save(7).setPageTransform(6, 1).fillRects(kRed, {{10, 10, 20, 10}}).restore(7);
             p.fillRects(kBlue, {{150, 10, 20, 20}});
         },
         {{{75, 55}, kRed}, {{160, 20}, kBlue}}},
        {"clip rectangle and path, then no clip",
         [](EmfWriter&, EmfPlusWriter& p) {
             p.setClipRect({0, 0, 100, 100}).fillRects(kRed, {{0, 0, 200, 50}});
             p.path(1, {{100, 50}, {200, 50}, {200, 100}}, {0, 1, 0x81}).setClipPath(1);
             p.fillRects(kBlue, {{0, 50, 200, 50}}).resetClip();
             p.fillRects(kGreen, {{0, 90, 10, 10}});
         },
         {{{50, 25}, kRed},
          {{150, 25}, white},
          {{190, 90}, kBlue},
          {{110, 95}, white},
          {{5, 95}, kGreen}}},
        {"bitmap, stretched, in pieces; PNG onto three points",
         [&](EmfWriter&, EmfPlusWriter& p) {
             p.setAntiAlias(false).bitmap(1, quarters, false, 3);
             p.drawImage(1, {0, 0, 2, 2}, {40, 0, 120, 100});
             p.bitmap(2, quarters, true)
                 .drawImagePoints(2, {0, 0, 1, 1}, {{0, 0}, {20, 0}, {0, 20}});
         },
         quarterProbes + QList<Probe>{{{10, 10}, kRed}}},
        {"embedded WMF, its source rectangle in its own pixels",
         [](EmfWriter&, EmfPlusWriter& p) {
             WmfWriter inner = wmf200x100();  // 200 x 100 pixels, red in its right half
             redBrushNoPen(inner);
             p.metafileImage(1, inner.rectangle({100, 0, 100, 100}).finish(), false);
             p.drawImage(1, {100, 0, 100, 100}, {0, 0, 100, 100});
         },
         {{{50, 50}, kRed}, {{150, 50}, white}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmfWriter emf = emf200x100();
        EmfPlusWriter plus(emf);
        c.draw(emf, plus);
        plus.endOfFile();
        const QImage image = play(emf.finish(), {200, 100});
        for (const Probe& probe : c.probes) {
            EXPECT_LE(channelDifference(image.pixel(probe.at), probe.color.rgb()), 40)
                << probe.at.x() << "," << probe.at.y();
        }
    }
}

TEST(MetafileEmfPlus, DrawsStringsInTheirLayoutOrAtTheirOrigins) {
    const std::pair<std::function<void(EmfPlusWriter&)>, QRect> cases[] = {
        {[](EmfPlusWriter& p) {  // near, top: the left top of the layout
             p.stringFormat(2, 0, 0).drawString(kBlue, 1, QStringLiteral("Hi"), {20, 10, 160, 80},
                                                2);
         },
         {20, 10, 60, 40}},
        {[](EmfPlusWriter& p) {  // far, bottom
             p.stringFormat(2, 2, 2).drawString(kBlue, 1, QStringLiteral("Hi"), {20, 10, 160, 80},
                                                2);
         },
         {120, 50, 60, 40}},
        {[](EmfPlusWriter& p) {  // driver string: baselines at y 60, letters at x 100 and 150
             p.drawDriverString(kBlue, 1, QStringLiteral("II"), {{100, 60}, {150, 60}});
         },
         {100, 30, 60, 31}},
    };
    for (const auto& [draw, area] : cases) {
        EmfWriter emf = emf200x100();
        EmfPlusWriter plus(emf);
        plus.font(1, 30, QStringLiteral("DejaVu Sans"));
        draw(plus);
        plus.endOfFile();
        const QRect ink = inkBounds(play(emf.finish(), {200, 100}));
        EXPECT_TRUE(area.contains(ink)) << ink.x() << "," << ink.y() << " " << ink.width();
        EXPECT_GT(ink.height(), 15);
        EXPECT_GT(ink.width(), 15);
    }
}

TEST(MetafileEmfPlus, EmfRecordsAfterGetDcKeepGdisViewport) {
    // A program draws on the device context GDI+ hands out: a unit window with no viewport
    // means device pixels, even though the drawing lies inside the frame.
    const std::pair<const char*, std::function<void(EmfPlusWriter&)>> cases[] = {
        {"EMF+ draws nothing: the EMF records are the picture", [](EmfPlusWriter&) {}},
        {"EMF+ draws before GetDC",
         [](EmfPlusWriter& p) {
             p.fillRects(kBlue, {{150, 0, 50, 100}});
         }},
    };
    for (const auto& [name, before] : cases) {
        SCOPED_TRACE(name);
        EmfWriter emf = emf200x100();
        EmfPlusWriter plus(emf);
        before(plus);
        plus.getDc();
        emf.setMapMode(kMmAnisotropic).setWindowExt({1, 1});
        emf.setViewportOrg({0, 0}).setWindowOrg({0, 0});
        redBrushNoPen(emf);
        emf.rectangle({10, 60, 40, 30});
        emf.createFont(2, -16, QStringLiteral("DejaVu Sans")).selectObject(2);
        emf.extTextOutW({10, 10}, QStringLiteral("Text"));
        plus.endOfFile();
        const QImage image = play(emf.finish(), {200, 100});
        EXPECT_EQ(image.pixel(30, 75), QColor(kRed).rgb());
        EXPECT_EQ(image.pixel(100, 75), qRgb(255, 255, 255));
        const QRect ink = inkBounds(image.copy(0, 0, 140, 50));
        EXPECT_TRUE(QRect(10, 10, 60, 25).contains(ink)) << ink.x() << "," << ink.y();
        EXPECT_GT(ink.width(), 20);
    }
}

// --- Robustness ------------------------------------------------------------------------

TEST(Metafile, SurvivesTruncationAtEveryLength) {
    for (const QByteArray& whole : {gvtest::sampleWmf(), gvtest::sampleEmf()}) {
        for (qsizetype length = 0; length < whole.size(); ++length) {
            const auto picture = Metafile::fromBytes(whole.left(length));
            if (picture) {
                EXPECT_FALSE(picture->render({24, 18}).isNull()) << length;
            }
        }
    }
}

// Hostile records in the middle of a picture are skipped; what comes after still draws.
TEST(Metafile, PlaysPastHostileRecords) {
    auto emfCase = [](const std::function<void(EmfWriter&)>& hostile) {
        EmfWriter w = emf200x100();
        hostile(w);
        w.modifyWorldTransform(QTransform(), 1).setMapMode(kMmText);
        w.extSelectClipRgn({}, kRgnCopy);
        w.createBrush(60, kBsSolid, kRed).selectObject(60).selectStockObject(kNullPenStock);
        return w.rectangle(QRect(150, 50, 40, 40)).finish();
    };
    auto wmfCase = [](const std::function<void(WmfWriter&)>& hostile) {
        WmfWriter w = wmf200x100();
        hostile(w);
        w.setMapMode(kMmAnisotropic).setWindowOrg({0, 0}).setWindowExt({200, 100});
        redBrushNoPen(w);
        return w.rectangle(QRect(150, 50, 40, 40)).finish();
    };
    const QByteArray bigDib = [] {
        QByteArray info = gvtest::dibInfo(fourColours(), DibFormat::Rgb24);
        return withU32(withU32(info, 4, 32768), 8, 32768);  // claims a gigapixel, has 48 bytes
    }();
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"EMF absurd object indices", emfCase([](EmfWriter& w) {
             w.selectObject(0xFFFFFFFF).selectObject(0x7FFFFFFF).selectObject(0x80000077);
             w.deleteObject(12345).createPen(0xFFFFFFF0, kPsSolid, 1, Qt::black);
             w.selectObject(0).deleteObject(0);
         })},
        {"EMF object table of size zero", emfCase([](EmfWriter& w) {
             w.createPen(1, kPsSolid, 5, Qt::black).selectObject(1).setHandleCount(0);
         })},
        {"EMF point count far beyond the record", emfCase([](EmfWriter& w) {
             w.pointsRecord(3, 0x7FFFFFFF, {{0, 0}, {10, 10}, {0, 10}});
             w.pointsRecord(86, 0xFFFFFFFF, {{0, 0}});
             w.pointsRecord(4, 0x20000000, {{0, 0}, {10, 10}});
         })},
        {"EMF poly-polygon counts that overflow", emfCase([](EmfWriter& w) {
             QByteArray p(16, '\0');
             for (quint32 v : {2u, 4u, 0xFFFFFFFEu, 6u}) {
                 p += withU32(QByteArray(4, '\0'), 0, v);
             }
             w.record(8, p + QByteArray(32, '\1'));
         })},
        {"EMF thousands of saves, then restores far too deep", emfCase([](EmfWriter& w) {
             for (int i = 0; i < 5000; ++i) {
                 w.saveDc();
             }
             w.intersectClipRect(QRect(0, 0, 1, 1)).restoreDc(-1000000).restoreDc(99999);
             w.restoreDc(0).restoreDc(1);
         })},
        {"EMF transforms that are not numbers or collapse", emfCase([](EmfWriter& w) {
             w.setWorldTransform(QTransform(qQNaN(), 0, 0, 1, 0, 0));
             w.setWorldTransform(QTransform(0, 0, 0, 0, 0, 0));
             w.modifyWorldTransform(QTransform(1e30, 0, 0, 1e30, 0, 0), 2);
             w.modifyWorldTransform(QTransform(1e30, 0, 0, 1e30, 0, 0), 2);
             w.rectangle(QRect(0, 0, 10, 10)).modifyWorldTransform(QTransform(), 77);
         })},
        {"EMF zero and huge extents", emfCase([](EmfWriter& w) {
             w.setMapMode(kMmAnisotropic).setWindowExt({0, 0}).setViewportExt({0, 5});
             w.scaleWindowExt(1, 0, 1, 0).setWindowExt({1, 1});
             w.setViewportExt({2000000000, 2000000000});
             w.ellipse(QRect(-2000000000, -2000000000, 2000000000, 2000000000));
             w.createPen(3, 1, 1, Qt::black).selectObject(3);  // dashed
             w.lineTo({2000000000, 2000000000}).setMapMode(99);
         })},
        {"EMF enormous pen, font and text", emfCase([](EmfWriter& w) {
             w.createPen(1, kPsSolid, 0x7FFFFFFF, Qt::black).selectObject(1);
             w.polyline({{0, 0}, {100, 100}});
             w.createFont(2, -2147483647, QStringLiteral("DejaVu Sans")).selectObject(2);
             w.extTextOutW({0, 0}, QStringLiteral("big"));
             w.createFont(3, 0x7FFFFFFF, QString()).selectObject(3).extTextOutW({0, 0}, "x");
             QByteArray text(68, '\0');
             w.record(84, withU32(withU32(text, 36, 0x7FFFFFFF), 40, 76));
         })},
        {"EMF bitmaps that lie about their size", emfCase([&](EmfWriter& w) {
             QByteArray p(72, '\0');
             p = withU32(withU32(p, 40, 72 + 8), 44, quint32(bigDib.size()));
             p = withU32(withU32(p, 48, 72 + 8 + quint32(bigDib.size())), 52, 48);
             p = withU32(p, 60, gvtest::kSrcCopy);
             p = withU32(withU32(p, 64, 100), 68, 100);
             w.record(81, p + bigDib + QByteArray(48, '\x7f'));
             QByteArray q(72, '\0');
             q = withU32(withU32(q, 40, 0xFFFFFFF0), 44, 0xFFFF);
             w.record(81, withU32(q, 60, gvtest::kSrcCopy));
         })},
        {"EMF regions with absurd rectangles", emfCase([](EmfWriter& w) {
             QByteArray region =
                 withU32(withU32(withU32(QByteArray(32, '\0'), 0, 32), 8, 3000000), 12, 48000000);
             w.record(75, withU32(withU32(QByteArray(8, '\0'), 0, 32), 4, 1) + region);
             w.extSelectClipRgn({QRect(-2000000000, -2000000000, 2000000000, 2000000000)}, 2);
             for (int i = 0; i < 3000; ++i) {
                 w.excludeClipRect(QRect((i * 7) % 200, (i * 13) % 100, 1, 1));
             }
         })},
        {"EMF paths left open and clip paths far away", emfCase([](EmfWriter& w) {
             w.beginPath().polygon({{0, -1000000000}, {1000000000, 1000000000}, {-5, 0}});
             w.selectClipPath(kRgnAnd).beginPath().beginPath().endPath().endPath();
             w.fillPath().strokePath().selectClipPath(9).closeFigure().beginPath();
             w.ellipse(QRect(0, 0, 5, 5)).extSelectClipRgn({}, kRgnCopy).endPath();
         })},
        {"EMF records nobody knows", emfCase([](EmfWriter& w) {
             w.record(9999, QByteArray(40, '\x55')).record(0, {}).record(0xFFFFFFFF, {});
             w.record(70, QByteArray("EMF+ comment"));
         })},
        {"WMF records nobody knows", wmfCase([](WmfWriter& w) {
             w.record(0x7777, {1, 2, 3}).record(0x0626, {15, 4, 0x4142, 0x4344});
         })},
        {"WMF absurd object indices and a full table", wmfCase([](WmfWriter& w) {
             w.selectObject(-1).selectObject(30000).deleteObject(-5).deleteObject(65535);
             w.setObjectCount(2);
             for (int i = 0; i < 10; ++i) {
                 w.createPen(kPsSolid, 1, Qt::black);
             }
             // Only two fitted; freeing them makes room for the brush and pen that follow.
             for (int i = 0; i < 10; ++i) {
                 w.deleteObject(i);
             }
         })},
        {"WMF counts beyond the record", wmfCase([](WmfWriter& w) {
             w.record(0x0324, {32767, 1, 2});
             w.record(0x0538, {32767, 3});
             w.record(0x0538, {2, 3, 32000, 0, 0, 1, 1, 2, 2});
             w.record(0x0521, {32000, 0x4141});
             w.record(0x0A32, {0, 0, 32000, 6, 1, 1});
         })},
        {"WMF deep saves and bad restores", wmfCase([](WmfWriter& w) {
             for (int i = 0; i < 3000; ++i) {
                 w.saveDc();
             }
             w.restoreDc(-32768).restoreDc(32767).restoreDc(1);
         })},
        {"WMF bitmaps that lie about their size", wmfCase([&](WmfWriter& w) {
             w.rawRecord(0x0F43, QByteArray(22, '\1') + bigDib + QByteArray(10, '\2'));
             w.rawRecord(0x0B41, QByteArray(20, '\0') + QByteArray(40, '\xff'));
             w.rawRecord(0x0940, QByteArray(16, '\0') + withU32(bigDib, 0, 0xFFFFFFFF));
         })},
        {"WMF regions and brushes from nonsense", wmfCase([](WmfWriter& w) {
             w.rawRecord(0x06FF, QByteArray(22, '\0') + withU16(QByteArray(4, '\0'), 0, 32000));
             w.record(0x012C, {0}).record(0x0228, {0, 0}).record(0x0429, {1, 0, 0, 0});
             w.rawRecord(0x0142, QByteArray(3, '\0'));
             w.record(0x012C, {1}).record(0x012C, {-1});
             // The region and the brush took slots 0 and 1 behind the writer's back.
             w.record(0x01F0, {0}).record(0x01F0, {1});
         })},
    };
    const QImage after = redRect({200, 100}, {150, 50, 40, 40});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        const auto picture = Metafile::fromBytes(c.bytes, &error);
        ASSERT_TRUE(picture) << error.toStdString();
        const QImage image = picture->render({200, 100});
        ASSERT_FALSE(image.isNull());
        // Whatever the hostile part did, the last rectangle is drawn where it belongs.
        const QRgb inside = image.pixel(170, 70);
        EXPECT_EQ(inside, after.pixel(170, 70));
    }
}

TEST(Metafile, RefusesRastersOfUnusableSize) {
    const auto picture = Metafile::fromBytes(gvtest::sampleEmf());
    ASSERT_TRUE(picture);
    EXPECT_TRUE(picture->render({0, 10}).isNull());
    EXPECT_TRUE(picture->render({-5, -5}).isNull());
    EXPECT_TRUE(picture->render({40000, 10}).isNull());
    EXPECT_TRUE(picture->render({20000, 20000}).isNull());
    EXPECT_FALSE(picture->render({1, 1}).isNull());
}

// --- The samples -----------------------------------------------------------------------

TEST(Metafile, SamplesAreColourfulPictures) {
    struct Case {
        QByteArray bytes;
        MetafileKind kind;
    };
    for (const Case& c : {Case{gvtest::sampleWmf(), MetafileKind::Wmf},
                          Case{gvtest::sampleEmf(), MetafileKind::Emf},
                          Case{gvtest::sampleEmfPlus(), MetafileKind::Emf}}) {
        const auto picture = Metafile::fromBytes(c.bytes);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->kind(), c.kind);
        const QSize size = picture->sizePixels();
        EXPECT_GE(size.width(), 150);
        EXPECT_GE(size.height(), 100);
        const QImage image = picture->render(size);
        // Coarse hues: a recognisable picture has many, a failed one few.
        QSet<int> hues;
        for (int y = 0; y < image.height(); y += 3) {
            for (int x = 0; x < image.width(); x += 3) {
                const QColor colour = QColor(image.pixel(x, y));
                if (colour.hsvSaturation() > 80) {
                    hues.insert(colour.hsvHue() / 30);
                }
            }
        }
        EXPECT_GE(hues.size(), 5);
    }
}

}  // namespace
