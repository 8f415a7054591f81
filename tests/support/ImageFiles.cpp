#include "support/ImageFiles.h"

#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <unordered_map>

#include "support/Bytes.h"
#include "support/RasterFiles.h"

namespace gvtest {
namespace {

// At most 256 colours with an exact palette where the image has that few.
QImage toIndexed(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32)
        .convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}

int bitsForColours(int count) {
    int bits = 1;
    while ((1 << bits) < count) {
        ++bits;
    }
    return bits;
}

// GIF's variable-length LZW, with the code-size steps and table resets every decoder
// expects.
class LzwEncoder final {
public:
    explicit LzwEncoder(int minCodeSize)
        : m_minCodeSize(minCodeSize), m_clear(1 << minCodeSize), m_eoi(m_clear + 1) {
        reset();
    }

    QByteArray encode(const uchar* pixels, qsizetype count) {
        emit(m_clear);
        if (count == 0) {
            emit(m_eoi);
            return finish();
        }
        int prefix = pixels[0];
        for (qsizetype i = 1; i < count; ++i) {
            const int k = pixels[i];
            const int key = (prefix << 8) | k;
            const auto found = m_table.find(key);
            if (found != m_table.end()) {
                prefix = found->second;
                continue;
            }
            emit(prefix);
            if (m_next >= kMaxCode) {
                emit(m_clear);
                reset();
            } else {
                m_table.emplace(key, m_next++);
            }
            prefix = k;
        }
        emit(prefix);
        emit(m_eoi);
        return finish();
    }

private:
    static constexpr int kMaxCode = 4095;

    void reset() {
        m_table.clear();
        m_next = m_eoi + 1;
        m_codeSize = m_minCodeSize + 1;
    }

    void emit(int code) {
        m_bitBuffer |= static_cast<quint32>(code) << m_bitCount;
        m_bitCount += m_codeSize;
        while (m_bitCount >= 8) {
            m_out.append(static_cast<char>(m_bitBuffer & 0xFF));
            m_bitBuffer >>= 8;
            m_bitCount -= 8;
        }
        // The decoder widens its codes once the table reaches the current code range.
        if (m_next >= (1 << m_codeSize) && m_codeSize < 12) {
            ++m_codeSize;
        }
    }

    QByteArray finish() {
        if (m_bitCount > 0) {
            m_out.append(static_cast<char>(m_bitBuffer & 0xFF));
        }
        return m_out;
    }

    int m_minCodeSize;
    int m_clear;
    int m_eoi;
    int m_next = 0;
    int m_codeSize = 0;
    quint32 m_bitBuffer = 0;
    int m_bitCount = 0;
    QByteArray m_out;
    std::unordered_map<int, int> m_table;
};

struct IndexedFrame {
    QImage image;  // Format_Indexed8
    int bits = 1;
};

IndexedFrame indexedFrame(const QImage& source) {
    IndexedFrame f;
    f.image = toIndexed(source);
    f.bits = bitsForColours(std::max<int>(2, f.image.colorCount()));
    return f;
}

void colourTable(Bytes& out, const IndexedFrame& f) {
    const QList<QRgb> table = f.image.colorTable();
    for (int i = 0; i < (1 << f.bits); ++i) {
        const QRgb c = table.value(i, 0);
        out.u8(qRed(c)).u8(qGreen(c)).u8(qBlue(c));
    }
}

void imageBlock(Bytes& out, const IndexedFrame& f) {
    // A local colour table follows.
    out.u8(0x2C).le16(0).le16(0).le16(f.image.width()).le16(f.image.height());
    out.u8(0x80 | (f.bits - 1));
    colourTable(out, f);
    const int minCodeSize = std::max(2, f.bits);
    QByteArray pixels;
    pixels.reserve(qsizetype(f.image.width()) * f.image.height());
    for (int y = 0; y < f.image.height(); ++y) {
        pixels.append(reinterpret_cast<const char*>(f.image.constScanLine(y)), f.image.width());
    }
    const QByteArray lzw =
        LzwEncoder(minCodeSize)
            .encode(reinterpret_cast<const uchar*>(pixels.constData()), pixels.size());
    out.u8(minCodeSize);
    for (qsizetype at = 0; at < lzw.size(); at += 255) {
        const QByteArray block = lzw.mid(at, 255);
        out.u8(static_cast<int>(block.size())).raw(block);
    }
    out.u8(0);
}

QByteArray gifBytes(const QList<GifFrame>& frames, GifVersion version, bool animated) {
    Bytes out;
    const IndexedFrame first = indexedFrame(frames.first().image);
    // No background colour index, no aspect ratio.
    out.raw(version == GifVersion::V87a ? "GIF87a" : "GIF89a").le16(first.image.width());
    out.le16(first.image.height()).u8(0x80 | ((first.bits - 1) << 4) | (first.bits - 1)).le16(0);
    colourTable(out, first);
    if (animated) {
        // Loop for ever.
        out.raw(QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16)).le16(0).u8(0);
    }
    for (const GifFrame& frame : frames) {
        if (version == GifVersion::V89a) {
            // Disposal: leave in place.
            out.u8(0x21).u8(0xF9).u8(4).u8(1 << 2).le16(frame.delayCs).le16(0);
        }
        imageBlock(out, &frame == &frames.first() ? first : indexedFrame(frame.image));
    }
    out.u8(0x3B);
    return out.data();
}

