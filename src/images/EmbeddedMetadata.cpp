#include "images/EmbeddedMetadata.h"

#include "images/ColourProfile.h"
#include "images/Orientation.h"

#include <zlib.h>

#include <QtEndian>
#include <algorithm>
#include <array>
#include <map>
#include <optional>

namespace gv {
namespace {

// No real profile comes near this; a larger one is a damaged or hostile file.
constexpr qint64 kMaxProfileBytes = 16 * 1024 * 1024;
// Directories followed in a TIFF before its first full-size image; a loop ends here too.
constexpr int kMaxDirectories = 64;

constexpr quint16 kTagSubfileType = 254;
constexpr quint16 kTagOrientation = 274;
constexpr quint16 kTagIccProfile = 34675;

uchar byteAt(QByteArrayView b, qint64 at) {
    return static_cast<uchar>(b[static_cast<qsizetype>(at)]);
}

bool fits(QByteArrayView b, qint64 at, qint64 length) {
    return at >= 0 && length >= 0 && at <= b.size() && length <= b.size() - at;
}

// A TIFF structure (a TIFF file, or the one inside a JPEG's Exif segment), read with its own
// byte order.
class TiffReader final {
public:
    explicit TiffReader(QByteArrayView tiff) : m_tiff(tiff) {
        if (tiff.size() >= 8 && tiff.startsWith("II") && u16(2) == 42) {
            m_valid = true;
        } else if (tiff.size() >= 8 && tiff.startsWith("MM")) {
            m_bigEndian = true;
            m_valid = u16(2) == 42;
        }
    }

    bool valid() const { return m_valid; }
    qint64 firstDirectory() const { return u32(4); }

    // The directory's entries: tag -> (type, count, offset of the value or of its field).
    struct Entry {
        quint16 type = 0;
        quint32 count = 0;
        qint64 valueAt = 0;
    };
    bool readDirectory(qint64 at, std::map<quint16, Entry>* entries, qint64* next) const {
        if (!fits(m_tiff, at, 2)) {
            return false;
        }
        const int count = u16(at);
        if (!fits(m_tiff, at + 2, qint64(count) * 12 + 4)) {
            return false;
        }
        for (int i = 0; i < count; ++i) {
            const qint64 e = at + 2 + qint64(i) * 12;
            Entry entry{u16(e + 2), u32(e + 4), e + 8};
            if (entry.count * qint64(typeSize(entry.type)) > 4) {
                entry.valueAt = u32(e + 8);
            }
            entries->emplace(u16(e), entry);
        }
        *next = u32(at + 2 + qint64(count) * 12);
        return true;
    }

    // A SHORT or LONG value of a one-value entry.
    std::optional<quint32> number(const Entry& e) const {
        if (e.count != 1) {
            return std::nullopt;
        }
        if (e.type == 3) {
            return u16(e.valueAt);
        }
        if (e.type == 4) {
            return u32(e.valueAt);
        }
        return std::nullopt;
    }

    QByteArray bytes(const Entry& e) const {
        if ((e.type != 1 && e.type != 7) || e.count > kMaxProfileBytes ||
            !fits(m_tiff, e.valueAt, e.count)) {
            return {};
        }
        return m_tiff.sliced(qsizetype(e.valueAt), qsizetype(e.count)).toByteArray();
    }

private:
    static int typeSize(quint16 type) {
        switch (type) {
            case 3:
            case 8:
                return 2;
            case 4:
            case 9:
            case 11:
                return 4;
            case 5:
            case 10:
            case 12:
                return 8;
            default:
                return 1;
        }
    }
    quint16 u16(qint64 at) const {
        if (!fits(m_tiff, at, 2)) {
            return 0;
        }
        const auto* p = m_tiff.data() + at;
        return m_bigEndian ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
    }
    quint32 u32(qint64 at) const {
        if (!fits(m_tiff, at, 4)) {
            return 0;
        }
        const auto* p = m_tiff.data() + at;
        return m_bigEndian ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
    }

