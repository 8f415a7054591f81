// The TIFF module: built as a shared object of its own (libglimvane_tiff.so) and loaded by
// TiffPlugin.cpp on the first TIFF file. libtiff decodes the strips and tiles; the samples are
// turned into pixels here for every layout whose samples are plain values (any bit depth,
// integer or floating point, interleaved or in planes), because libtiff's RGBA interface reads
// only 1-, 2-, 4-, 8- and 16-bit samples and few layouts of those. The RGBA interface draws the
// rest: YCbCr, old-style JPEG, LogLuv.

#include "platform/Tiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace gv {
namespace {

constexpr QRgb kOpaqueBlack = 0xFF000000u;
constexpr int kMaxSamples = 32;
// Files with more directories than this before a full-size image are broken.
constexpr int kMaxDirectories = 64;

// The file in memory as libtiff's client procedures see it, and the first error libtiff
// reported about it.
struct MemoryFile {
    const uchar* data = nullptr;
    toff_t size = 0;
    toff_t at = 0;
    std::string message;
};

tmsize_t readProc(thandle_t handle, void* out, tmsize_t length) {
    auto* f = static_cast<MemoryFile*>(handle);
    if (length <= 0 || f->at >= f->size) {
        return 0;
    }
    const toff_t count = std::min<toff_t>(toff_t(length), f->size - f->at);
    std::memcpy(out, f->data + f->at, count);
    f->at += count;
    return tmsize_t(count);
}

tmsize_t writeProc(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(handle);
    const toff_t base = whence == SEEK_CUR ? f->at : whence == SEEK_END ? f->size : 0;
    f->at = base + offset;  // wraps like the signed offset libtiff meant
    return f->at;
}

int closeProc(thandle_t) {
    return 0;
}

toff_t sizeProc(thandle_t handle) {
    return static_cast<MemoryFile*>(handle)->size;
}

// The bytes are our own copy of the file, so libtiff may read them in place.
int mapProc(thandle_t handle, void** base, toff_t* size) {
    auto* f = static_cast<MemoryFile*>(handle);
    *base = const_cast<uchar*>(f->data);
    *size = f->size;
    return 1;
}

void unmapProc(thandle_t, void*, toff_t) {}

int onError(TIFF*, void* user, const char*, const char* format, va_list args) {
    auto* f = static_cast<MemoryFile*>(user);
    if (f->message.empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, args);
        f->message = text;
    }
    return 1;
}

int onWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// ---- Sample values

float halfToFloat(quint16 h) {
    const int exponent = (h >> 10) & 0x1F;
    const float mantissa = float(h & 0x3FF);
    const float sign = (h & 0x8000) ? -1.0F : 1.0F;
    if (exponent == 0) {
        return sign * std::ldexp(mantissa, -24);
    }
    if (exponent == 31) {
        return mantissa == 0 ? sign * INFINITY : NAN;
    }
    return sign * std::ldexp(1024.0F + mantissa, exponent - 25);
}

// The 24-bit floating point of some scanners: a sign, 7 bits of exponent, 16 of mantissa.
float float24ToFloat(quint32 v) {
    const int exponent = (v >> 16) & 0x7F;
    const float mantissa = float(v & 0xFFFF);
    const float sign = (v & 0x800000) ? -1.0F : 1.0F;
    if (exponent == 0) {
        return sign * std::ldexp(mantissa, -78);
    }
    if (exponent == 127) {
        return mantissa == 0 ? sign * INFINITY : NAN;
    }
    return sign * std::ldexp(65536.0F + mantissa, exponent - 79);
}

quint8 unitToByte(double v) {
    if (!(v > 0)) {
        return 0;  // negative values and NaN
    }
    return v >= 1 ? 255 : static_cast<quint8>(std::lround(v * 255));
}

