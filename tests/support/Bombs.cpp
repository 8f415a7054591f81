#include "support/Bombs.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>
#include <array>

#include "support/MetafileWriter.h"

namespace gvtest {
namespace {

// Bits in deflate's order: fields from their lowest bit, Huffman codes from their highest.
class BitWriter final {
public:
    void field(quint32 value, int bits) {
        for (int i = 0; i < bits; ++i) {
            put((value >> i) & 1);
        }
    }
    void code(const char* bits) {
        for (; *bits; ++bits) {
            put(*bits == '1');
        }
    }
    // Many zero bits at once: the buffer is already zero.
    void zeros(qint64 count) {
        m_bit += count;
        m_bytes.resize((m_bit + 7) / 8, '\0');
    }
    QByteArray bytes() const { return m_bytes; }

private:
    void put(bool bit) {
        if (m_bit / 8 >= m_bytes.size()) {
            m_bytes.append('\0');
        }
        if (bit) {
            m_bytes[m_bit / 8] = char(m_bytes[m_bit / 8] | (1 << (m_bit % 8)));
        }
        ++m_bit;
    }
    QByteArray m_bytes;
    qint64 m_bit = 0;
};

// A zlib stream of `length` zero bytes in one dynamic block whose codes are as short as they
// go: a copy of 258 bytes at distance 1 costs two bits.
QByteArray zlibZeros(qint64 length) {
    BitWriter w;
    w.field(1, 1);   // last block
    w.field(2, 2);   // dynamic codes
    w.field(29, 5);  // 286 literal/length codes
    w.field(0, 5);   // 1 distance code
    w.field(14, 4);  // 18 code length codes
    // Code lengths of the code length alphabet in deflate's order 16, 17, 18, 0, 8, 7, 9, 6,
    // 10, 5, 11, 4, 12, 3, 13, 2, 14, 1: 18 takes one bit ("0"), 1 and 2 two ("10", "11").
    for (int len : {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2}) {
        w.field(quint32(len), 3);
    }
    // Literal 0: length 2; 1..255: none; end of block: 2; 257..284: none; 258 bytes: 1.
    w.code("11");
    w.code("0"), w.field(138 - 11, 7);
    w.code("0"), w.field(117 - 11, 7);
    w.code("11");
    w.code("0"), w.field(28 - 11, 7);
    w.code("10");
    w.code("10");  // the one distance code, 1
    // Codes: 258 bytes "0", literal 0 "10", end "11"; distance 1 "0".
    w.code("10");
    const qint64 copies = (length - 1) / 258;
    w.zeros(2 * copies);
    for (qint64 i = 1 + copies * 258; i < length; ++i) {
        w.code("10");
    }
    w.code("11");
    QByteArray out = QByteArray::fromHex("7801") + w.bytes();
    const quint32 adler = quint32(length % 65521) << 16 | 1;
    out.append(char(adler >> 24)).append(char(adler >> 16)).append(char(adler >> 8));
    out.append(char(adler));
    return out;
}

quint32 crc32(const QByteArray& bytes) {
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k) {
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (const char b : bytes) {
        c = table[(c ^ quint8(b)) & 0xFF] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

QByteArray be32(quint32 v) {
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

QByteArray chunk(const char* type, const QByteArray& data) {
    const QByteArray body = QByteArray(type) + data;
    return be32(quint32(data.size())) + body + be32(crc32(body));
}

}  // namespace

QByteArray zeroPng(int width, int height, int colourType, int bitDepth) {
    const int channels = colourType == 6 ? 4 : colourType == 2 ? 3 : 1;
    const qint64 rowBytes = (qint64(width) * channels * bitDepth + 7) / 8;
    QByteArray header = be32(quint32(width)) + be32(quint32(height));
    header.append(char(bitDepth)).append(char(colourType)).append(3, '\0');
    const QByteArray data = zlibZeros(qint64(height) * (1 + rowBytes));
    QByteArray png = QByteArray::fromHex("89504e470d0a1a0a") + chunk("IHDR", header);
    constexpr qsizetype kIdatBytes = 1 << 20;
    for (qsizetype at = 0; at < data.size(); at += kIdatBytes) {
        png += chunk("IDAT", data.mid(at, kIdatBytes));
    }
    return png + chunk("IEND", {});
}

QByteArray jpegDeclaring(QSize declared, bool progressive) {
    QImage small(16, 16, QImage::Format_RGB32);
    small.fill(QColor(90, 140, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    writer.write(small);
    // The frame header (baseline C0 or progressive C2): length, precision, height, width.
    for (qsizetype i = 2; i + 9 < bytes.size(); ++i) {
        if (uchar(bytes[i]) == 0xFF &&
            (uchar(bytes[i + 1]) == 0xC0 || uchar(bytes[i + 1]) == 0xC2)) {
            qToBigEndian(quint16(declared.height()), bytes.data() + i + 5);
            qToBigEndian(quint16(declared.width()), bytes.data() + i + 7);
            break;
        }
    }
    return bytes;
}

QByteArray flatJpeg(QSize size) {
    const auto segment = [](int marker, const QByteArray& body) {
        QByteArray s(4, '\0');
        s[0] = char(0xFF);
        s[1] = char(marker);
        qToBigEndian(quint16(body.size() + 2), s.data() + 2);
        return s + body;
    };
    QByteArray out = QByteArray::fromHex("ffd8");
    out += segment(0xDB, QByteArray(1, '\0') + QByteArray(64, '\1'));  // all quantisers 1
    QByteArray frame = QByteArray::fromHex("08") + QByteArray(4, '\0') + QByteArray::fromHex("03");
    qToBigEndian(quint16(size.height()), frame.data() + 1);
    qToBigEndian(quint16(size.width()), frame.data() + 3);
    frame += QByteArray::fromHex("011100021100031100");
    out += segment(0xC0, frame);
    // One code of one bit in each table: symbol 0 (a DC difference of 0; end of block).
    const QByteArray oneCode =
        QByteArray::fromHex("01") + QByteArray(15, '\0') + QByteArray(1, '\0');
    out += segment(0xC4, QByteArray::fromHex("00") + oneCode + QByteArray::fromHex("10") + oneCode);
    out += segment(0xDA, QByteArray::fromHex("03010002000300003f00"));
    const qint64 blocks = qint64((size.width() + 7) / 8) * ((size.height() + 7) / 8) * 3;
    out += QByteArray((blocks * 2 + 7) / 8, '\0');
    return out + QByteArray::fromHex("ffd9");
}

QByteArray zeroPcx(int width, int height, int planes) {
    const int lineBytes = (width + 1) / 2 * 2;
    QByteArray out(128, '\0');
    auto le16 = [&out](int at, int v) { qToLittleEndian(quint16(v), out.data() + at); };
    out[0] = 0x0A;
    out[1] = 5;
    out[2] = 1;
    out[3] = 8;
    le16(8, width - 1);
    le16(10, height - 1);
    le16(12, 72);
    le16(14, 72);
    out[65] = char(planes);
    le16(66, lineBytes);
    le16(68, 1);
    // Runs may run on from one line into the next, so the whole picture is runs of 63.
    qint64 left = qint64(height) * planes * lineBytes;
    out.reserve(out.size() + (left / 63 + 1) * 2);
    const QByteArray fullRun = QByteArray::fromHex("ff00");
    for (; left >= 63; left -= 63) {
        out += fullRun;
    }
    if (left > 0) {
        out.append(char(0xC0 | left)).append('\0');
    }
    return out;
}

QByteArray emfPlusOfPngs(QSize picture, int count, int side) {
    const auto himetric = [](int px) { return px * 2540 / 96; };
    EmfWriter emf(QRect(0, 0, himetric(picture.width()), himetric(picture.height())), picture,
                  picture * 254 / 960);
    EmfPlusWriter plus(emf);
    const QByteArray png = zeroPng(side, side);
    for (int id = 0; id < count; ++id) {
        QByteArray object;
        for (const qint32 v : {qint32(0xDBC01002), 1, side, side, side * 4, 0x0026200A, 1}) {
            QByteArray word(4, '\0');
            qToLittleEndian(v, word.data());
            object += word;
        }
        plus.object(id, 5, object + png, int(png.size() / (1 << 20)) + 1);
    }
    for (int id = 0; id < count; ++id) {
        plus.drawImage(id, QRectF(0, 0, side, side), QRectF(QPointF(0, 0), QSizeF(picture)));
    }
    plus.endOfFile();
    return emf.finish();
}

}  // namespace gvtest
