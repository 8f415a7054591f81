#include "images/HeaderSize.h"

#include <QtEndian>
#include <cstdlib>

namespace gv {
namespace {

template <typename T>
T le(QByteArrayView b, qsizetype at) {
    return qFromLittleEndian<T>(b.data() + at);
}

template <typename T>
T be(QByteArrayView b, qsizetype at) {
    return qFromBigEndian<T>(b.data() + at);
}

std::optional<QSize> positive(qint64 w, qint64 h) {
    if (w <= 0 || h <= 0 || w > INT_MAX || h > INT_MAX) {
        return std::nullopt;
    }
    return QSize(static_cast<int>(w), static_cast<int>(h));
}

std::optional<QSize> bmpSize(QByteArrayView b) {
    if (b.size() < 26 || !b.startsWith("BM")) {
        return std::nullopt;
    }
    if (le<quint32>(b, 14) == 12) {  // the old OS/2 header with 16-bit sizes
        return positive(le<quint16>(b, 18), le<quint16>(b, 20));
    }
    // A negative height only says the rows run top-down.
    return positive(std::llabs(le<qint32>(b, 18)), std::llabs(le<qint32>(b, 22)));
}

// A WebP's canvas: the extended header's, or the one image's (lossy or lossless).
std::optional<QSize> webpSize(QByteArrayView b) {
    if (b.size() < 30 || !b.startsWith("RIFF") || b.sliced(8, 4) != "WEBP") {
        return std::nullopt;
    }
    const auto u24 = [&](qsizetype at) { return le<quint32>(b, at) & 0xFFFFFF; };
    const QByteArrayView chunk = b.sliced(12, 4);
    if (chunk == "VP8X") {
        return positive(qint64(u24(24)) + 1, qint64(u24(27)) + 1);
    }
    if (chunk == "VP8L" && uchar(b[20]) == 0x2F) {
        const quint32 bits = le<quint32>(b, 21);
        return positive((bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1);
    }
    if (chunk == "VP8 " && b.sliced(23, 3) == "\x9d\x01\x2a") {
        return positive(le<quint16>(b, 26) & 0x3FFF, le<quint16>(b, 28) & 0x3FFF);
    }
    return std::nullopt;
}

// The boxes of an ISO media file (AVIF, HEIF) between `from` and `to`: calls `visit` with each
// box's type, and its contents' start and end, until it returns true.
template <typename Visit>
bool forEachBox(QByteArrayView b, qsizetype from, qsizetype to, Visit visit) {
    qsizetype at = from;
    while (at + 8 <= to) {
        qint64 size = be<quint32>(b, at);
        qsizetype header = 8;
        if (size == 1) {
            if (at + 16 > to) {
                return false;
            }
            size = qint64(std::min<quint64>(be<quint64>(b, at + 8), quint64(INT64_MAX)));
            header = 16;
        } else if (size == 0) {
            size = to - at;  // to the end
        }
        if (size < header) {
            return false;
        }
        const qsizetype end = qsizetype(std::min<qint64>(at + size, to));
        if (visit(b.sliced(at + 4, 4), at + header, end)) {
            return true;
        }
        at = end;
    }
    return false;
}

// The largest 'ispe' (image spatial extents) of meta/iprp/ipco: the primary picture of a phone's
// grid, whose tiles declare their own smaller sizes.
std::optional<QSize> isoMediaSize(QByteArrayView b) {
    if (b.size() < 16 || b.sliced(4, 4) != "ftyp") {
        return std::nullopt;
    }
    std::optional<QSize> largest;
    const auto ipco = [&](QByteArrayView type, qsizetype start, qsizetype end) {
        if (type == "ispe" && end - start >= 12) {
            const std::optional<QSize> s =
                positive(be<quint32>(b, start + 4), be<quint32>(b, start + 8));
            if (s && (!largest || qint64(s->width()) * s->height() >
                                      qint64(largest->width()) * largest->height())) {
                largest = s;
            }
        }
        return false;
    };
    const auto iprp = [&](QByteArrayView type, qsizetype start, qsizetype end) {
        return type == "ipco" && (forEachBox(b, start, end, ipco), true);
    };
    const auto meta = [&](QByteArrayView type, qsizetype start, qsizetype end) {
        return type == "iprp" && (forEachBox(b, start, end, iprp), true);
    };
    // meta is a full box: its version and flags come before its children.
    forEachBox(b, 0, b.size(), [&](QByteArrayView type, qsizetype start, qsizetype end) {
        return type == "meta" && (forEachBox(b, start + 4, end, meta), true);
    });
    return largest;
}

// Bits of a JPEG XL codestream, least significant first.
class BitReader {
public:
    BitReader(QByteArrayView b, qsizetype from) : m_b(b), m_at(from * 8) {}
    std::optional<quint32> bits(int count) {
        quint32 value = 0;
        for (int i = 0; i < count; ++i, ++m_at) {
            if (m_at / 8 >= m_b.size()) {
                return std::nullopt;
            }
            value |= quint32((uchar(m_b[m_at / 8]) >> (m_at % 8)) & 1) << i;
        }
        return value;
    }
    // The U32 of the size header: a selector, then 9, 13, 18 or 30 bits of the value less one.
    std::optional<qint64> dimension() {
        constexpr int kBits[4] = {9, 13, 18, 30};
        const std::optional<quint32> selector = bits(2);
        const std::optional<quint32> value = selector ? bits(kBits[*selector]) : std::nullopt;
        return value ? std::optional<qint64>(qint64(*value) + 1) : std::nullopt;
    }

private:
    QByteArrayView m_b;
    qint64 m_at;
};

std::optional<QSize> jxlSize(QByteArrayView b) {
    qsizetype start = -1;
    if (b.startsWith("\xff\x0a")) {
        start = 0;
    } else if (b.startsWith(QByteArrayView("\0\0\0\x0cJXL \r\n\x87\n", 12))) {
        // The container: the codestream is the first jxlc box, or the first part (jxlp) after
        // its index.
        forEachBox(b, 0, b.size(), [&](QByteArrayView type, qsizetype from, qsizetype) {
            if (type == "jxlc" || type == "jxlp") {
                start = from + (type == "jxlp" ? 4 : 0);
                return true;
            }
            return false;
        });
        if (start < 0 || !b.sliced(std::min(start, b.size())).startsWith("\xff\x0a")) {
            return std::nullopt;
        }
    } else {
        return std::nullopt;
    }
    BitReader r(b, start + 2);
    const std::optional<quint32> div8 = r.bits(1);
    if (!div8) {
        return std::nullopt;
    }
    std::optional<qint64> height;
    if (*div8) {
        const std::optional<quint32> h = r.bits(5);
        height = h ? std::optional<qint64>((qint64(*h) + 1) * 8) : std::nullopt;
    } else {
        height = r.dimension();
    }
    const std::optional<quint32> ratio = height ? r.bits(3) : std::nullopt;
    if (!ratio) {
        return std::nullopt;
    }
    if (*ratio != 0) {
        constexpr int kRatios[8][2] = {{1, 1}, {1, 1}, {12, 10}, {4, 3}, {3, 2}, {16, 9}, {5, 4}, {2, 1}};
        return positive(*height * kRatios[*ratio][0] / kRatios[*ratio][1], *height);
    }
    std::optional<qint64> width;
    if (*div8) {
        const std::optional<quint32> w = r.bits(5);
        width = w ? std::optional<qint64>((qint64(*w) + 1) * 8) : std::nullopt;
    } else {
        width = r.dimension();
    }
    return width ? positive(*width, *height) : std::nullopt;
}

}  // namespace

std::optional<QSize> declaredImageSize(QByteArrayView head, const QString& key) {
    if (key == QLatin1StringView("bmp") || key == QLatin1StringView("dib") ||
        key == QLatin1StringView("rle")) {
        return bmpSize(head);
    }
    if (key == QLatin1StringView("tga")) {
        // Targa has no signature; only a header whose fields all make sense declares a size.
        if (head.size() < 18) {
            return std::nullopt;
        }
        const int colourMapType = static_cast<unsigned char>(head[1]);
        const int imageType = static_cast<unsigned char>(head[2]);
        const int depth = static_cast<unsigned char>(head[16]);
        const bool knownType =
            (imageType >= 1 && imageType <= 3) || (imageType >= 9 && imageType <= 11);
        const bool knownDepth =
            depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
        if (colourMapType > 1 || !knownType || !knownDepth) {
            return std::nullopt;
        }
        return positive(le<quint16>(head, 12), le<quint16>(head, 14));
    }
    if (key == QLatin1StringView("gif")) {
        if (head.size() < 10 || !head.startsWith("GIF")) {
            return std::nullopt;
        }
        return positive(le<quint16>(head, 6), le<quint16>(head, 8));
    }
    if (key == QLatin1StringView("pcx")) {
        if (head.size() < 12 || static_cast<unsigned char>(head[0]) != 0x0A) {
            return std::nullopt;
        }
        return positive(qint64(le<quint16>(head, 8)) - le<quint16>(head, 4) + 1,
                        qint64(le<quint16>(head, 10)) - le<quint16>(head, 6) + 1);
    }
    if (key == QLatin1StringView("ebp")) {
        return webpSize(head);
    }
    if (key == QLatin1StringView("vif") || key == QLatin1StringView("eic") ||
        key == QLatin1StringView("eif")) {
        return isoMediaSize(head);
    }
    if (key == QLatin1StringView("jxl")) {
        return jxlSize(head);
    }
    if (key == QLatin1StringView("pct")) {
        // A 512-byte application header, the picture size word, then the frame rectangle.
        if (head.size() < 522) {
            return std::nullopt;
        }
        return positive(qint64(be<qint16>(head, 520)) - be<qint16>(head, 516),
                        qint64(be<qint16>(head, 518)) - be<qint16>(head, 514));
    }
    return std::nullopt;
}

}  // namespace gv