// One sample's raw value (its bits, for floating point) scaled to 0..255.
class Normaliser final {
public:
    Normaliser(int bits, int format) : m_bits(bits), m_format(format) {
        m_max = bits >= 64 ? ~quint64(0) : (quint64(1) << bits) - 1;
        if (format != SAMPLEFORMAT_IEEEFP && bits <= 16) {
            m_table.resize(size_t(1) << bits);
            for (quint64 v = 0; v <= m_max; ++v) {
                m_table[v] = compute(v);
            }
        }
    }

    quint8 operator()(quint64 raw) const { return m_table.empty() ? compute(raw) : m_table[raw]; }

    // The sample's share of its largest value.
    float unit(quint64 raw) const { return float(double(raw & m_max) / double(m_max)); }

    // A two's complement sample on the scale of an 8-bit one (-128..127).
    float signedOn8Bits(quint64 raw) const {
        const qint64 half = qint64(1) << (m_bits - 1);
        const qint64 v = qint64(raw & m_max) - (qint64(raw & m_max) >= half ? 2 * half : 0);
        return float(std::ldexp(double(v), 8 - m_bits));
    }

private:
    quint8 compute(quint64 raw) const {
        if (m_format == SAMPLEFORMAT_IEEEFP) {
            switch (m_bits) {
                case 16:
                    return unitToByte(halfToFloat(quint16(raw)));
                case 24:
                    return unitToByte(float24ToFloat(quint32(raw)));
                case 32: {
                    float f;
                    const quint32 bits32 = quint32(raw);
                    std::memcpy(&f, &bits32, 4);
                    return unitToByte(f);
                }
                default: {
                    double d;
                    std::memcpy(&d, &raw, 8);
                    return unitToByte(d);
                }
            }
        }
        quint64 v = raw & m_max;
        if (m_format == SAMPLEFORMAT_INT) {
            v ^= quint64(1) << (m_bits - 1);  // -half..half-1 to 0..max
        }
        return static_cast<quint8>((v * 255 + m_max / 2) / m_max);
    }

    int m_bits;
    int m_format;
    quint64 m_max = 0;
    std::vector<quint8> m_table;
};

// Sample `index` of a row of samples `bits` wide; libtiff has put 16-, 24-, 32- and 64-bit
// samples into the machine's byte order, the others stay packed from the high bit down.
quint64 fetch(const uchar* row, qint64 index, int bits) {
    switch (bits) {
        case 8:
            return row[index];
        case 16: {
            quint16 v;
            std::memcpy(&v, row + 2 * index, 2);
            return v;
        }
        case 24: {
            const uchar* p = row + 3 * index;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
            return quint64(p[0]) | quint64(p[1]) << 8 | quint64(p[2]) << 16;
#else
            return quint64(p[2]) | quint64(p[1]) << 8 | quint64(p[0]) << 16;
#endif
        }
        case 32: {
            quint32 v;
            std::memcpy(&v, row + 4 * index, 4);
            return v;
        }
        case 64: {
            quint64 v;
            std::memcpy(&v, row + 8 * index, 8);
            return v;
        }
        default:
            break;
    }
    quint64 v = 0;
    qint64 bit = index * bits;
    int remaining = bits;
    while (remaining > 0) {
        const int left = 8 - int(bit % 8);
        const int take = std::min(remaining, left);
        v = (v << take) | ((row[bit / 8] >> (left - take)) & ((1u << take) - 1));
        bit += take;
        remaining -= take;
    }
    return v;
}

// ---- Our own conversion of plain samples

struct Layout {
    quint32 width = 0;
    quint32 height = 0;
    int bits = 1;
    int samples = 1;
    int format = SAMPLEFORMAT_UINT;
    int photometric = PHOTOMETRIC_MINISBLACK;
    bool separate = false;
    int alphaSample = -1;
    bool associated = false;
};

class PixelMaker final {
public:
    PixelMaker(const Layout& layout, TIFF* tif)
        : m_layout(layout), m_normalise(layout.bits, layout.format) {
        if (layout.photometric == PHOTOMETRIC_PALETTE) {
            loadColourMap(tif);
        } else if (layout.photometric == PHOTOMETRIC_CIELAB) {
            initLab(tif);
        }
    }

