#include "images/BmpReader.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace gv {
namespace {

constexpr qsizetype kFileHeaderSize = 14;
constexpr quint32 kOs1HeaderSize = 12;
constexpr quint32 kWindowsHeaderSize = 40;
constexpr quint32 kOs2MaxHeaderSize = 64;
constexpr QRgb kOpaqueBlack = 0xFF000000u;

enum class Packing { None, Rle8, Rle4, Rle24, Masks };

struct Header {
    qint64 width = 0;
    qint64 height = 0;
    bool topDown = false;
    int bitCount = 0;
    Packing packing = Packing::None;
    quint32 masks[4] = {};  // red, green, blue, alpha
    qsizetype paletteAt = 0;
    int paletteEntry = 4;      // bytes per palette entry: 3 in OS/2's first format
    qint64 paletteWanted = 0;  // entries the header asks for
};

// A channel of a pixel given by its mask: the masked bits scaled to 0..255.
class Channel final {
public:
    explicit Channel(quint32 mask) {
        if (mask == 0) {
            return;
        }
        m_shift = std::countr_zero(mask);
        m_max = mask >> m_shift;
        if (m_max <= 0xFFFF) {
            m_table.resize(m_max + 1);
            for (quint32 v = 0; v <= m_max; ++v) {
                m_table[v] = scaleToByte(v, m_max);
            }
        }
    }

    bool present() const { return m_max != 0; }

