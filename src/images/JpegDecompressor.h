#pragma once
// The libjpeg decompressor as Glimvane's JPEG shortcuts use it: errors jump back to the
// caller's setjmp instead of ending the program, and warnings are counted, not printed.
// Only for the files under src/images/ that decode JPEG themselves.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <csetjmp>
#include <cstdio>
#include <utility>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

namespace gv {

struct JpegErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// Counts a warning in num_warnings unless it changes no pixel: bytes between the last scan's
// data and the end marker, which many cameras write, are skipped by every decoder alike, so
// such a file keeps the fast way instead of being decoded again by Qt's reader.
inline void countJpegWarning(j_common_ptr info, int level) {
    if (level >= 0) {
        return;  // trace messages
    }
    const jpeg_error_mgr& err = *info->err;
    if (err.msg_code == JWRN_EXTRANEOUS_DATA && err.msg_parm.i[1] == JPEG_EOI) {
        return;
    }
    ++info->err->num_warnings;
}

[[noreturn]] inline void jumpOnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

inline void ignoreJpegMessage(j_common_ptr) {}

// Owns the libjpeg state; a decode works through it only, so that a longjmp out of
// libjpeg leaves nothing to free but what this destroys.
struct JpegDecompressor {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    // Whether the header was read: an error before it is not a damaged picture but no JPEG.
    bool headerRead = false;
    JpegDecompressor() {
        info.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = jumpOnJpegError;
        errors.base.output_message = ignoreJpegMessage;
        errors.base.emit_message = countJpegWarning;
        jpeg_create_decompress(&info);
    }
    ~JpegDecompressor() { jpeg_destroy_decompress(&info); }
};

// How a decode of the whole file went. A damaged file is one libjpeg refused part way or patched
// up with a warning: what Qt's reader makes of it (an error, or the patched picture) is what
// the program shows for it.
enum class JpegRead { Done, OtherKind, Damaged, Stopped };

// Reads the header of a colour JPEG of the kind decoded here, from the source already set.
// Call only inside the setjmp scope of the caller.
inline bool readJpegColourHeader(JpegDecompressor& d) {
    if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) {
        return false;
    }
    d.headerRead = true;
    return d.info.num_components == 3 &&
           (d.info.jpeg_color_space == JCS_YCbCr || d.info.jpeg_color_space == JCS_RGB);
}

// What a JPEG says about itself beside its pixels, put on the decoded image as Qt's own reader
// puts it there, so that a picture saved again keeps it: the resolution, the colour profile
// and the comments.
struct JpegMetadata {
    int dotsPerMeterX = 0;  // 0: the file gives no resolution
    int dotsPerMeterY = 0;
    QByteArray iccProfile;
    QList<std::pair<QString, QString>> texts;

    void applyTo(QImage& image) const;
};

// Before jpeg_read_header: keeps the markers readJpegMetadata() reads.
void keepJpegMetadataMarkers(JpegDecompressor& d);
// After jpeg_read_header, inside the caller's setjmp scope; `out` lives outside it.
void readJpegMetadata(JpegDecompressor& d, JpegMetadata* out);

}  // namespace gv
