// gvsamples OUTDIR: writes a small folder of sample pictures, one or more of every type
// Glimvane reads, to try the program on without looking for files.

#include <QDir>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <functional>

#include "support/CameraRawFiles.h"
#include "support/ImageFiles.h"
#include "support/MetafileWriter.h"

using namespace gvtest;

namespace {

struct Palette {
    QColor skyTop, skyBottom, sun, farHill, nearHill;
};

const Palette kPalettes[] = {
    {QColor(255, 140, 80), QColor(255, 220, 150), QColor(255, 250, 210), QColor(150, 90, 120),
     QColor(80, 50, 90)},  // sunrise
    {QColor(70, 140, 230), QColor(190, 225, 255), QColor(255, 245, 160), QColor(110, 170, 90),
     QColor(50, 120, 60)},  // meadow
    {QColor(20, 30, 80), QColor(90, 70, 150), QColor(240, 240, 255), QColor(40, 60, 110),
     QColor(15, 25, 50)},  // night
    {QColor(240, 170, 60), QColor(250, 230, 170), QColor(255, 255, 240), QColor(210, 150, 80),
     QColor(170, 110, 60)},  // dunes
    {QColor(100, 180, 200), QColor(220, 245, 250), QColor(255, 255, 255), QColor(70, 120, 150),
     QColor(30, 80, 110)},  // lake
};

void drawCaption(QPainter& p, const QRect& area, const QString& text, int pixelSize) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 110));
    p.drawText(area.translated(2, 2), Qt::AlignHCenter | Qt::AlignBottom, text);
    p.setPen(Qt::white);
    p.drawText(area, Qt::AlignHCenter | Qt::AlignBottom, text);
}

// A landscape: sky gradient, a glowing sun, two rows of hills and a caption.
QImage landscape(QSize size, const Palette& c, const QString& caption) {
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = size.width();
    const double h = size.height();
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, c.skyTop);
    sky.setColorAt(1, c.skyBottom);
    p.fillRect(image.rect(), sky);
    QRadialGradient glow(QPointF(w * 0.7, h * 0.35), h * 0.3);
    glow.setColorAt(0, c.sun);
    glow.setColorAt(0.35, c.sun);
    glow.setColorAt(1, QColor(c.sun.red(), c.sun.green(), c.sun.blue(), 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(QPointF(w * 0.7, h * 0.35), h * 0.3, h * 0.3);
    for (int layer = 0; layer < 2; ++layer) {
        QPainterPath hills;
        const double base = h * (layer == 0 ? 0.62 : 0.75);
        hills.moveTo(0, h);
        hills.lineTo(0, base);
        for (int i = 0; i <= 4; ++i) {
            const double x1 = w * (i + 0.5) / 4.0;
            const double lift = h * (0.08 + 0.05 * ((i + layer) % 3));
            hills.quadTo(x1, base - lift * 2, w * (i + 1) / 4.0, base);
        }
        hills.lineTo(w, h);
        hills.closeSubpath();
        p.setBrush(layer == 0 ? c.farHill : c.nearHill);
        p.drawPath(hills);
    }
    drawCaption(p, QRect(0, 0, size.width(), size.height() - size.height() / 20), caption,
                size.height() / 9);
    return image;
}

// Flat colours only, for the formats that carry at most 256 colours.
QImage flatShapes(QSize size, int variant, const QString& caption) {
    const QColor background[] = {QColor(250, 245, 230), QColor(30, 40, 60), QColor(235, 250, 240)};
    const QColor shapes[][3] = {
        {QColor(230, 60, 70), QColor(40, 120, 200), QColor(250, 190, 40)},
        {QColor(250, 200, 60), QColor(90, 200, 170), QColor(240, 90, 120)},
        {QColor(60, 160, 90), QColor(130, 80, 190), QColor(240, 130, 50)},
    };
    const int v = variant % 3;
    QImage image(size, QImage::Format_RGB32);
    image.fill(background[v]);
    QPainter p(&image);
    const int w = size.width();
    const int h = size.height();
    p.setPen(Qt::NoPen);
    p.setBrush(shapes[v][0]);
    p.drawEllipse(QRect(w / 10, h / 8, w / 3, w / 3));
    p.setBrush(shapes[v][1]);
    p.drawRect(QRect(w / 2, h / 5, w / 3, h / 3));
    p.setBrush(shapes[v][2]);
    p.drawPolygon(
        QPolygon({QPoint(w / 3, h * 3 / 4), QPoint(w / 2, h / 3), QPoint(w * 2 / 3, h * 3 / 4)}));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(h / 9);
    font.setBold(true);
    p.setFont(font);
    p.setPen(v == 1 ? Qt::white : Qt::black);
    p.drawText(QRect(0, 0, w, h - h / 20), Qt::AlignHCenter | Qt::AlignBottom, caption);
    return image;
}

QImage iconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(QPointF(size * 0.35, size * 0.35), size * 0.6);
    g.setColorAt(0, QColor(120, 200, 255));
    g.setColorAt(1, QColor(20, 70, 170));
    p.setBrush(g);
    p.setPen(QPen(QColor(10, 30, 90), std::max(1, size / 16)));
    p.drawEllipse(QRectF(size * 0.06, size * 0.06, size * 0.88, size * 0.88));
    p.setBrush(QColor(255, 220, 80));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(size * 0.38, size * 0.38, size * 0.24, size * 0.24));
    return image;
}