bool runGm(const QImage& image, const QString& coder, const QString& path) {
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("source.png"));
    if (!dir.isValid() || !image.convertToFormat(QImage::Format_RGB32).save(png, "PNG")) {
        return false;
    }
    QProcess gm;
    gm.start(QStringLiteral("gm"), {QStringLiteral("convert"), png, coder + ':' + path});
    return gm.waitForFinished(30000) && gm.exitStatus() == QProcess::NormalExit &&
           gm.exitCode() == 0 && QFileInfo(path).size() > 0;
}

QByteArray tiffBytes(const QImage& image) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    if (!writer.write(image)) {
        return QByteArray();
    }
    return buffer.data();
}

}  // namespace

QImage quadrantImage(QSize size, const QuadrantColours& colours) {
    QImage image(size, QImage::Format_RGB32);
    const int halfW = size.width() / 2;
    const int halfH = size.height() / 2;
    QPainter p(&image);
    p.fillRect(0, 0, halfW, halfH, colours[0]);
    p.fillRect(halfW, 0, size.width() - halfW, halfH, colours[1]);
    p.fillRect(0, halfH, halfW, size.height() - halfH, colours[2]);
    p.fillRect(halfW, halfH, size.width() - halfW, size.height() - halfH, colours[3]);
    return image;
}

QImage noisyImage(QSize size, quint32 seed) {
    QImage img(size, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int n = random.bounded(40);
            line[x] = qRgb((x / 8 + n) % 256, (y / 8 + n) % 256, (x + y + n) % 256);
        }
    }
    return img;
}

std::array<QPoint, 4> quadrantCentres(QSize size) {
    const int w = size.width();
    const int h = size.height();
    return {QPoint(w / 4, h / 4), QPoint(3 * w / 4, h / 4), QPoint(w / 4, 3 * h / 4),
            QPoint(3 * w / 4, 3 * h / 4)};
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

bool writeWithQt(const QString& path, const QImage& image, const char* format, int quality) {
    QImageWriter writer(path, format);
    if (quality >= 0) {
        writer.setQuality(quality);
    }
    return writer.write(image);
}

bool writeBmp(const QString& path, const QImage& image) {
    return writeWithQt(path, image.convertToFormat(QImage::Format_RGB32), "bmp");
}

bool writeRle8Bmp(const QString& path, const QImage& image) {
    const QImage indexed = toIndexed(image);
    Bytes pixels;
    // Rows bottom-up, each a list of (count, index) runs ended by an end-of-line mark.
    for (int y = indexed.height() - 1; y >= 0; --y) {
        const uchar* row = indexed.constScanLine(y);
        int x = 0;
        while (x < indexed.width()) {
            int run = 1;
            while (x + run < indexed.width() && run < 255 && row[x + run] == row[x]) {
                ++run;
            }
            pixels.u8(run).u8(row[x]);
            x += run;
        }
        pixels.u8(0).u8(y == 0 ? 1 : 0);  // end of line, or end of bitmap after the last row
    }
    // BI_RLE8.
    const BmpLayout rle{40, indexed.width(),      indexed.height(), 8, 1,
                        {}, indexed.colorTable(), pixels.data()};
    return writeBytes(path, bmpBytes(rle));
}

bool writeJpeg(const QString& path, const QImage& image, int quality) {
    return writeWithQt(path, image.convertToFormat(QImage::Format_RGB32), "jpeg", quality);
}

QByteArray jpegBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "jpeg").write(image);
    return bytes;
}