    bool valid() const { return m_valid; }

    QRgb operator()(const quint64* raw) const {
        const int alpha = m_layout.alphaSample >= 0 ? m_normalise(raw[m_layout.alphaSample]) : 255;
        QRgb rgb = kOpaqueBlack;
        switch (m_layout.photometric) {
            case PHOTOMETRIC_MINISBLACK:
            case PHOTOMETRIC_MINISWHITE: {
                int g = m_normalise(raw[0]);
                if (m_layout.photometric == PHOTOMETRIC_MINISWHITE) {
                    g = 255 - g;
                }
                rgb = qRgb(g, g, g);
                break;
            }
            case PHOTOMETRIC_RGB:
                rgb = qRgb(m_normalise(raw[0]), m_normalise(raw[1]), m_normalise(raw[2]));
                break;
            case PHOTOMETRIC_PALETTE:
                rgb = raw[0] < m_map.size() ? m_map[raw[0]] : kOpaqueBlack;
                break;
            case PHOTOMETRIC_SEPARATED: {
                // As libtiff's RGBA interface turns ink into light.
                const int k = 255 - m_normalise(raw[3]);
                rgb = qRgb(k * (255 - m_normalise(raw[0])) / 255,
                           k * (255 - m_normalise(raw[1])) / 255,
                           k * (255 - m_normalise(raw[2])) / 255);
                break;
            }
            case PHOTOMETRIC_CIELAB:
                rgb = labToRgb(m_normalise.unit(raw[0]) * 100.0F, m_normalise.signedOn8Bits(raw[1]),
                               m_normalise.signedOn8Bits(raw[2]));
                break;
            default:
                break;
        }
        if (m_layout.associated) {
            // Premultiplied colour cannot exceed its alpha; broken files are kept in range.
            return qRgba(std::min(qRed(rgb), alpha), std::min(qGreen(rgb), alpha),
                         std::min(qBlue(rgb), alpha), alpha);
        }
        return (rgb & 0x00FFFFFF) | (QRgb(alpha) << 24);
    }

private:
    // CIE L*a*b* to XYZ as libtiff computes it for 8-bit samples, here on the samples' own
    // precision (libtiff of this release narrows 16-bit samples to 8 bits); then libtiff's
    // XYZ to display RGB.
    QRgb labToRgb(float l, float a, float b) const {
        const TIFFCIELabToRGB* lab = m_lab.get();
        float y;
        float cby;
        if (l < 8.856F) {
            y = (l * lab->Y0) / 903.292F;
            cby = 7.787F * (y / lab->Y0) + 16.0F / 116.0F;
        } else {
            cby = (l + 16.0F) / 116.0F;
            y = lab->Y0 * cby * cby * cby;
        }
        auto component = [](float t, float white) {
            return t < 0.2069F ? white * (t - 0.13793F) / 7.787F : white * t * t * t;
        };
        const float x = component(a / 500.0F + cby, lab->X0);
        const float z = component(cby - b / 200.0F, lab->Z0);
        quint32 r, g, bl;
        TIFFXYZToRGB(m_lab.get(), x, y, z, &r, &g, &bl);
        return qRgb(int(r), int(g), int(bl));
    }

