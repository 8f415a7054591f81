#include "images/metafile/Dib.h"

#include <array>
#include <bit>

namespace gv::metafile {

namespace {

constexpr quint32 kBiRgb = 0;
constexpr quint32 kBiBitfields = 3;
constexpr quint32 kBiAlphaBitfields = 6;
constexpr qint64 kCoreHeaderSize = 12;
constexpr qint64 kInfoHeaderSize = 40;
constexpr qint64 kMaxHeaderSize = 256;
constexpr qint64 kMaxColourEntries = 65536;

bool fail(QString* error, const char* reason) {
    if (error) {
        *error = QString::fromLatin1(reason);
    }
    return false;
}

// One colour channel described by a bit mask, scaled to 8 bits.
struct Channel final {
    quint32 mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(quint32 m) : mask(m) {
        if (mask != 0) {
            shift = std::countr_zero(mask);
            bits = std::popcount(mask >> shift);
            // A mask with holes is treated as its lowest contiguous run.
            bits = qMin(bits, std::countr_one(mask >> shift));
        }
    }

    int value(quint32 pixel) const {
        if (bits == 0) {
            return 0;
        }
        const quint32 v = (pixel >> shift) & ((bits >= 32) ? 0xFFFFFFFFu : ((1u << bits) - 1));
        if (bits >= 8) {
            return int(v >> (bits - 8));
        }
        const quint32 max = (1u << bits) - 1;
        return int((v * 255 + max / 2) / max);
    }
};

// What the header says, after validation.
struct Layout final {
    qint64 width = 0;
    qint64 height = 0;
    bool bottomUp = true;
    int bpp = 0;
    quint32 compression = kBiRgb;
    std::array<quint32, 3> masks{};
    qint64 tableOffset = 0;  // colour table start within info
    qint64 tableEntries = 0;
    int entrySize = 4;
    qint64 bitsOffset = 0;  // where packed pixel rows start
};

bool readLayout(const ByteReader& info, Layout& out, QString* error) {
    const qint64 headerSize = info.u32(0);
    if (!info.has(0, 4) || headerSize > info.size()) {
        return fail(error, "The bitmap header is truncated.");
    }
    if (headerSize == kCoreHeaderSize) {
        out.width = info.u16(4);
        out.height = info.u16(6);
        out.bpp = info.u16(10);
        out.entrySize = 3;
    } else if (headerSize >= kInfoHeaderSize && headerSize <= kMaxHeaderSize) {
        out.width = info.i32(4);
        const qint64 h = info.i32(8);
        out.bottomUp = h > 0;
        out.height = h < 0 ? -h : h;
        out.bpp = info.u16(14);
        out.compression = info.u32(16);
    } else {
        return fail(error, "The bitmap header has an unknown size.");
    }
    if (out.width <= 0 || out.height <= 0 || out.width > kMaxDibSide || out.height > kMaxDibSide ||
        out.width * out.height > kMaxDibPixels) {
        return fail(error, "The bitmap is empty or too large.");
    }
    switch (out.bpp) {
        case 1:
        case 4:
        case 8:
            if (out.compression != kBiRgb) {
                return fail(error, "The bitmap compression is not supported.");
            }
            break;
        case 16:
        case 24:
        case 32:
            if (out.compression != kBiRgb && out.compression != kBiBitfields &&
                out.compression != kBiAlphaBitfields) {
                return fail(error, "The bitmap compression is not supported.");
            }
            if (out.bpp == 24 && out.compression != kBiRgb) {
                return fail(error, "The bitmap compression is not supported.");
            }
            break;
        default:
            return fail(error, "The bitmap depth is not supported.");
    }

    qint64 offset = headerSize;
    if (out.compression == kBiRgb) {
        if (out.bpp == 16) {
            out.masks = {0x7C00, 0x03E0, 0x001F};
        } else if (out.bpp >= 24) {
            out.masks = {0xFF0000, 0x00FF00, 0x0000FF};
        }
    } else if (headerSize >= 52) {
        // Version 2 and later headers carry the masks themselves.
        out.masks = {info.u32(40), info.u32(44), info.u32(48)};
    } else {
        const qint64 maskBytes = out.compression == kBiAlphaBitfields ? 16 : 12;
        if (!info.has(offset, maskBytes)) {
            return fail(error, "The bitmap colour masks are truncated.");
        }
        out.masks = {info.u32(offset), info.u32(offset + 4), info.u32(offset + 8)};
        offset += maskBytes;
    }

    qint64 entries = 0;
    if (headerSize != kCoreHeaderSize) {
        entries = info.u32(32);
    }
    if (entries == 0 && out.bpp <= 8) {
        entries = qint64(1) << out.bpp;
    }
    if (entries > kMaxColourEntries) {
        return fail(error, "The bitmap colour table is too large.");
    }
    out.tableOffset = offset;
    out.tableEntries = entries;
    out.bitsOffset = offset + entries * out.entrySize;
    return true;
}

}  // namespace

std::optional<DecodedDib> decodeDib(const ByteReader& info, const ByteReader& bits,
                                    bool paletteIndices, bool keepAlpha, QString* error) {
    Layout layout;
    if (!readLayout(info, layout, error)) {
        return std::nullopt;
    }

    // The colour table; entries missing from a short table read as black.
    std::array<QRgb, 256> palette{};
    palette.fill(qRgb(0, 0, 0));
    if (layout.bpp <= 8) {
        const qint64 usable = qMin<qint64>(layout.tableEntries, qint64(1) << layout.bpp);
        for (qint64 i = 0; i < usable; ++i) {
            const qint64 at = layout.tableOffset + i * (paletteIndices ? 2 : layout.entrySize);
            if (paletteIndices) {
                const int grey = int(info.u16(at) & 0xFF);
                palette[size_t(i)] = qRgb(grey, grey, grey);
            } else if (info.has(at, 3)) {
                palette[size_t(i)] = qRgb(info.u8(at + 2), info.u8(at + 1), info.u8(at));
            }
        }
    }

    const qint64 stride = ((layout.width * layout.bpp + 31) / 32) * 4;
    if (stride * layout.height > bits.size()) {
        if (error) {
            *error = QStringLiteral("The bitmap pixels are truncated.");
        }
        return std::nullopt;
    }

    const bool alpha = keepAlpha && layout.bpp == 32;
    QImage image(int(layout.width), int(layout.height),
                 alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull()) {
        if (error) {
            *error = QStringLiteral("Not enough memory for the bitmap.");
        }
        return std::nullopt;
    }
    const Channel red(layout.masks[0]);
    const Channel green(layout.masks[1]);
    const Channel blue(layout.masks[2]);
    const int bytesPerPixel = layout.bpp / 8;
    const auto* base = reinterpret_cast<const uchar*>(bits.data());
    for (qint64 row = 0; row < layout.height; ++row) {
        const qint64 sourceRow = layout.bottomUp ? layout.height - 1 - row : row;
        const uchar* in = base + sourceRow * stride;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(row)));
        for (qint64 x = 0; x < layout.width; ++x) {
            if (layout.bpp <= 8) {
                const qint64 bitPos = x * layout.bpp;
                const uchar byte = in[bitPos / 8];
                const int shift = 8 - layout.bpp - int(bitPos % 8);
                const int index = (byte >> shift) & ((1 << layout.bpp) - 1);
                out[x] = palette[size_t(index)];
                continue;
            }
            const uchar* p = in + x * bytesPerPixel;
            quint32 pixel = 0;
            for (int b = bytesPerPixel - 1; b >= 0; --b) {
                pixel = (pixel << 8) | p[b];
            }
            if (alpha) {
                // Keep the colour within the alpha so the premultiplied value stays valid.
                const int a = p[3];
                out[x] = qRgba(qMin(a, red.value(pixel)), qMin(a, green.value(pixel)),
                               qMin(a, blue.value(pixel)), a);
            } else {
                out[x] = qRgb(red.value(pixel), green.value(pixel), blue.value(pixel));
            }
        }
    }
    return DecodedDib{std::move(image), layout.bottomUp};
}

std::optional<DecodedDib> decodePackedDib(const ByteReader& packed, bool paletteIndices,
                                          QString* error) {
    Layout layout;
    if (!readLayout(packed, layout, error)) {
        return std::nullopt;
    }
    if (paletteIndices && layout.bpp <= 8) {
        layout.bitsOffset = layout.tableOffset + layout.tableEntries * 2;
    }
    if (layout.bitsOffset > packed.size()) {
        if (error) {
            *error = QStringLiteral("The bitmap colour table is truncated.");
        }
        return std::nullopt;
    }
    return decodeDib(packed, packed.sub(layout.bitsOffset, packed.size() - layout.bitsOffset),
                     paletteIndices, false, error);
}

}  // namespace gv::metafile