bool writePng(const QString& path, const QImage& image) {
    return writeWithQt(path, image, "png");
}

bool writeTiff(const QString& path, const QImage& image) {
    return writeWithQt(path, image, "tiff");
}

bool writeGif(const QString& path, const QImage& image, GifVersion version) {
    return writeBytes(path, gifBytes({GifFrame{image, 0}}, version, false));
}

bool writeAnimatedGif(const QString& path, const QList<GifFrame>& frames) {
    if (frames.isEmpty()) {
        return false;
    }
    return writeBytes(path, gifBytes(frames, GifVersion::V89a, true));
}

bool writeTga(const QString& path, const QImage& image, TgaCompression compression,
              TgaOrigin origin, bool withAlpha) {
    const QImage src = image.convertToFormat(QImage::Format_ARGB32);
    Bytes out;
    auto pixel = [&](QRgb c) { out.bgr(c, withAlpha ? qAlpha(c) : -1); };
    for (int i = 0; i < src.height(); ++i) {
        const int y = origin == TgaOrigin::TopLeft ? i : src.height() - 1 - i;
        const auto* row = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        if (compression == TgaCompression::None) {
            std::for_each(row, row + src.width(), pixel);
            continue;
        }
        // Packets never cross rows: runs of equal pixels, and raw packets between them.
        int x = 0;
        while (x < src.width()) {
            int run = 1;
            while (x + run < src.width() && run < 128 && row[x + run] == row[x]) {
                ++run;
            }
            if (run > 1) {
                out.u8(0x80 | (run - 1));
                pixel(row[x]);
                x += run;
                continue;
            }
            int raw = 1;
            while (x + raw < src.width() && raw < 128 &&
                   (x + raw + 1 >= src.width() || row[x + raw] != row[x + raw + 1])) {
                ++raw;
            }
            out.u8(raw - 1);
            std::for_each(row + x, row + x + raw, pixel);
            x += raw;
        }
    }
    TgaLayout tga;
    tga.imageType = compression == TgaCompression::Rle ? 10 : 2;  // true colour
    tga.width = src.width();
    tga.height = src.height();
    tga.depth = withAlpha ? 32 : 24;
    tga.descriptor = (withAlpha ? 8 : 0) | (origin == TgaOrigin::TopLeft ? 0x20 : 0);
    tga.pixels = out.data();
    return writeBytes(path, tgaBytes(tga));
}

bool writePcx(const QString& path, const QImage& image) {
    return runGm(image, QStringLiteral("PCX"), path);
}

bool writePict(const QString& path, const QImage& image) {
    return runGm(image, QStringLiteral("PICT"), path);
}