    void loadColourMap(TIFF* tif) {
        quint16* r = nullptr;
        quint16* g = nullptr;
        quint16* b = nullptr;
        if (m_layout.bits > 16 || !TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b)) {
            m_valid = false;
            return;
        }
        const size_t count = size_t(1) << m_layout.bits;
        // Some writers store 8-bit values in the 16-bit map; libtiff's rule tells them apart.
        const bool eightBit = std::all_of(r, r + count, [](quint16 v) { return v < 256; }) &&
                              std::all_of(g, g + count, [](quint16 v) { return v < 256; }) &&
                              std::all_of(b, b + count, [](quint16 v) { return v < 256; });
        const int shift = eightBit ? 0 : 8;
        m_map.resize(count);
        for (size_t i = 0; i < count; ++i) {
            m_map[i] = qRgb(r[i] >> shift, g[i] >> shift, b[i] >> shift);
        }
    }

    void initLab(TIFF* tif) {
        // The sRGB display of libtiff's RGBA interface, and the file's white point.
        static const TIFFDisplay kSrgb = {{{3.2410F, -1.5374F, -0.4986F},
                                           {-0.9692F, 1.8760F, 0.0416F},
                                           {0.0556F, -0.2040F, 1.0570F}},
                                          100.0F,
                                          100.0F,
                                          100.0F,
                                          255,
                                          255,
                                          255,
                                          1.0F,
                                          1.0F,
                                          1.0F,
                                          2.4F,
                                          2.4F,
                                          2.4F};
        float* white = nullptr;
        if (!TIFFGetFieldDefaulted(tif, TIFFTAG_WHITEPOINT, &white) || !white || white[1] <= 0) {
            m_valid = false;
            return;
        }
        float reference[3];
        reference[1] = 100.0F;
        reference[0] = white[0] / white[1] * reference[1];
        reference[2] = (1.0F - white[0] - white[1]) / white[1] * reference[1];
        m_lab = std::make_unique<TIFFCIELabToRGB>();
        m_valid = TIFFCIELabToRGBInit(m_lab.get(), &kSrgb, reference) >= 0;
    }

    const Layout& m_layout;
    Normaliser m_normalise;
    std::vector<QRgb> m_map;
    std::unique_ptr<TIFFCIELabToRGB> m_lab;
    bool m_valid = true;
};

struct Outcome {
    QImage image;
    std::string why;
    bool tooLarge = false;
};

Outcome fail(std::string why) {
    Outcome o;
    o.why = std::move(why);
    return o;
}

Outcome tooLarge() {
    Outcome o;
    o.why = "Out of memory";
    o.tooLarge = true;
    return o;
}

// Reads every strip or tile (each plane's, for planar files) and makes the pixels it covers.
QImage newImage(TiffRasterAllocator allocate, int width, int height, QImage::Format format) {
    return allocate ? allocate(width, height, format) : QImage(width, height, format);
}

