#include "support/CameraRawFiles.h"

#include <QtEndian>
#include <algorithm>
#include <vector>

#include "support/ImageFiles.h"

namespace gvtest {
namespace {

enum Type : quint16 { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kSRational = 10 };

struct Entry {
    quint16 tag;
    quint16 type;
    quint32 count;
    QByteArray data;  // little-endian values
};

QByteArray shorts(std::initializer_list<quint16> values) {
    QByteArray out;
    for (quint16 v : values) {
        out.append(char(v & 0xFF)).append(char(v >> 8));
    }
    return out;
}

QByteArray longs(std::initializer_list<quint32> values) {
    QByteArray out;
    for (quint32 v : values) {
        const quint32 le = qToLittleEndian(v);
        out.append(reinterpret_cast<const char*>(&le), 4);
    }
    return out;
}

// One directory at `start`, its values that do not fit an entry right after it.
QByteArray directory(std::vector<Entry> entries, quint32 start) {
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    const quint32 valuesAt = start + 2 + 12 * quint32(entries.size()) + 4;
    QByteArray head = shorts({quint16(entries.size())});
    QByteArray values;
    for (const Entry& e : entries) {
        head += shorts({e.tag, e.type}) + longs({e.count});
        if (e.data.size() <= 4) {
            head += e.data.leftJustified(4, '\0');
        } else {
            if (values.size() % 2) {
                values += '\0';
            }
            head += longs({valuesAt + quint32(values.size())});
            values += e.data;
        }
    }
    return head + longs({0}) + values;
}

}  // namespace

QByteArray dngBytes(const DngParts& parts) {
    const int rw = parts.rawSize.width();
    const int rh = parts.rawSize.height();
    QByteArray raw;
    for (int i = 0; i < rw * rh; ++i) {
        raw += shorts({quint16(800 + (i % rw) * 8)});
    }
    const bool preview = !parts.previewJpeg.isEmpty();
    QByteArray identity;
    for (int i = 0; i < 9; ++i) {
        identity += longs({i % 4 == 0 ? 1u : 0u, 1u});
    }
    auto build = [&](quint32 subAt, quint32 rawAt, quint32 jpegAt) {
        std::vector<Entry> first = {
            {254, kLong, 1, longs({0})},
            {256, kLong, 1, longs({quint32(rw)})},
            {257, kLong, 1, longs({quint32(rh)})},
            {258, kShort, 1, shorts({16})},
            {259, kShort, 1, shorts({1})},
            {262, kShort, 1, shorts({32803})},  // CFA
            {271, kAscii, 9, QByteArray("Glimvane", 9)},
            {273, kLong, 1, longs({rawAt})},
            {274, kShort, 1, shorts({quint16(parts.orientation)})},
            {277, kShort, 1, shorts({1})},
            {278, kLong, 1, longs({quint32(rh)})},
            {279, kLong, 1, longs({quint32(raw.size())})},
            {33421, kShort, 2, shorts({2, 2})},
            {33422, kByte, 4, QByteArray("\x00\x01\x01\x02", 4)},
            {50706, kByte, 4, QByteArray("\x01\x04\x00\x00", 4)},  // DNG 1.4
            {50708, kAscii, 14, QByteArray("Glimvane Test", 14)},
            {50721, kSRational, 9, identity},
            {50778, kShort, 1, shorts({21})},
        };
        if (preview) {
            first.push_back({330, kLong, 1, longs({subAt})});
        }
        const std::vector<Entry> second = {
            {254, kLong, 1, longs({1})},  // a reduced-resolution copy
            {256, kLong, 1, longs({quint32(parts.previewSize.width())})},
            {257, kLong, 1, longs({quint32(parts.previewSize.height())})},
            {258, kShort, 3, shorts({8, 8, 8})},
            {259, kShort, 1, shorts({7})},  // JPEG
            {262, kShort, 1, shorts({6})},  // YCbCr
            {273, kLong, 1, longs({jpegAt})},
            {277, kShort, 1, shorts({3})},
            {278, kLong, 1, longs({quint32(parts.previewSize.height())})},
            {279, kLong, 1, longs({quint32(parts.previewJpeg.size())})},
        };
        return std::pair{first, second};
    };
    // Laid out once to learn the sizes, then again with the offsets.
    auto [first, second] = build(0, 0, 0);
    const quint32 subAt = (8 + quint32(directory(first, 8).size()) + 1) & ~1u;
    const quint32 rawAt = (subAt + quint32(directory(second, subAt).size()) + 1) & ~1u;
    const quint32 jpegAt = rawAt + quint32(raw.size());
    std::tie(first, second) = build(subAt, rawAt, jpegAt);
    QByteArray out = QByteArray("II*\0", 4) + longs({8}) + directory(first, 8);
    out = out.leftJustified(subAt, '\0') + directory(second, subAt);
    out = out.leftJustified(rawAt, '\0') + raw;
    return out + parts.previewJpeg;
}

QByteArray dngWithPreview(const QImage& preview, int orientation) {
    DngParts parts;
    parts.previewJpeg = jpegBytes(preview.convertToFormat(QImage::Format_RGB32));
    parts.previewSize = preview.size();
    parts.orientation = orientation;
    return dngBytes(parts);
}

}  // namespace gvtest
