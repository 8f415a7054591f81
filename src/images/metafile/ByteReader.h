// Bounds-checked little-endian reads over untrusted metafile bytes. Reads outside the view
// return zero instead of touching memory, so a record that lies about its layout can only
// produce wrong numbers, never a wild read; callers check sizes where the numbers matter.

#pragma once

#include <QtGlobal>

#include <cstring>

namespace gv::metafile {

class ByteReader final {
public:
    ByteReader() = default;
    ByteReader(const char* data, qint64 size) : m_data(data), m_size(data ? size : 0) {}

    qint64 size() const { return m_size; }
    const char* data() const { return m_data; }

    bool has(qint64 offset, qint64 count) const {
        return offset >= 0 && count >= 0 && offset <= m_size && count <= m_size - offset;
    }

    // The part [offset, offset + count) clipped to this view; empty when it lies outside.
    ByteReader sub(qint64 offset, qint64 count) const {
        if (offset < 0 || count < 0 || offset >= m_size) {
            return {};
        }
        return ByteReader(m_data + offset, qMin(count, m_size - offset));
    }

    quint8 u8(qint64 offset) const { return has(offset, 1) ? quint8(m_data[offset]) : 0; }
    quint16 u16(qint64 offset) const {
        return has(offset, 2) ? quint16(u8(offset) | (quint16(u8(offset + 1)) << 8)) : 0;
    }
    qint16 i16(qint64 offset) const { return qint16(u16(offset)); }
    quint32 u32(qint64 offset) const {
        return has(offset, 4) ? quint32(u16(offset)) | (quint32(u16(offset + 2)) << 16) : 0;
    }
    qint32 i32(qint64 offset) const { return qint32(u32(offset)); }
    float f32(qint64 offset) const {
        const quint32 bits = u32(offset);
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    const char* m_data = nullptr;
    qint64 m_size = 0;
};

}  // namespace gv::metafile