Outcome readPlain(TIFF* tif, const Layout& l, qint64 budget, MemoryFile& file,
                  TiffRasterAllocator allocate) {
    PixelMaker make(l, tif);
    if (!make.valid()) {
        return fail(file.message.empty() ? "unreadable colour map or white point" : file.message);
    }
    const bool tiled = TIFFIsTiled(tif);
    quint32 chunkWidth = l.width;
    quint32 chunkHeight = l.height;
    if (tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &chunkWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &chunkHeight);
    } else {
        quint32 rowsPerStrip = l.height;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        chunkHeight = std::clamp<quint32>(rowsPerStrip, 1, l.height);
    }
    if (chunkWidth == 0 || chunkHeight == 0) {
        return fail("TIFF tiles without a size");
    }
    const int planes = l.separate ? l.samples : 1;
    const qint64 perRow = l.separate ? 1 : l.samples;
    // The strip or tile buffers are held to the budget too; their sizes come from the file,
    // so the product is checked by division before it is formed.
    const qint64 rowBytes = (qint64(chunkWidth) * perRow * l.bits + 7) / 8;
    if (rowBytes > budget / planes / chunkHeight) {
        return tooLarge();
    }
    const qint64 chunkBytes = rowBytes * chunkHeight;
    Outcome out;
    out.image = newImage(allocate, int(l.width), int(l.height),
                         l.alphaSample < 0 ? QImage::Format_RGB32
                         : l.associated    ? QImage::Format_ARGB32_Premultiplied
                                           : QImage::Format_ARGB32);
    if (out.image.isNull()) {
        return tooLarge();
    }
    std::vector<std::vector<uchar>> buffers(static_cast<size_t>(planes));
    for (std::vector<uchar>& buffer : buffers) {
        buffer.resize(size_t(chunkBytes));
    }
    const quint32 across = tiled ? (l.width + chunkWidth - 1) / chunkWidth : 1;
    const quint32 down = (l.height + chunkHeight - 1) / chunkHeight;
    qint64 failed = 0;
    quint64 raw[kMaxSamples] = {};
    for (quint32 cy = 0; cy < down; ++cy) {
        for (quint32 cx = 0; cx < across; ++cx) {
            for (int p = 0; p < planes; ++p) {
                uchar* buffer = buffers[size_t(p)].data();
                const quint32 x0 = cx * chunkWidth;
                const quint32 y0 = cy * chunkHeight;
                const tmsize_t got =
                    tiled ? TIFFReadEncodedTile(tif, TIFFComputeTile(tif, x0, y0, 0, quint16(p)),
                                                buffer, tmsize_t(chunkBytes))
                          : TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, y0, quint16(p)), buffer,
                                                 tmsize_t(chunkBytes));
                // A chunk that fails or comes short leaves zeros, never an earlier chunk's data.
                const qint64 kept = std::max<qint64>(got, 0);
                std::memset(buffer + kept, 0, size_t(chunkBytes - kept));
                if (got < 0) {
                    ++failed;
                }
            }
            const quint32 rows = std::min(chunkHeight, l.height - cy * chunkHeight);
            const quint32 columns = std::min(chunkWidth, l.width - cx * chunkWidth);
            for (quint32 r = 0; r < rows; ++r) {
                const quint32 y = cy * chunkHeight + r;
                auto* line = reinterpret_cast<QRgb*>(out.image.scanLine(int(y)));
                for (quint32 c = 0; c < columns; ++c) {
                    for (int s = 0; s < l.samples; ++s) {
                        raw[s] = l.separate
                                     ? fetch(buffers[size_t(s)].data() + r * rowBytes, c, l.bits)
                                     : fetch(buffers[0].data() + r * rowBytes,
                                             qint64(c) * l.samples + s, l.bits);
                    }
                    const quint32 x = cx * chunkWidth + c;
                    line[x] = make(raw);
                }
            }
        }
    }
    if (failed == qint64(across) * down * planes) {
        return fail(file.message.empty() ? "no readable strip or tile" : file.message);
    }
    return out;
}

// libtiff's RGBA interface, for the layouts it converts itself (YCbCr, old-style JPEG, LogLuv).
Outcome readRgba(TIFF* tif, quint32 width, quint32 height, quint16 orientation, MemoryFile& file) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message)) {
        return fail(message);
    }
    Outcome out;
    // libtiff's ABGR words are R, G, B, A bytes in memory on either byte order.
    out.image = QImage(int(width), int(height), QImage::Format_RGBA8888_Premultiplied);
    if (out.image.isNull()) {
        return tooLarge();
    }
    out.image.fill(0);
    if (!TIFFReadRGBAImageOriented(tif, width, height, reinterpret_cast<quint32*>(out.image.bits()),
                                   orientation, 1)) {
        return fail(file.message.empty() ? "unreadable TIFF image" : file.message);
    }
    out.image.convertTo(QImage::Format_ARGB32_Premultiplied);
    return out;
}

bool reducedImage(TIFF* tif) {
    quint32 type = 0;
    return TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &type) && (type & FILETYPE_REDUCEDIMAGE);
}

