#pragma once
// Byte output for the binary file writers of the tests: little- and big-endian integers,
// floats and raw bytes, chained; and a file's bytes read back.

#include <QByteArray>
#include <QFile>
#include <QRgb>
#include <cstring>

namespace gvtest {

class Bytes final {
public:
    Bytes& u8(int v) {
        m_bytes.append(static_cast<char>(v & 0xFF));
        return *this;
    }
    Bytes& le16(int v) { return u8(v).u8(v >> 8); }
    Bytes& le32(quint32 v) { return le16(int(v & 0xFFFF)).le16(int(v >> 16)); }
    Bytes& be16(int v) { return u8(v >> 8).u8(v); }
    Bytes& be32(quint32 v) { return be16(int(v >> 16)).be16(int(v & 0xFFFF)); }
    Bytes& f32(float f) {
        quint32 bits = 0;
        std::memcpy(&bits, &f, sizeof bits);
        return le32(bits);
    }
    // Blue, green, red, then `extra` when it is not negative: a colour as bitmaps store it.
    Bytes& bgr(QRgb c, int extra = -1) {
        u8(qBlue(c)).u8(qGreen(c)).u8(qRed(c));
        return extra >= 0 ? u8(extra) : *this;
    }
    Bytes& raw(const QByteArray& b) {
        m_bytes.append(b);
        return *this;
    }
    Bytes& zeros(qsizetype n) { return raw(QByteArray(n, '\0')); }
    const QByteArray& data() const { return m_bytes; }
    qsizetype size() const { return m_bytes.size(); }

private:
    QByteArray m_bytes;
};

// A file's bytes, or "<missing>" when it cannot be read.
inline QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

}  // namespace gvtest