QByteArray iconFileBytes(const QList<QImage>& images, int resourceType, QPoint hotSpot = {}) {
    Bytes out;
    out.le16(0).le16(resourceType).le16(static_cast<int>(images.size()));
    QList<QByteArray> bodies;
    for (const QImage& image : images) {
        const QImage src = image.convertToFormat(QImage::Format_ARGB32);
        // Colour rows plus mask rows.
        Bytes body;
        body.le32(40).le32(quint32(src.width())).le32(quint32(src.height() * 2)).le16(1).le16(32);
        body.zeros(24);
        for (int y = src.height() - 1; y >= 0; --y) {
            const auto* row = reinterpret_cast<const QRgb*>(src.constScanLine(y));
            for (int x = 0; x < src.width(); ++x) {
                body.bgr(row[x], qAlpha(row[x]));
            }
        }
        // The AND mask: all zero, the alpha channel says what is transparent.
        const int maskStride = ((src.width() + 31) / 32) * 4;
        bodies << body.zeros(qsizetype(maskStride) * src.height()).data();
    }
    quint32 offset = 6 + 16 * static_cast<quint32>(images.size());
    for (qsizetype i = 0; i < images.size(); ++i) {
        out.u8(images[i].width() >= 256 ? 0 : images[i].width());
        out.u8(images[i].height() >= 256 ? 0 : images[i].height()).u8(0).u8(0);
        out.le16(resourceType == 2 ? hotSpot.x() : 1).le16(resourceType == 2 ? hotSpot.y() : 32);
        out.le32(static_cast<quint32>(bodies[i].size())).le32(offset);
        offset += static_cast<quint32>(bodies[i].size());
    }
    for (const QByteArray& b : bodies) {
        out.raw(b);
    }
    return out.data();
}

bool writeIco(const QString& path, const QList<QImage>& images) {
    return writeBytes(path, iconFileBytes(images, 1));
}

bool writeCur(const QString& path, const QImage& image, QPoint hotSpot) {
    return writeBytes(path, iconFileBytes({image}, 2, hotSpot));
}

QByteArray dosEpsBytes(const QByteArray& postscript, const QByteArray& wmf,
                       const QByteArray& tiff) {
    Bytes out;
    out.raw(QByteArray("\xC5\xD0\xD3\xC6", 4));
    quint32 offset = 30;
    for (const QByteArray* section : {&postscript, &wmf, &tiff}) {
        out.le32(section->isEmpty() ? 0 : offset).le32(static_cast<quint32>(section->size()));
        offset += static_cast<quint32>(section->size());
    }
    // No checksum.
    return out.le16(0xFFFF).raw(postscript).raw(wmf).raw(tiff).data();
}

QByteArray quadrantPostScript(QSize points, const QuadrantColours& colours) {
    const int w = points.width();
    const int h = points.height();
    QByteArray ps = "%!PS-Adobe-3.0 EPSF-3.0\n";
    ps += QStringLiteral("%%BoundingBox: 0 0 %1 %2\n").arg(w).arg(h).toLatin1();
    ps += "%%Title: quadrants\n%%EndComments\n";
    // PostScript's y axis points up, so the top quadrants have the upper boxes.
    const QRect boxes[4] = {QRect(0, h / 2, w / 2, h - h / 2),
                            QRect(w / 2, h / 2, w - w / 2, h - h / 2), QRect(0, 0, w / 2, h / 2),
                            QRect(w / 2, 0, w - w / 2, h / 2)};
    for (int i = 0; i < 4; ++i) {
        ps += QStringLiteral("%1 %2 %3 setrgbcolor %4 %5 %6 %7 rectfill\n")
                  .arg(colours[i].redF(), 0, 'f', 4)
                  .arg(colours[i].greenF(), 0, 'f', 4)
                  .arg(colours[i].blueF(), 0, 'f', 4)
                  .arg(boxes[i].x())
                  .arg(boxes[i].y())
                  .arg(boxes[i].width())
                  .arg(boxes[i].height())
                  .toLatin1();
    }
    ps += "showpage\n%%EOF\n";
    return ps;
}