    // An absent channel (mask 0) is 0.
    quint8 operator()(quint32 pixel) const {
        if (m_max == 0) {
            return 0;
        }
        const quint32 v = (pixel >> m_shift) & m_max;
        return m_table.empty() ? scaleToByte(v, m_max) : m_table[v];
    }

private:
    int m_shift = 0;
    quint32 m_max = 0;
    std::vector<quint8> m_table;
};

// The header at `dib` (palette and masks included, which follow it). Bitmaps inside icons
// keep the alpha byte of their 32-bit pixels.
std::optional<Header> parseHeader(const uchar* dib, qsizetype size, bool inIcon, const char** why) {
    *why = "not a bitmap header";
    if (size < 4) {
        return std::nullopt;
    }
    const quint32 headerSize = le32(dib);
    Header h;
    bool os2 = false;
    if (headerSize == kOs1HeaderSize) {
        if (size < 12) {
            return std::nullopt;
        }
        h.width = le16(dib + 4);
        h.height = le16(dib + 6);
        h.bitCount = le16(dib + 10);
        h.paletteEntry = 3;
        h.paletteAt = 12;
        h.paletteWanted = h.bitCount <= 8 ? (1 << h.bitCount) : 0;
    } else {
        // OS/2's second header may stop after any field; 40, 52 and 56 bytes are Windows'.
        os2 = headerSize >= 16 && headerSize <= kOs2MaxHeaderSize && headerSize != 40 &&
              headerSize != 52 && headerSize != 56;
        if ((!os2 && headerSize < kWindowsHeaderSize) || qsizetype(headerSize) > size) {
            return std::nullopt;
        }
        auto field = [&](quint32 at) { return at + 4 <= headerSize ? le32(dib + at) : 0u; };
        h.width = static_cast<qint32>(field(4));
        h.height = static_cast<qint32>(field(8));
        h.bitCount = le16(dib + 14);
        h.paletteAt = headerSize;
        if (h.height < 0 && !os2) {
            h.topDown = true;
            h.height = -h.height;
        }
        const quint32 compression = field(16);
        switch (compression) {
            case 0:
                break;
            case 1:
                h.packing = Packing::Rle8;
                break;
            case 2:
                h.packing = Packing::Rle4;
                break;
            case 3:
                if (os2) {
                    *why = "OS/2 Huffman-compressed bitmaps are not supported";
                    return std::nullopt;
                }
                h.packing = Packing::Masks;
                break;
            case 4:
                if (!os2) {
                    *why = "JPEG-compressed bitmaps are not supported";
                    return std::nullopt;
                }
                h.packing = Packing::Rle24;
                break;
            case 6:
                if (os2) {
                    *why = "unsupported bitmap compression";
                    return std::nullopt;
                }
                h.packing = Packing::Masks;
                break;
            default:
                *why = "unsupported bitmap compression";
                return std::nullopt;
        }
        if (h.packing == Packing::Masks) {
            // Masks sit right after the 40 bytes: inside the larger headers, or after the short
            // one (three of them, four when the compression says alpha too).
            const bool withAlpha = compression == 6 || headerSize >= 56;
            const qsizetype end = kWindowsHeaderSize + (withAlpha ? 16 : 12);
            if (end > size) {
                *why = "bitmap colour masks missing";
                return std::nullopt;
            }
            for (int i = 0; i < (withAlpha ? 4 : 3); ++i) {
                h.masks[i] = le32(dib + kWindowsHeaderSize + 4 * i);
            }
            h.paletteAt = std::max<qsizetype>(headerSize, end);
        }
        if (h.bitCount <= 8) {
            const quint32 used = field(32);
            const qint64 full = qint64(1) << h.bitCount;
            h.paletteWanted = used == 0 || used > full ? full : used;
        }
    }
    if (h.width <= 0 || h.height <= 0) {
        *why = "bitmap without a valid size";
        return std::nullopt;
    }
    if (h.packing == Packing::None) {
        if (h.bitCount == 16) {
            h.masks[0] = 0x7C00;
            h.masks[1] = 0x03E0;
            h.masks[2] = 0x001F;
        } else if (h.bitCount == 32) {
            h.masks[0] = 0x00FF0000;
            h.masks[1] = 0x0000FF00;
            h.masks[2] = 0x000000FF;
            h.masks[3] = inIcon ? 0xFF000000 : 0;
        }
    }
    const int bits = h.bitCount;
    bool valid = false;
    switch (h.packing) {
        case Packing::None:
            valid = bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 ||
                    bits == 32;
            break;
        case Packing::Masks:
            valid = bits == 16 || bits == 24 || bits == 32;
            break;
        case Packing::Rle8:
            valid = bits == 8;
            break;
        case Packing::Rle4:
            valid = bits == 4;
            break;
        case Packing::Rle24:
            valid = bits == 24;
            break;
    }
    if (!valid) {
        *why = "unsupported bits per pixel for this bitmap";
        return std::nullopt;
    }
    return h;
}

// The palette's colours, opaque; at most `available` bytes of it are in the file.
std::vector<QRgb> readPalette(const Header& h, const uchar* dib, qsizetype available) {
    const qint64 count = std::min<qint64>(h.paletteWanted, available / h.paletteEntry);
    std::vector<QRgb> palette(static_cast<size_t>(std::max<qint64>(count, 0)));
    for (size_t i = 0; i < palette.size(); ++i) {
        const uchar* p = dib + h.paletteAt + qsizetype(i) * h.paletteEntry;
        palette[i] = qRgb(p[2], p[1], p[0]);
    }
    return palette;
}

QRgb paletteColour(const std::vector<QRgb>& palette, unsigned index) {
    // Indices past a short palette show black, as the format's reference decoder shows them.
    return index < palette.size() ? palette[index] : kOpaqueBlack;
}

int outputRow(const Header& h, qint64 fileRow, qint64 height) {
    return static_cast<int>(h.topDown ? fileRow : height - 1 - fileRow);
}

// Rows stored as they are: palette indices, masked pixels, or 24-bit BGR.
RasterRead decodeUnpacked(const Header& h, qint64 height, const uchar* data, qsizetype length,
                          const std::vector<QRgb>& palette, qint64 budget) {
    const qint64 rowBytes = (h.width * h.bitCount + 31) / 32 * 4;
    // The last row may lack its padding; everything else must be there.
    const qint64 needed = rowBytes * (height - 1) + (h.width * h.bitCount + 7) / 8;
    if (rasterExceedsBudget(h.width, height, budget)) {
        return rasterTooLarge();
    }
    if (length < needed) {
        return rasterInvalid("file shorter than its bitmap");
    }
    const bool alpha = h.masks[3] != 0;
    RasterRead r = allocateRaster(h.width, height,
                                  alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32, budget);
    if (!r.ok()) {
        return r;
    }
    const Channel red(h.masks[0]);
    const Channel green(h.masks[1]);
    const Channel blue(h.masks[2]);
    const Channel alphaChannel(h.masks[3]);
    const int width = static_cast<int>(h.width);
    const int bits = h.bitCount;
    for (qint64 fileRow = 0; fileRow < height; ++fileRow) {
        const uchar* in = data + fileRow * rowBytes;
        auto* out = reinterpret_cast<QRgb*>(r.image.scanLine(outputRow(h, fileRow, height)));
        if (bits <= 8) {
            const int perByte = 8 / bits;
            const unsigned indexMask = (1u << bits) - 1;
            for (int x = 0; x < width; ++x) {
                const int shift = (perByte - 1 - x % perByte) * bits;
                out[x] = paletteColour(palette, (in[x / perByte] >> shift) & indexMask);
            }
        } else if (bits == 24 && h.packing == Packing::None) {
            for (int x = 0; x < width; ++x, in += 3) {
                out[x] = qRgb(in[2], in[1], in[0]);
            }
        } else {
            const int step = bits / 8;
            for (int x = 0; x < width; ++x, in += step) {
                const quint32 v = step == 2   ? le16(in)
                                  : step == 3 ? quint32(in[0] | in[1] << 8 | in[2] << 16)
                                              : le32(in);
                const int a = alphaChannel.present() ? alphaChannel(v) : 255;
                out[x] = qRgba(red(v), green(v), blue(v), a);
            }
        }
    }
    return r;
}

// Run-length compressed rows. Pixels the codes skip (deltas, ends of lines and of the bitmap
// before the image is full) stay transparent; the picture is opaque when none were.
RasterRead decodeRuns(const Header& h, qint64 height, const uchar* data, qsizetype length,
                      const std::vector<QRgb>& palette, qint64 budget) {
    RasterRead r = allocateRaster(h.width, height, QImage::Format_ARGB32, budget);
    if (!r.ok()) {
        return r;
    }
    r.image.fill(Qt::transparent);
    const qint64 width = h.width;
    qint64 x = 0;
    qint64 y = 0;
    qint64 written = 0;
    QRgb* row = nullptr;
    auto put = [&](QRgb colour) {
        if (x < width && y < height) {
            if (!row) {
                row = reinterpret_cast<QRgb*>(r.image.scanLine(outputRow(h, y, height)));
            }
            row[x] = colour;
            ++written;
        }
        ++x;
    };
    auto moveTo = [&](qint64 newX, qint64 newY) {
        if (newY != y) {
            row = nullptr;
        }
        x = newX;
        y = newY;
    };
    const int pixelBytes = h.packing == Packing::Rle24 ? 3 : 1;
    qsizetype at = 0;
    while (y < height && at + 2 <= length) {
        const int count = data[at];
        if (count > 0) {
            // A run: one colour (or two alternating 4-bit colours) repeated.
            if (at + 1 + pixelBytes > length) {
                break;
            }
            const uchar* v = data + at + 1;
            at += 1 + pixelBytes;
            for (int i = 0; i < count && x < width; ++i) {
                switch (h.packing) {
                    case Packing::Rle8:
                        put(paletteColour(palette, v[0]));
                        break;
                    case Packing::Rle4:
                        put(paletteColour(palette, i % 2 == 0 ? v[0] >> 4 : v[0] & 0x0F));
                        break;
                    default:
                        put(qRgb(v[2], v[1], v[0]));
                        break;
                }
            }
            continue;
        }
        const int code = data[at + 1];
        at += 2;
        if (code == 0) {
            moveTo(0, y + 1);
        } else if (code == 1) {
            break;
        } else if (code == 2) {
            if (at + 2 > length) {
                break;
            }
            moveTo(x + data[at], y + data[at + 1]);
            at += 2;
        } else {
            // Literal pixels, padded to a 16-bit boundary.
            const qsizetype bytes =
                h.packing == Packing::Rle4 ? (code + 1) / 2 : qsizetype(code) * pixelBytes;
            if (at + bytes > length) {
                break;
            }
            const uchar* v = data + at;
            for (int i = 0; i < code && x < width; ++i) {
                switch (h.packing) {
                    case Packing::Rle8:
                        put(paletteColour(palette, v[i]));
                        break;
                    case Packing::Rle4:
                        put(paletteColour(palette, i % 2 == 0 ? v[i / 2] >> 4 : v[i / 2] & 0x0F));
                        break;
                    default:
                        put(qRgb(v[3 * i + 2], v[3 * i + 1], v[3 * i]));
                        break;
                }
            }
            at += bytes + (bytes & 1);
        }
    }
    if (written == width * height) {
        r.image.reinterpretAsFormat(QImage::Format_RGB32);
    }
    return r;
}

RasterRead decodePixels(const Header& h, qint64 height, const uchar* data, qsizetype length,
                        const std::vector<QRgb>& palette, qint64 budget) {
    if (rasterExceedsBudget(h.width, height, budget)) {
        return rasterTooLarge();
    }
    if (h.packing == Packing::Rle8 || h.packing == Packing::Rle4 || h.packing == Packing::Rle24) {
        return decodeRuns(h, height, data, length, palette, budget);
    }
    return decodeUnpacked(h, height, data, length, palette, budget);
}

}  // namespace