    QByteArrayView m_tiff;
    bool m_bigEndian = false;
    bool m_valid = false;
};

int validOrientation(std::optional<quint32> value) {
    return value && *value >= 1 && *value <= 8 ? int(*value) : 1;
}

// The first directory: what Exif says of the main image.
int exifTiffOrientation(QByteArrayView tiff) {
    const TiffReader reader(tiff);
    std::map<quint16, TiffReader::Entry> entries;
    qint64 next = 0;
    if (!reader.valid() || !reader.readDirectory(reader.firstDirectory(), &entries, &next)) {
        return 1;
    }
    const auto it = entries.find(kTagOrientation);
    return it == entries.end() ? 1 : validOrientation(reader.number(it->second));
}

// A TIFF file: the directory of its first full-size image, as the decoder picks it (thumbnails
// before it are skipped; when every image is reduced, the first).
EmbeddedMetadata tiffMetadata(QByteArrayView file) {
    EmbeddedMetadata out;
    const TiffReader reader(file);
    if (!reader.valid()) {
        return out;
    }
    std::map<quint16, TiffReader::Entry> chosen;
    qint64 at = reader.firstDirectory();
    for (int i = 0; i < kMaxDirectories && at != 0; ++i) {
        std::map<quint16, TiffReader::Entry> entries;
        qint64 next = 0;
        if (!reader.readDirectory(at, &entries, &next)) {
            break;
        }
        const auto type = entries.find(kTagSubfileType);
        const bool reduced =
            type != entries.end() && (reader.number(type->second).value_or(0) & 1) != 0;
        if (i == 0 || !reduced) {
            chosen = std::move(entries);
        }
        if (!reduced) {
            break;
        }
        at = next;
    }
    if (const auto it = chosen.find(kTagOrientation); it != chosen.end()) {
        out.orientation = validOrientation(reader.number(it->second));
    }
    if (const auto it = chosen.find(kTagIccProfile); it != chosen.end()) {
        out.iccProfile = reader.bytes(it->second);
    }
    return out;
}

EmbeddedMetadata jpegMetadata(QByteArrayView file) {
    EmbeddedMetadata out;
    // ICC_PROFILE chunks by their sequence number (1-based), and how many there should be.
    std::map<int, QByteArrayView> chunks;
    int chunkCount = 0;
    bool chunksConsistent = true;
    bool exifSeen = false;
    qint64 at = 2;
    while (fits(file, at, 4)) {
        if (byteAt(file, at) != 0xFF) {
            break;
        }
        const uchar marker = byteAt(file, at + 1);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) {
            break;  // the image data: no more metadata before it
        }
        const qint64 length = qFromBigEndian<quint16>(file.data() + at + 2);
        if (length < 2 || !fits(file, at + 4, length - 2)) {
            break;
        }
        const QByteArrayView body = file.sliced(qsizetype(at + 4), qsizetype(length - 2));
        if (marker == 0xE1 && !exifSeen && body.startsWith(QByteArrayView("Exif\0\0", 6))) {
            exifSeen = true;
            out.orientation = exifTiffOrientation(body.sliced(6));
        } else if (marker == 0xE2 && body.size() > 14 &&
                   body.startsWith(QByteArrayView("ICC_PROFILE\0", 12))) {
            const int sequence = uchar(body[12]);
            const int count = uchar(body[13]);
            if (sequence == 0 || sequence > count || (chunkCount && count != chunkCount) ||
                chunks.count(sequence)) {
                chunksConsistent = false;
            }
            chunkCount = count;
            chunks[sequence] = body.sliced(14);
        }
        at += 2 + length;
    }
    // A profile with chunks missing or repeated is damaged: none at all, as for libjpeg.
    if (chunksConsistent && chunkCount > 0 && int(chunks.size()) == chunkCount) {
        for (const auto& [sequence, chunk] : chunks) {
            out.iccProfile.append(chunk);
        }
    }
    return out;
}

QByteArray inflateProfile(QByteArrayView compressed) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        return {};
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    z.avail_in = static_cast<uInt>(compressed.size());
    QByteArray out;
    std::array<char, 16384> buffer{};
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer.data());
        z.avail_out = static_cast<uInt>(buffer.size());
        status = inflate(&z, Z_NO_FLUSH);
        out.append(buffer.data(), qsizetype(buffer.size() - z.avail_out));
        if (out.size() > kMaxProfileBytes) {
            status = Z_DATA_ERROR;
        }
    }
    inflateEnd(&z);
    return status == Z_STREAM_END ? out : QByteArray();
}

EmbeddedMetadata pngMetadata(QByteArrayView file) {
    EmbeddedMetadata out;
    qint64 at = 8;
    while (fits(file, at, 8)) {
        const qint64 length = qFromBigEndian<quint32>(file.data() + at);
        const QByteArrayView type = file.sliced(qsizetype(at + 4), 4);
        if (type == "IDAT" || type == "IEND" || !fits(file, at + 8, length)) {
            break;
        }
        if (type == "iCCP") {
            const QByteArrayView body = file.sliced(qsizetype(at + 8), qsizetype(length));
            // Name (1 to 79 bytes), its terminating zero, the method (0: zlib), the profile.
            const qsizetype nameEnd = body.indexOf('\0');
            if (nameEnd >= 1 && nameEnd <= 79 && nameEnd + 2 <= body.size() &&
                body[nameEnd + 1] == 0) {
                out.iccProfile = inflateProfile(body.sliced(nameEnd + 2));
            }
            break;
        }
        at += 12 + length;
    }
    return out;
}

}  // namespace

EmbeddedMetadata readEmbeddedMetadata(QByteArrayView file) {
    if (file.startsWith("\xFF\xD8")) {
        return jpegMetadata(file);
    }
    if (file.startsWith("\x89PNG\r\n\x1A\n")) {
        return pngMetadata(file);
    }
    if (file.startsWith("II") || file.startsWith("MM")) {
        return tiffMetadata(file);
    }
    return {};
}

QImage shownAsMeant(QImage stored, const EmbeddedMetadata& metadata, const QByteArray& display) {
    convertColours(stored, metadata.iccProfile, display);
    return applyOrientation(stored, metadata.orientation);
}

}  // namespace gv