Outcome decode(TIFF* tif, qint64 budget, MemoryFile& file, TiffRasterAllocator allocate) {
    // The first full-size image; thumbnails that come before it are skipped.
    int index = 0;
    while (reducedImage(tif) && index < kMaxDirectories && TIFFReadDirectory(tif)) {
        ++index;
    }
    if (reducedImage(tif)) {
        TIFFSetDirectory(tif, 0);
    }
    Layout l;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height);
    if (l.width == 0 || l.height == 0 || l.width > INT_MAX || l.height > INT_MAX) {
        return fail("TIFF image without a size");
    }
    if (qint64(l.width) > budget / 4 / l.height) {
        return tooLarge();
    }
    quint16 bits = 1, samples = 1, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
    quint16 orientation = ORIENTATION_TOPLEFT, compression = COMPRESSION_NONE;
    quint16 inkSet = INKSET_CMYK, photometric = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkSet);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) {
        // libtiff's own guess for files without the tag.
        photometric = samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    }
    quint16 extraCount = 0;
    quint16* extraTypes = nullptr;
    const bool extraTag = TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
    int colourSamples = 0;
    switch (photometric) {
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_PALETTE:
            colourSamples = 1;
            break;
        case PHOTOMETRIC_RGB:
        case PHOTOMETRIC_CIELAB:
            colourSamples = 3;
            break;
        case PHOTOMETRIC_SEPARATED:
            colourSamples = inkSet == INKSET_CMYK && samples - extraCount >= 4 ? 4 : 0;
            break;
        default:
            break;
    }
    const bool floating = format == SAMPLEFORMAT_IEEEFP;
    const bool bitsValid = floating ? (bits == 16 || bits == 24 || bits == 32 || bits == 64)
                                    : (bits >= 1 && bits <= 32);
    const bool plain = colourSamples > 0 && compression != COMPRESSION_OJPEG &&
                       samples >= colourSamples && samples <= kMaxSamples && bitsValid &&
                       (format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_INT || floating ||
                        format == SAMPLEFORMAT_VOID) &&
                       !(photometric == PHOTOMETRIC_PALETTE && (floating || bits > 16)) &&
                       !(photometric == PHOTOMETRIC_CIELAB && floating);
    if (!plain) {
        return readRgba(tif, l.width, l.height, orientation, file);
    }
    l.bits = bits;
    l.samples = samples;
    l.format = format == SAMPLEFORMAT_VOID ? SAMPLEFORMAT_UINT : format;
    l.photometric = photometric;
    l.separate = planar == PLANARCONFIG_SEPARATE && samples > 1;
    if (extraTag && extraCount > 0 && samples - extraCount >= colourSamples) {
        const quint16 type = extraTypes[0];
        if (type == EXTRASAMPLE_ASSOCALPHA || type == EXTRASAMPLE_UNASSALPHA) {
            l.alphaSample = samples - extraCount;
            l.associated = type == EXTRASAMPLE_ASSOCALPHA;
        }
    } else if (!extraTag && photometric == PHOTOMETRIC_RGB && samples == 4) {
        // libtiff's RGBA interface reads a fourth sample without its tag as premultiplied alpha.
        l.alphaSample = 3;
        l.associated = true;
    }
    return readPlain(tif, l, budget, file, allocate);
}

std::optional<QImage> read(QByteArrayView bytes, qint64 budget, QString* why, bool* tooLargeOut,
                           TiffRasterAllocator allocate) {
    MemoryFile file;
    file.data = reinterpret_cast<const uchar*>(bytes.data());
    file.size = toff_t(bytes.size());
    const std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    Outcome outcome;
    if (!options) {
        outcome = tooLarge();
    } else {
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(budget));
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onError, &file);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), onWarning, &file);
        const std::unique_ptr<TIFF, TiffCloser> tif(
            TIFFClientOpenExt("image", "r", &file, readProc, writeProc, seekProc, closeProc,
                              sizeProc, mapProc, unmapProc, options.get()));
        outcome = tif ? decode(tif.get(), budget, file, allocate)
                      : fail(file.message.empty() ? "not a TIFF file" : file.message);
    }
    if (tooLargeOut) {
        *tooLargeOut = outcome.tooLarge;
    }
    if (outcome.image.isNull()) {
        if (why) {
            *why = QString::fromStdString(outcome.why);
        }
        return std::nullopt;
    }
    return std::move(outcome.image);
}

}  // namespace
}  // namespace gv

extern "C" __attribute__((visibility("default"))) const gv::TiffPlugin* glimvane_tiff_plugin() {
    static const gv::TiffPlugin plugin{gv::kTiffPluginVersion, &gv::read};
    return &plugin;
}