QByteArray imagePostScript(const QImage& image) {
    const QImage src = image.convertToFormat(QImage::Format_RGB32);
    const int w = src.width();
    const int h = src.height();
    QByteArray ps = "%!PS-Adobe-3.0 EPSF-3.0\n";
    ps += QStringLiteral("%%BoundingBox: 0 0 %1 %2\n").arg(w).arg(h).toLatin1();
    ps += "%%EndComments\n";
    ps += QStringLiteral("/picstr %1 string def\ngsave\n%2 %3 scale\n")
              .arg(w * 3)
              .arg(w)
              .arg(h)
              .toLatin1();
    ps += QStringLiteral(
              "%1 %2 8 [%1 0 0 -%2 0 %2] {currentfile picstr readhexstring pop} false 3 "
              "colorimage\n")
              .arg(w)
              .arg(h)
              .toLatin1();
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        QByteArray rgb;
        rgb.reserve(w * 3);
        for (int x = 0; x < w; ++x) {
            rgb.append(static_cast<char>(qRed(row[x])));
            rgb.append(static_cast<char>(qGreen(row[x])));
            rgb.append(static_cast<char>(qBlue(row[x])));
        }
        ps += rgb.toHex();
        ps += '\n';
    }
    ps += "grestore\nshowpage\n%%EOF\n";
    return ps;
}

bool writeEpsWithTiffPreview(const QString& path, const QImage& preview) {
    const QByteArray tiff = tiffBytes(preview);
    return !tiff.isEmpty() && writeBytes(path, dosEpsBytes(imagePostScript(preview), {}, tiff));
}

bool writePlainEps(const QString& path, QSize points, const QuadrantColours& colours) {
    return writeBytes(path, quadrantPostScript(points, colours));
}

bool writeImageFile(const QString& path, const QImage& image) {
    using Writer = bool (*)(const QString&, const QImage&);
    static const std::pair<const char*, Writer> kWriters[] = {
        {"bmp", writeBmp},
        {"dib", writeBmp},
        {"rle", writeRle8Bmp},
        {"png", writePng},
        {"tif", writeTiff},
        {"tiff", writeTiff},
        {"pcx", writePcx},
        {"pct", writePict},
        {"eps", writeEpsWithTiffPreview},
        {"jpg", [](const QString& p, const QImage& i) { return writeJpeg(p, i); }},
        {"jpe", [](const QString& p, const QImage& i) { return writeJpeg(p, i); }},
        {"jpeg", [](const QString& p, const QImage& i) { return writeJpeg(p, i); }},
        {"gif", [](const QString& p, const QImage& i) { return writeGif(p, i); }},
        {"tga", [](const QString& p, const QImage& i) { return writeTga(p, i); }},
        {"ico", [](const QString& p, const QImage& i) { return writeIco(p, {i}); }},
        {"cur",
         [](const QString& p, const QImage& i) {
             return writeCur(p, i, {0, 0});
         }},
    };
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const auto& [name, write] : kWriters) {
        if (suffix == QLatin1String(name)) {
            return write(path, image);
        }
    }
    return false;
}

bool writeEmptyFile(const QString& path) {
    return writeBytes(path, QByteArray());
}

bool writeTruncatedCopy(const QString& source, const QString& target, qint64 keepBytes) {
    QFile f(source);
    if (!f.open(QIODevice::ReadOnly)) {
        return false;
    }
    return writeBytes(target, f.read(keepBytes));
}

bool writeRandomBytes(const QString& path, qint64 size, quint32 seed) {
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random.bounded(256));
    }
    return writeBytes(path, bytes);
}

namespace {

bool exiftool(const QStringList& arguments) {
    QProcess p;
    p.start(QStringLiteral("exiftool"),
            QStringList{QStringLiteral("-q"), QStringLiteral("-overwrite_original")} + arguments);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace

bool setExifOrientation(const QString& path, int orientation) {
    return exiftool(
        {QStringLiteral("-n"), QStringLiteral("-Orientation=%1").arg(orientation), path});
}

bool embedIccProfile(const QString& path, const QByteArray& profile) {
    QTemporaryDir dir;
    const QString icc = dir.filePath(QStringLiteral("profile.icc"));
    return writeBytes(icc, profile) && exiftool({QStringLiteral("-icc_profile<=") + icc, path});
}

}  // namespace gvtest