RasterRead readBmp(QByteArrayView file, qint64 budget) {
    const auto* bytes = reinterpret_cast<const uchar*>(file.data());
    if (file.size() < kFileHeaderSize + 4 || bytes[0] != 'B' || bytes[1] != 'M') {
        return rasterInvalid("not a bitmap file");
    }
    const uchar* dib = bytes + kFileHeaderSize;
    const qsizetype dibSize = file.size() - kFileHeaderSize;
    const char* why = nullptr;
    const std::optional<Header> h = parseHeader(dib, dibSize, false, &why);
    if (!h) {
        return rasterInvalid(why);
    }
    if (rasterExceedsBudget(h->width, h->height, budget)) {
        return rasterTooLarge();
    }
    // The pixels start where the file header says, unless that points before the palette or
    // past the end; the palette is cut short where the pixels start inside it.
    const qint64 offset = qint64(le32(bytes + 10)) - kFileHeaderSize;
    const bool offsetValid = offset >= h->paletteAt && offset < dibSize;
    const qsizetype paletteRoom = (offsetValid ? offset : dibSize) - h->paletteAt;
    const std::vector<QRgb> palette = readPalette(*h, dib, std::max<qsizetype>(paletteRoom, 0));
    const qsizetype pixels =
        offsetValid ? offset : h->paletteAt + qsizetype(palette.size()) * h->paletteEntry;
    if (pixels >= dibSize) {
        return rasterInvalid("bitmap without pixels");
    }
    RasterRead r = decodePixels(*h, h->height, dib + pixels, dibSize - pixels, palette, budget);
    // Alpha that a mask gives but no pixel uses; run-length transparency is the codes' own.
    if (r.ok() && (h->packing == Packing::None || h->packing == Packing::Masks)) {
        opaqueWhenAlphaUnused(r.image);
    }
    return r;
}

