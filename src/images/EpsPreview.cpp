#include "images/EpsPreview.h"

#include <QList>
#include <QtEndian>
#include <algorithm>
#include <cmath>

namespace gv {
namespace {

constexpr unsigned char kMagic[4] = {0xC5, 0xD0, 0xD3, 0xC6};
// Header comments live at the start; a box further in belongs to an embedded document.
constexpr qsizetype kBoundingBoxSearchLimit = 64 * 1024;
// Larger than any page anyone prints, small enough that pixel sizes cannot overflow.
constexpr double kMaxPoints = 1.0e6;

bool fail(QString* error, const char* reason) {
    if (error) {
        *error = QString::fromLatin1(reason);
    }
    return false;
}

bool validSection(const EpsSection& s, qint64 fileSize, QString* error, const char* what) {
    if (!s.present()) {
        return true;
    }
    if (s.offset < kEpsBinaryHeaderSize) {
        return fail(error, what);
    }
    // Both values come from 32-bit fields, so the sum cannot overflow a qint64.
    if (s.offset + s.length > fileSize) {
        return fail(error, what);
    }
    return true;
}

}  // namespace

std::optional<EpsLayout> parseEpsLayout(QByteArrayView head, qint64 fileSize, QString* error) {
    EpsLayout layout;
    if (fileSize <= 0 || head.isEmpty()) {
        fail(error, "Empty EPS file");
        return std::nullopt;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(head.data());
    if (head.size() >= 4 && std::equal(kMagic, kMagic + 4, bytes)) {
        if (head.size() < kEpsBinaryHeaderSize || fileSize < kEpsBinaryHeaderSize) {
            fail(error, "Truncated EPS binary header");
            return std::nullopt;
        }
        auto field = [bytes](int at) {
            return static_cast<qint64>(qFromLittleEndian<quint32>(bytes + at));
        };
        layout.binaryHeader = true;
        layout.postscript = {field(4), field(8)};
        layout.wmf = {field(12), field(16)};
        layout.tiff = {field(20), field(24)};
        if (!validSection(layout.postscript, fileSize, error, "EPS PostScript outside the file") ||
            !validSection(layout.wmf, fileSize, error, "EPS WMF preview outside the file") ||
            !validSection(layout.tiff, fileSize, error, "EPS TIFF preview outside the file")) {
            return std::nullopt;
        }
        if (!layout.postscript.present() && !layout.wmf.present() && !layout.tiff.present()) {
            fail(error, "EPS binary header without content");
            return std::nullopt;
        }
        return layout;
    }
    if (head.startsWith("%!")) {
        layout.postscript = {0, fileSize};
        return layout;
    }
    fail(error, "Not an EPS file");
    return std::nullopt;
}

std::optional<QRectF> epsBoundingBox(QByteArrayView postscript) {
    static constexpr QByteArrayView kTag("%%BoundingBox:");
    const QByteArrayView text = postscript.first(qMin(postscript.size(), kBoundingBoxSearchLimit));
    qsizetype at = 0;
    while ((at = text.indexOf(kTag, at)) >= 0) {
        // The comment counts only at the start of a line.
        const bool lineStart = at == 0 || text[at - 1] == '\n' || text[at - 1] == '\r';
        const qsizetype start = at + kTag.size();
        at = start;
        if (!lineStart) {
            continue;
        }
        qsizetype end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r') {
            ++end;
        }
        const QList<QByteArray> parts =
            text.sliced(start, end - start).toByteArray().simplified().split(' ');
        if (parts.size() != 4) {
            return std::nullopt;  // "(atend)" or malformed
        }
        double v[4];
        for (int i = 0; i < 4; ++i) {
            bool ok = false;
            v[i] = parts[i].toDouble(&ok);
            if (!ok || !std::isfinite(v[i]) || std::fabs(v[i]) > kMaxPoints) {
                return std::nullopt;
            }
        }
        if (v[2] <= v[0] || v[3] <= v[1]) {
            return std::nullopt;
        }
        return QRectF(QPointF(v[0], v[1]), QPointF(v[2], v[3]));
    }
    return std::nullopt;
}

}  // namespace gv
