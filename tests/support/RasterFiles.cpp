#include "support/RasterFiles.h"

#include <png.h>
#include <tiffio.h>

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QtEndian>
#include <cmath>
#include <cstring>
#include <vector>

#include "support/Bytes.h"

namespace gvtest {
namespace {

QByteArray packRow(const QList<quint32>& values, int bits) {
    Bytes row;
    if (bits < 8) {
        QByteArray packed((values.size() * bits + 7) / 8, '\0');
        for (int x = 0; x < values.size(); ++x) {
            const int bit = x * bits;
            packed[bit / 8] = char(packed[bit / 8] | (values[x] << (8 - bits - bit % 8)));
        }
        row.raw(packed);
    } else {
        for (quint32 v : values) {
            for (int b = 0; b < bits; b += 8) {
                row.u8(int(v >> b));
            }
        }
    }
    const qsizetype padded = (row.size() + 3) / 4 * 4;
    return row.zeros(padded - row.size()).data();
}

}  // namespace

QByteArray bmpRows(const QList<QList<quint32>>& rows, int bits, bool topDown) {
    QByteArray out;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        out += packRow(rows[topDown ? i : rows.size() - 1 - i], bits);
    }
    return out;
}

QByteArray bmpBytes(const BmpLayout& l) {
    Bytes header;
    if (l.headerSize == 12) {
        header.le32(12).le16(l.width).le16(l.height).le16(1).le16(l.bitCount);
    } else {
        // The fields a Windows header has, cut or padded to the size asked for.
        Bytes full;
        full.le32(quint32(l.headerSize)).le32(quint32(l.width)).le32(quint32(l.height));
        full.le16(1).le16(l.bitCount).le32(l.compression).le32(quint32(l.pixels.size()));
        full.le32(2835).le32(2835).le32(quint32(l.palette.size())).le32(0);
        QByteArray fields = full.data().leftJustified(l.headerSize, '\0', true);
        for (qsizetype i = 0; i < l.masks.size() && 40 + 4 * i + 4 <= fields.size(); ++i) {
            qToLittleEndian<quint32>(l.masks[i], fields.data() + 40 + 4 * i);
        }
        header.raw(fields);
        if (l.headerSize == 40) {
            for (quint32 m : l.masks) {
                header.le32(m);
            }
        }
    }
    for (QRgb c : l.palette) {
        header.bgr(c, l.headerSize != 12 ? 0 : -1);
    }
    Bytes file;
    const quint32 offset = quint32(14 + header.size());
    file.u8('B').u8('M').le32(quint32(offset + l.pixels.size())).le32(0).le32(offset);
    return file.raw(header.data()).raw(l.pixels).data();
}

QByteArray iconBitmap(const QList<QList<quint32>>& rows, int bits, const QList<QRgb>& palette,
                      const QList<QList<bool>>& mask) {
    BmpLayout l;
    l.width = int(rows.first().size());
    l.height = int(rows.size()) * 2;
    l.bitCount = bits;
    l.palette = palette;
    QList<QList<quint32>> maskRows;
    for (const QList<bool>& m : mask) {
        QList<quint32> bitsRow;
        for (bool b : m) {
            bitsRow << (b ? 1u : 0u);
        }
        maskRows << bitsRow;
    }
    l.pixels = bmpRows(rows, bits) + bmpRows(maskRows, 1);
    return bmpBytes(l).mid(14);
}

QByteArray icoBytes(const QList<IconImage>& images) {
    Bytes out;
    out.le16(0).le16(1).le16(int(images.size()));
    quint32 offset = quint32(6 + 16 * images.size());
    for (const IconImage& i : images) {
        out.u8(i.directoryWidth).u8(i.directoryHeight).u8(0).u8(0).le16(1).le16(32);
        out.le32(quint32(i.data.size())).le32(offset);
        offset += quint32(i.data.size());
    }
    for (const IconImage& i : images) {
        out.raw(i.data);
    }
    return out.data();
}

