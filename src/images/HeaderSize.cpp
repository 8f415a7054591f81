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
