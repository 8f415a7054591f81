// Draws Glimvane's built-in pictures (the logo, the splash picture, the toolbar logo and the
// program's icon) at 1x and 2x and writes them as the runs of equal pixels that the program
// reads at start (resources/images/*.rle). The program itself never draws them: their text
// would cost a font at start. Run tools/artwork/regenerate after changing a design.
//
//   glimvane_artwork OUTPUT_DIR ICON_64.png ICON_128.png
//
// The icon comes from the package's icon, rendered from packaging/glimvane.svg by the script.

#include <QByteArray>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <QtEndian>
#include <cstdio>
#include <functional>

namespace {

// The format of decodePixelRuns: width and height (32-bit big-endian), then runs of a count
// (16-bit little-endian, 1 to 65535) and one premultiplied ARGB pixel (32-bit little-endian).
QByteArray encodePixelRuns(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QByteArray out(8, '\0');
    qToBigEndian(quint32(image.width()), out.data());
    qToBigEndian(quint32(image.height()), out.data() + 4);
    const auto* pixels = reinterpret_cast<const quint32*>(image.constBits());
    const qsizetype total = qsizetype(image.width()) * image.height();
    for (qsizetype at = 0; at < total;) {
        const quint32 pixel = pixels[at];
        qsizetype count = 1;
        while (at + count < total && count < 0xffff && pixels[at + count] == pixel) {
            ++count;
        }
        char run[6];
        qToLittleEndian(quint16(count), run);
        qToLittleEndian(pixel, run + 2);
        out.append(run, 6);
        at += count;
    }
    return out;
}

// The four-bladed vane of the program's icon (packaging/glimvane.svg), without its tile: one
// blade turned four times about the centre, on a grid where a blade is 98 units long.
void drawVane(QPainter& p, QPointF centre, qreal bladeLength) {
    p.save();
    p.translate(centre);
    p.scale(bladeLength / 98.0, bladeLength / 98.0);
    QPainterPath blade;
    blade.moveTo(0, -8);
    blade.cubicTo(14, -40, 10, -78, -6, -98);
    blade.cubicTo(-30, -84, -36, -44, -16, -10);
    blade.closeSubpath();
    // Flat shades, lit from the top left: flat fills keep the runs long, and so the start fast.
    const QColor shades[] = {QColor(0x6a, 0x96, 0xd4), QColor(0x47, 0x64, 0x8d),
                             QColor(0x52, 0x75, 0xa5), QColor(0x5e, 0x85, 0xbc)};
    p.setPen(Qt::NoPen);
    for (const QColor& shade : shades) {
        p.setBrush(shade);
        p.drawPath(blade);
        p.rotate(90);
    }
    p.setBrush(QColor(0xe6, 0x96, 0x28));
    p.drawEllipse(QPointF(0, 0), 12.5, 12.5);
    p.restore();
}

void drawText(QPainter& p, const QString& text, QPointF baseline, qreal pixelSize, bool bold,
              QColor colour) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(qRound(pixelSize));
    font.setBold(bold);
    // Unhinted, so that the 2x picture lays out its text exactly as the 1x one, doubled.
    font.setHintingPreference(QFont::PreferNoHinting);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(baseline, text);
}

const QString kName = QStringLiteral("Glimvane");

void drawLogo(QPainter& p) {
    p.fillRect(QRectF(0, 0, 420, 200), Qt::black);
    drawVane(p, QPointF(90, 100), 70);
    drawText(p, kName, QPointF(160, 99), 40, true, QColor(0xeb, 0xf0, 0xfa));
    drawText(p, QStringLiteral("image browser and viewer"), QPointF(162, 129), 14, false,
             QColor(0x96, 0xaa, 0xc8));
}

void drawSplash(QPainter& p) {
    QLinearGradient sky(0, 0, 0, 240);
    sky.setColorAt(0, QColor(0x1e, 0x32, 0x5a));
    sky.setColorAt(1, QColor(0x0a, 0x14, 0x28));
    p.fillRect(QRectF(0, 0, 420, 240), sky);
    drawVane(p, QPointF(100, 105), 70);
    drawText(p, kName, QPointF(181, 107), 38, true, Qt::white);
}

void drawToolbarLogo(QPainter& p) {
    drawVane(p, QPointF(16, 16), 13.5);
    drawText(p, kName, QPointF(34, 21.5), 16, true, QColor(40, 70, 120));
}

QImage drawn(QSize size, int scale, const std::function<void(QPainter&)>& draw) {
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    p.scale(scale, scale);
    draw(p);
    return image;
}

bool write(const QString& path, const QImage& image) {
    QFile file(path);
    if (image.isNull() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(encodePixelRuns(image)) < 0) {
        std::fprintf(stderr, "glimvane_artwork: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: glimvane_artwork OUTPUT_DIR ICON_64.png ICON_128.png\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    struct Design {
        const char* name;
        QSize size;
        void (*draw)(QPainter&);
    };
    const Design designs[] = {{"logo", {420, 200}, drawLogo},
                              {"splash", {420, 240}, drawSplash},
                              {"toolbar-logo", {120, 32}, drawToolbarLogo}};
    bool ok = true;
    for (const Design& d : designs) {
        const QString name = QString::fromLatin1(d.name);
        ok &= write(dir + name + QStringLiteral(".rle"), drawn(d.size, 1, d.draw));
        ok &= write(dir + name + QStringLiteral("@2x.rle"), drawn(d.size, 2, d.draw));
    }
    const QImage icon(QString::fromLocal8Bit(argv[2]));
    const QImage icon2x(QString::fromLocal8Bit(argv[3]));
    if (icon.size() != QSize(64, 64) || icon2x.size() != QSize(128, 128)) {
        std::fprintf(stderr, "glimvane_artwork: the icons must be 64 and 128 pixels square\n");
        return 1;
    }
    ok &= write(dir + QStringLiteral("icon.rle"), icon);
    ok &= write(dir + QStringLiteral("icon@2x.rle"), icon2x);
    return ok ? 0 : 1;
}