QByteArray tgaBytes(const TgaLayout& l) {
    Bytes out;
    out.u8(int(l.id.size())).u8(l.mapType).u8(l.imageType).le16(l.mapFirst).le16(l.mapLength);
    out.u8(l.mapEntryBits).le16(0).le16(0).le16(l.width).le16(l.height).u8(l.depth);
    out.u8(l.descriptor).raw(l.id).raw(l.map).raw(l.pixels);
    quint32 extension = 0;
    if (l.attributesType >= 0) {
        extension = quint32(out.size());
        QByteArray area(495, '\0');
        area[0] = char(495 & 0xFF);
        area[1] = char(495 >> 8);
        area[494] = char(l.attributesType);
        out.raw(area);
    }
    out.le32(extension).le32(0).raw(QByteArray("TRUEVISION-XFILE.\0", 18));
    return out.data();
}

QByteArray pcxBytes(const PcxLayout& l) {
    const int lineBytes = int(l.lines.first().size() / l.planes);
    Bytes out;
    out.u8(0x0A).u8(l.version).u8(1).u8(l.bits).le16(0).le16(0).le16(l.width - 1);
    out.le16(l.height - 1).le16(72).le16(72).raw(l.headerPalette.leftJustified(48, '\0', true));
    out.u8(0).u8(l.planes).le16(lineBytes).le16(1).zeros(58);
    for (const QByteArray& line : l.lines) {
        // Runs of up to 63 equal bytes; single bytes below 0xC0 stand for themselves.
        for (qsizetype i = 0; i < line.size();) {
            qsizetype run = 1;
            while (i + run < line.size() && run < 63 && line[i + run] == line[i]) {
                ++run;
            }
            const int v = static_cast<uchar>(line[i]);
            if (run > 1 || v >= 0xC0) {
                out.u8(0xC0 | int(run));
            }
            out.u8(v);
            i += run;
        }
    }
    if (!l.vgaPalette.isEmpty()) {
        out.u8(0x0C).raw(l.vgaPalette);
    }
    return out.data();
}

QByteArray packBits(const QByteArray& row, int unit) {
    Bytes out;
    const qsizetype units = row.size() / unit;
    auto at = [&](qsizetype i) { return row.mid(i * unit, unit); };
    qsizetype i = 0;
    while (i < units) {
        qsizetype run = 1;
        while (i + run < units && run < 128 && at(i + run) == at(i)) {
            ++run;
        }
        if (run > 1) {
            out.u8(257 - int(run)).raw(at(i));
            i += run;
            continue;
        }
        qsizetype literal = 1;
        while (i + literal < units && literal < 128 &&
               (i + literal + 1 >= units || at(i + literal) != at(i + literal + 1))) {
            ++literal;
        }
        out.u8(int(literal) - 1).raw(row.mid(i * unit, literal * unit));
        i += literal;
    }
    return out.data();
}

namespace {

void pictRect(Bytes& out, QSize size) {
    out.be16(0).be16(0).be16(size.height()).be16(size.width());
}

// Rows of a pixel map after its header: a byte count (two bytes past 250) and the packed row.
void pictRows(Bytes& out, const QList<QByteArray>& rows, int rowBytes, int unit) {
    for (const QByteArray& row : rows) {
        const QByteArray packed = packBits(row, unit);
        if (rowBytes > 250) {
            out.be16(int(packed.size()));
        } else {
            out.u8(int(packed.size()));
        }
        out.raw(packed);
    }
}

void pixMapHeader(Bytes& out, QSize size, int rowBytes, int packType, int pixelType, int pixelSize,
                  int components, int componentSize) {
    out.be16(0x8000 | rowBytes);
    pictRect(out, size);
    out.be16(0).be16(packType).be32(0).be32(72 << 16).be32(72 << 16);
    out.be16(pixelType).be16(pixelSize).be16(components).be16(componentSize);
    out.be32(0).be32(0).be32(0);
}

}  // namespace

