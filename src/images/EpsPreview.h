#pragma once
// The layout of an EPS file: a DOS EPS binary header that points at the PostScript and at an
// optional WMF or TIFF preview, or plain PostScript text. Untrusted input: every offset and
// length is checked against the file before anything is read.

#include <QByteArray>
#include <QByteArrayView>
#include <QRectF>
#include <QString>
#include <optional>

namespace gv {

inline constexpr int kEpsBinaryHeaderSize = 30;

struct EpsSection {
    qint64 offset = 0;
    qint64 length = 0;
    bool present() const { return length > 0; }
};

struct EpsLayout {
    bool binaryHeader = false;
    EpsSection postscript;
    EpsSection wmf;
    EpsSection tiff;
};

// head: the first bytes of the file (all of the binary header when the file is that long);
// fileSize: the whole file's length. Returns nullopt with a reason for anything that is not
// an EPS file or points outside the file.
std::optional<EpsLayout> parseEpsLayout(QByteArrayView head, qint64 fileSize,
                                        QString* error = nullptr);

// The "%%BoundingBox:" of the PostScript's header comments, in points; nullopt when it is
// missing, deferred to the trailer, or not a sensible box.
std::optional<QRectF> epsBoundingBox(QByteArrayView postscript);

}  // namespace gv