std::optional<IconBitmapSummary> iconBitmapSummary(QByteArrayView dib) {
    const char* why = nullptr;
    const std::optional<Header> h =
        parseHeader(reinterpret_cast<const uchar*>(dib.data()), dib.size(), true, &why);
    if (!h || h->height < 2 || h->width > INT_MAX) {
        return std::nullopt;
    }
    return IconBitmapSummary{QSize(static_cast<int>(h->width), static_cast<int>(h->height / 2)),
                             h->bitCount};
}

RasterRead readIconBitmap(QByteArrayView dibView, qint64 budget) {
    const auto* dib = reinterpret_cast<const uchar*>(dibView.data());
    const qsizetype size = dibView.size();
    const char* why = nullptr;
    const std::optional<Header> h = parseHeader(dib, size, true, &why);
    if (!h) {
        return rasterInvalid(why);
    }
    const qint64 height = h->height / 2;
    if (height <= 0) {
        return rasterInvalid("icon bitmap without a valid size");
    }
    if (rasterExceedsBudget(h->width, height, budget)) {
        return rasterTooLarge();
    }
    const std::vector<QRgb> palette =
        readPalette(*h, dib, std::max<qsizetype>(size - h->paletteAt, 0));
    const qsizetype pixels = h->paletteAt + qsizetype(palette.size()) * h->paletteEntry;
    if (pixels >= size) {
        return rasterInvalid("icon bitmap without pixels");
    }
    RasterRead r = decodePixels(*h, height, dib + pixels, size - pixels, palette, budget);
    if (!r.ok() || h->packing != Packing::None) {
        return r;
    }
    // The AND mask follows the colour rows: a set bit is a pixel the icon does not cover.
    // 32-bit images carry alpha instead, unless their alpha is all zero.
    QImage& image = r.image;
    if (image.format() == QImage::Format_ARGB32 && !opaqueWhenAlphaUnused(image)) {
        return r;
    }
    const qint64 colourBytes = (h->width * h->bitCount + 31) / 32 * 4 * height;
    const qint64 maskRow = (h->width + 31) / 32 * 4;
    const uchar* mask = dib + pixels + colourBytes;
    if (size - pixels - colourBytes < maskRow * height) {
        return r;  // no mask in the file: the image covers everything
    }
    image.convertTo(QImage::Format_ARGB32);
    for (qint64 fileRow = 0; fileRow < height; ++fileRow) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(outputRow(*h, fileRow, height)));
        const uchar* bits = mask + fileRow * maskRow;
        for (int x = 0; x < image.width(); ++x) {
            if (bits[x / 8] & (0x80 >> (x % 8))) {
                out[x] = 0;
            }
        }
    }
    return r;
}

}  // namespace gv