QByteArray pictBytes(QSize frame, const QList<QByteArray>& opcodes) {
    Bytes out;
    out.zeros(512).be16(0);
    pictRect(out, frame);
    out.be16(0x0011).be16(0x02FF).be16(0x0C00).be16(0xFFFE).be16(0);
    out.be32(72 << 16).be32(72 << 16);
    pictRect(out, frame);
    out.be32(0);
    for (const QByteArray& op : opcodes) {
        out.raw(op);
        if (out.size() % 2 != 0) {
            out.u8(0);
        }
    }
    return out.be16(0x00FF).data();
}

QByteArray pictPackBitsRect(const QImage& indexed8) {
    const int w = indexed8.width();
    const int rowBytes = (w + 1) / 2 * 2;
    Bytes out;
    out.be16(0x0098);
    pixMapHeader(out, indexed8.size(), std::max(rowBytes, 8), 0, 0, 8, 1, 8);
    const QList<QRgb> table = indexed8.colorTable();
    out.be32(0).be16(0).be16(int(table.size()) - 1);
    for (qsizetype i = 0; i < table.size(); ++i) {
        out.be16(int(i)).be16(qRed(table[i]) * 257).be16(qGreen(table[i]) * 257);
        out.be16(qBlue(table[i]) * 257);
    }
    pictRect(out, indexed8.size());
    pictRect(out, indexed8.size());
    out.be16(0);
    QList<QByteArray> rows;
    for (int y = 0; y < indexed8.height(); ++y) {
        rows << QByteArray(reinterpret_cast<const char*>(indexed8.constScanLine(y)), w)
                    .leftJustified(std::max(rowBytes, 8), '\0');
    }
    pictRows(out, rows, std::max(rowBytes, 8), 1);
    return out.data();
}

QByteArray pictDirectBitsRect(const QImage& source, int pixelSize, int components) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const int w = image.width();
    const int rowBytes = w * pixelSize / 8;
    Bytes out;
    out.be16(0x009A).be32(0xFF);
    pixMapHeader(out, image.size(), rowBytes, pixelSize == 16 ? 3 : 4, 16, pixelSize, components,
                 pixelSize == 16 ? 5 : 8);
    pictRect(out, image.size());
    pictRect(out, image.size());
    out.be16(0);
    QList<QByteArray> rows;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        Bytes row;
        if (pixelSize == 16) {
            for (int x = 0; x < w; ++x) {
                row.be16((qRed(line[x]) >> 3) << 10 | (qGreen(line[x]) >> 3) << 5 |
                         qBlue(line[x]) >> 3);
            }
        } else {
            // Component planes: alpha (here all set), red, green, blue.
            if (components == 4) {
                row.raw(QByteArray(w, '\xFF'));
            }
            for (int shift : {16, 8, 0}) {
                for (int x = 0; x < w; ++x) {
                    row.u8(int(line[x] >> shift));
                }
            }
        }
        rows << row.data();
    }
    pictRows(out, rows, rowBytes, pixelSize == 16 ? 2 : 1);
    return out.data();
}

QByteArray pictQuickTimeJpeg(const QImage& image) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(95);
    writer.write(image.convertToFormat(QImage::Format_RGB32));
    const QByteArray jpeg = buffer.data();
    Bytes body;
    body.be16(0);
    for (int i = 0; i < 9; ++i) {  // the identity matrix in 16.16 and 2.30 fixed point
        body.be32(i == 0 || i == 4 ? 0x10000 : i == 8 ? 0x40000000 : 0);
    }
    body.be32(0).zeros(8).be16(0);
    pictRect(body, image.size());
    body.be32(0).be32(0);
    // The image description: 86 bytes, codec 'jpeg'.
    body.be32(86).raw("jpeg").zeros(6).be16(0).be16(0).be16(0).raw("appl").be32(0).be32(512);
    body.be16(image.width()).be16(image.height()).be32(72 << 16).be32(72 << 16);
    body.be32(quint32(jpeg.size())).be16(1).zeros(32).be16(24).be16(0xFFFF);
    body.raw(jpeg);
    Bytes out;
    out.be16(0x8200).be32(quint32(body.size())).raw(body.data());
    return out.data();
}

