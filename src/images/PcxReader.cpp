#include "images/PcxReader.h"

#include <algorithm>
#include <vector>

namespace gv {
namespace {

constexpr qsizetype kHeaderSize = 128;
constexpr qsizetype kVgaPaletteSize = 769;  // the 0x0C marker and 256 RGB triples
constexpr int kNoPaletteVersion = 3;

// The colours of the EGA's default palette, used by files that say they carry none.
constexpr QRgb kEgaPalette[16] = {
    0xFF000000, 0xFF0000AA, 0xFF00AA00, 0xFF00AAAA, 0xFFAA0000, 0xFFAA00AA, 0xFFAA5500, 0xFFAAAAAA,
    0xFF555555, 0xFF5555FF, 0xFF55FF55, 0xFF55FFFF, 0xFFFF5555, 0xFFFF55FF, 0xFFFFFF55, 0xFFFFFFFF};

}  // namespace

RasterRead readPcx(QByteArrayView file, qint64 budget) {
    const auto* bytes = reinterpret_cast<const uchar*>(file.data());
    const qsizetype size = file.size();
    if (size < kHeaderSize || bytes[0] != 0x0A || bytes[2] > 1) {
        return rasterInvalid("not a PCX file");
    }
    const int version = bytes[1];
    const bool compressed = bytes[2] == 1;
    const int bits = bytes[3];
    const qint64 width = qint64(le16(bytes + 8)) - le16(bytes + 4) + 1;
    const qint64 height = qint64(le16(bytes + 10)) - le16(bytes + 6) + 1;
    const int planes = bytes[65];
    const qint64 lineBytes = le16(bytes + 66);
    const bool indexed = (planes == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8)) ||
                         (bits == 1 && planes <= 4);
    const bool direct = bits == 8 && (planes == 3 || planes == 4);
    if (!indexed && !direct) {
        return rasterInvalid("unsupported PCX colour layout");
    }
    if (width <= 0 || height <= 0 || lineBytes * 8 < width * bits) {
        return rasterInvalid("PCX image without a valid size");
    }
    if (rasterExceedsBudget(width, height, budget)) {
        return rasterTooLarge();
    }
    // Palette: 256 colours after the pixels for 8-bit images, else the header's 16. A
    // monochrome image takes its two colours from the header too (CGA-mode files give white
    // on black there, or black on white); one whose header has no two colours is black (0)
    // and white (1).
    std::vector<QRgb> palette(256, 0xFF000000);
    const int colours = indexed ? 1 << (bits * planes) : 0;
    if (bits == 8 && planes == 1) {
        const uchar* vga = bytes + size - kVgaPaletteSize;
        const bool present = size >= kHeaderSize + kVgaPaletteSize && vga[0] == 0x0C;
        for (int i = 0; i < 256; ++i) {
            palette[i] =
                present ? qRgb(vga[1 + 3 * i], vga[2 + 3 * i], vga[3 + 3 * i]) : qRgb(i, i, i);
        }
    } else if (colours == 2 &&
               (version == kNoPaletteVersion || std::equal(bytes + 16, bytes + 19, bytes + 19))) {
        palette[1] = 0xFFFFFFFF;
    } else if (indexed) {
        for (int i = 0; i < colours && i < 16; ++i) {
            const uchar* c = bytes + 16 + 3 * i;
            palette[i] = version == kNoPaletteVersion ? kEgaPalette[i] : qRgb(c[0], c[1], c[2]);
        }
    }
    RasterRead r = allocateRaster(
        width, height, planes == 4 && direct ? QImage::Format_ARGB32 : QImage::Format_RGB32,
        budget);
    if (!r.ok()) {
        return r;
    }
    // Lines a file cut short does not hold stay black.
    r.image.fill(0xFF000000);
    // One scan line holds each plane's bytes in turn; runs may cross from a plane or a line
    // into the next, so the whole stream is unpacked line by line from one cursor.
    const qint64 scanBytes = lineBytes * planes;
    std::vector<uchar> line(static_cast<size_t>(scanBytes));
    const qsizetype end = bits == 8 && planes == 1 && size >= kHeaderSize + kVgaPaletteSize &&
                                  bytes[size - kVgaPaletteSize] == 0x0C
                              ? size - kVgaPaletteSize
                              : size;
    qsizetype at = kHeaderSize;
    int pending = 0;
    uchar value = 0;
    for (qint64 y = 0; y < height; ++y) {
        for (qint64 i = 0; i < scanBytes; ++i) {
            if (pending == 0) {
                if (at >= end) {
                    return y == 0 ? rasterInvalid("PCX file without pixels") : r;
                }
                value = bytes[at++];
                pending = 1;
                if (compressed && (value & 0xC0) == 0xC0) {
                    pending = value & 0x3F;
                    value = at < end ? bytes[at++] : 0;
                    if (pending == 0) {
                        --i;
                        continue;
                    }
                }
            }
            line[i] = value;
            --pending;
        }
        auto* out = reinterpret_cast<QRgb*>(r.image.scanLine(static_cast<int>(y)));
        for (qint64 x = 0; x < width; ++x) {
            if (direct) {
                const uchar* p = line.data() + x;
                out[x] = qRgba(p[0], p[lineBytes], p[2 * lineBytes],
                               planes == 4 ? p[3 * lineBytes] : 255);
            } else if (planes == 1) {
                const int perByte = 8 / bits;
                const int shift = (perByte - 1 - int(x % perByte)) * bits;
                out[x] = palette[(line[x / perByte] >> shift) & ((1 << bits) - 1)];
            } else {
                int index = 0;
                for (int p = 0; p < planes; ++p) {
                    index |= ((line[p * lineBytes + x / 8] >> (7 - x % 8)) & 1) << p;
                }
                out[x] = palette[index];
            }
        }
    }
    opaqueWhenAlphaUnused(r.image);
    return r;
}

}  // namespace gv