QImage cursorImage() {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::white);
    p.setPen(QPen(Qt::black, 1.5));
    p.drawPolygon(QPolygonF({QPointF(1, 1), QPointF(1, 24), QPointF(7, 18), QPointF(12, 29),
                             QPointF(16, 27), QPointF(11, 17), QPointF(19, 17)}));
    return image;
}

QList<GifFrame> bouncingBall(QSize size) {
    QList<GifFrame> frames;
    const int count = 12;
    for (int i = 0; i < count; ++i) {
        QImage frame(size, QImage::Format_RGB32);
        frame.fill(QColor(245, 240, 225));
        QPainter p(&frame);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(80, 160, 90));
        p.drawRect(0, size.height() * 7 / 8, size.width(), size.height() / 8);
        const double t = static_cast<double>(i) / count;
        const int r = size.height() / 8;
        const int x = static_cast<int>(r + t * (size.width() - 2 * r));
        const int ground = size.height() * 7 / 8 - r;
        const int y = static_cast<int>(ground - (ground - r) * 4 * t * (1 - t));
        p.setBrush(QColor(220, 60, 60));
        p.drawEllipse(QPoint(x, y), r, r);
        frames << GifFrame{frame, 8};
    }
    return frames;
}

// Shapes, a gradient, text and a reused path: sharp at any zoom.
QByteArray sampleSvg() {
    return R"svg(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink"
     width="400" height="300" viewBox="0 0 400 300">
  <defs>
    <linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#6aa8e8"/><stop offset="1" stop-color="#e8f0ff"/>
    </linearGradient>
    <path id="leaf" d="M0 0 C 20 -30 50 -30 70 0 C 50 30 20 30 0 0 z"/>
  </defs>
  <rect width="400" height="300" fill="url(#sky)"/>
  <circle cx="320" cy="70" r="40" fill="#f6c431" stroke="#d08a10" stroke-width="4"/>
  <use xlink:href="#leaf" x="60" y="200" fill="#2e9a44"/>
  <use xlink:href="#leaf" x="150" y="230" fill="#3cb357" transform="rotate(-15 180 230)"/>
  <text x="40" y="60" font-family="sans-serif" font-size="28" fill="#20304a">SVG drawing</text>
</svg>
)svg";
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: gvsamples OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "gvsamples: cannot create %s\n", argv[1]);
        return 1;
    }
    const QSize photo(800, 600);
    const QSize small(480, 360);
    using Step = std::pair<QString, std::function<bool(const QString&)>>;
    const QList<Step> steps = {
        {"sunrise-bmp.bmp",
         [&](auto& f) { return writeBmp(f, landscape(photo, kPalettes[0], "BMP")); }},
        {"meadow-jpeg.jpg",
         [&](auto& f) { return writeJpeg(f, landscape(photo, kPalettes[1], "JPEG"), 90); }},
        {"night-jpeg.jpg",
         [&](auto& f) {
             return writeJpeg(f, landscape(QSize(1600, 1200), kPalettes[2], "JPEG 1600x1200"), 85);
         }},
        {"dunes-jpe.jpe",
         [&](auto& f) { return writeJpeg(f, landscape(photo, kPalettes[3], "JPE"), 90); }},
        {"lake-jpeg.jpeg",
         [&](auto& f) { return writeJpeg(f, landscape(photo, kPalettes[4], "JPEG"), 90); }},
        {"shapes-gif89a.gif",
         [&](auto& f) { return writeGif(f, flatShapes(small, 0, "GIF 89a"), GifVersion::V89a); }},
        {"shapes-gif87a.gif",
         [&](auto& f) { return writeGif(f, flatShapes(small, 1, "GIF 87a"), GifVersion::V87a); }},
        {"bouncing-ball-animated.gif",
         [&](auto& f) { return writeAnimatedGif(f, bouncingBall(small)); }},
        {"sunrise-tiff.tif",
         [&](auto& f) { return writeTiff(f, landscape(photo, kPalettes[0], "TIFF")); }},
        {"lake-tiff.tiff",
         [&](auto& f) { return writeTiff(f, landscape(small, kPalettes[4], "TIFF")); }},
        {"meadow-pcx.pcx",
         [&](auto& f) { return writePcx(f, landscape(small, kPalettes[1], "PCX")); }},
        {"night-png.png",
         [&](auto& f) { return writePng(f, landscape(photo, kPalettes[2], "PNG")); }},
        {"shapes-wmf.wmf", [&](auto& f) { return writeBytes(f, sampleWmf()); }},
        {"shapes-emf.emf", [&](auto& f) { return writeBytes(f, sampleEmf()); }},
        {"shapes-emfplus.emf", [&](auto& f) { return writeBytes(f, sampleEmfPlus()); }},
        {"dunes-pict.pct",
         [&](auto& f) { return writePict(f, landscape(small, kPalettes[3], "PICT")); }},
        {"lake-targa.tga",
         [&](auto& f) {
             return writeTga(f, landscape(small, kPalettes[4], "TGA"), TgaCompression::Rle);
         }},
        {"sunrise-eps-preview.eps",
         [&](auto& f) {
             return writeEpsWithTiffPreview(f, landscape(QSize(400, 300), kPalettes[0], "EPS"));
         }},
        {"meadow-dib.dib",
         [&](auto& f) { return writeBmp(f, landscape(small, kPalettes[1], "DIB")); }},
        {"shapes-rle.rle", [&](auto& f) { return writeRle8Bmp(f, flatShapes(small, 2, "RLE")); }},
        {"arrow-cursor.cur", [&](auto& f) { return writeCur(f, cursorImage(), QPoint(1, 1)); }},
        {"glimvane-icon.ico",
         [&](auto& f) {
             return writeIco(f, {iconImage(16), iconImage(32), iconImage(48), iconImage(128)});
         }},
        // The newer formats: a drawing, and a camera raw file taken on its side.
        {"shapes-drawing.svg", [&](auto& f) { return writeBytes(f, sampleSvg()); }},
        {"portrait-camera.dng",
         [&](auto& f) {
             // Stored on its side, as the camera held it; the file's orientation turns it.
             const QImage upright = landscape(photo.transposed(), kPalettes[2], "DNG");
             return writeBytes(f, dngWithPreview(upright.transformed(QTransform().rotate(-90)), 6));
         }},
    };
    int failures = 0;
    for (const auto& [name, write] : steps) {
        if (!write(out.filePath(name))) {
            std::fprintf(stderr, "gvsamples: could not write %s\n", qPrintable(name));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