bool writePngSamples(const QString& path, const PngLayout& l,
                     const std::function<QList<quint16>(int x, int y)>& samples) {
    FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f) {
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, l.width, l.height, l.bitDepth, l.colourType,
                 l.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (QRgb c : l.palette) {
        palette.push_back({png_byte(qRed(c)), png_byte(qGreen(c)), png_byte(qBlue(c))});
    }
    if (!palette.empty()) {
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    }
    if (!l.transparent.isEmpty()) {
        png_color_16 colour{};
        std::vector<png_byte> alphas;
        if (l.colourType == PNG_COLOR_TYPE_PALETTE) {
            for (quint16 a : l.transparent) {
                alphas.push_back(png_byte(a));
            }
        } else if (l.colourType == PNG_COLOR_TYPE_GRAY) {
            colour.gray = l.transparent[0];
        } else {
            colour.red = l.transparent[0];
            colour.green = l.transparent[1];
            colour.blue = l.transparent[2];
        }
        png_set_tRNS(png, info, alphas.empty() ? nullptr : alphas.data(), int(alphas.size()),
                     &colour);
    }
    png_write_info(png, info);
    if (l.bitDepth < 8) {
        png_set_packing(png);  // one sample a byte here, packed by libpng
    }
    const int channels = l.colourType == PNG_COLOR_TYPE_RGB ? 3 : 1;
    std::vector<std::vector<png_byte>> rows(size_t(l.height));
    std::vector<png_bytep> pointers;
    for (int y = 0; y < l.height; ++y) {
        Bytes row;
        for (int x = 0; x < l.width; ++x) {
            const QList<quint16> v = samples(x, y);
            for (int c = 0; c < channels; ++c) {
                if (l.bitDepth == 16) {
                    row.be16(v[c]);
                } else {
                    row.u8(v[c]);
                }
            }
        }
        rows[size_t(y)].assign(row.data().begin(), row.data().end());
        pointers.push_back(rows[size_t(y)].data());
    }
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

QImage referencePngDecode(const QString& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, QFile::encodeName(path).constData())) {
        return QImage();
    }
    image.format = PNG_FORMAT_BGRA;
    QImage out(int(image.width), int(image.height), QImage::Format_ARGB32);
    if (!png_image_finish_read(&image, nullptr, out.bits(), int(out.bytesPerLine()), nullptr)) {
        return QImage();
    }
    return out;
}

namespace {

// IEEE half precision of a value in the normal range (or zero).
quint16 halfOf(float f) {
    if (f == 0) {
        return 0;
    }
    int exponent = 0;
    const float mantissa = std::frexp(std::fabs(f), &exponent);  // 0.5 <= mantissa < 1
    const int bits = int(std::lround((mantissa * 2 - 1) * 1024));
    return quint16((f < 0 ? 0x8000 : 0) | (((exponent - 1 + 15) << 10) + bits));
}

}  // namespace

bool writeTiffSamples(const QString& path, const TiffLayout& l,
                      const std::function<double(int x, int y, int s)>& sample) {
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif) {
        return false;
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, l.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, l.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, l.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, l.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, l.photometric);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, l.sampleFormat);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, l.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, l.compression);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, l.orientation);
    if (l.predictor != 1) {
        TIFFSetField(tif, TIFFTAG_PREDICTOR, l.predictor);
    }
    if (!l.extraSamples.isEmpty()) {
        std::vector<quint16> extra(l.extraSamples.begin(), l.extraSamples.end());
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, quint16(extra.size()), extra.data());
    }
    if (!l.colourMap.isEmpty()) {
        std::vector<quint16> map(l.colourMap.begin(), l.colourMap.end());
        const size_t n = map.size() / 3;
        TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
    }
    if (l.jpegYCbCr > 0) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, l.jpegYCbCr);
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    const int chunkW = l.tile > 0 ? l.tile : l.width;
    const int chunkH = l.tile > 0 ? l.tile : l.rowsPerStrip;
    if (l.tile > 0) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, l.tile);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, l.tile);
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, l.rowsPerStrip);
    }
    const int planes = l.planar ? l.samples : 1;
    const int perPixel = l.planar ? 1 : l.samples;
    const qsizetype rowBytes = (qsizetype(chunkW) * perPixel * l.bits + 7) / 8;
    bool ok = true;
    for (int p = 0; p < planes && ok; ++p) {
        for (int y0 = 0; y0 < l.height && ok; y0 += chunkH) {
            for (int x0 = 0; x0 < l.width && ok; x0 += chunkW) {
                std::vector<uchar> chunk(size_t(rowBytes * chunkH), 0);
                for (int r = 0; r < chunkH && y0 + r < l.height; ++r) {
                    uchar* row = chunk.data() + r * rowBytes;
                    for (int c = 0; c < chunkW && x0 + c < l.width; ++c) {
                        for (int k = 0; k < perPixel; ++k) {
                            const double v = sample(x0 + c, y0 + r, l.planar ? p : k);
                            const qint64 index = qint64(c) * perPixel + k;
                            if (l.sampleFormat == 3 && l.bits == 16) {
                                const quint16 half = halfOf(float(v));
                                std::memcpy(row + 2 * index, &half, 2);
                            } else if (l.sampleFormat == 3 && l.bits == 32) {
                                const float f = float(v);
                                std::memcpy(row + 4 * index, &f, 4);
                            } else if (l.sampleFormat == 3) {
                                std::memcpy(row + 8 * index, &v, 8);
                            } else if (l.bits % 8 == 0) {
                                // Whole bytes in the machine's order, as libtiff takes them.
                                const quint64 u = quint64(qint64(v));
                                std::memcpy(row + index * l.bits / 8, &u, size_t(l.bits / 8));
                            } else {
                                const quint64 u = quint64(qint64(v));
                                for (int b = 0; b < l.bits; ++b) {
                                    const qint64 bit = index * l.bits + b;
                                    if ((u >> (l.bits - 1 - b)) & 1) {
                                        row[bit / 8] |= uchar(0x80 >> (bit % 8));
                                    }
                                }
                            }
                        }
                    }
                }
                ok = l.tile > 0
                         ? TIFFWriteTile(tif, chunk.data(), quint32(x0), quint32(y0), 0,
                                         quint16(p)) >= 0
                         : TIFFWriteEncodedStrip(
                               tif, TIFFComputeStrip(tif, quint32(y0), quint16(p)), chunk.data(),
                               tmsize_t(rowBytes) * std::min(chunkH, l.height - y0)) >= 0;
            }
        }
    }
    TIFFClose(tif);
    return ok;
}

QImage referenceTiffDecode(const QString& path) {
    // What libtiff has to say about the files it refuses is the tests' business, not stderr's.
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif) {
        return QImage();
    }
    quint32 w = 0;
    quint32 h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    char message[1024];
    QImage out;
    if (TIFFRGBAImageOK(tif, message)) {
        out = QImage(int(w), int(h), QImage::Format_RGBA8888_Premultiplied);
        if (!TIFFReadRGBAImageOriented(tif, w, h, reinterpret_cast<quint32*>(out.bits()),
                                       ORIENTATION_TOPLEFT, 1)) {
            out = QImage();
        }
    }
    TIFFClose(tif);
    return out;
}

}  // namespace gvtest
