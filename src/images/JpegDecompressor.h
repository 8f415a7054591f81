#pragma once
// The libjpeg decompressor as Glimvane's JPEG shortcuts use it: errors jump back to the
// caller's setjmp instead of ending the program, and warnings are counted, not printed.
// Only for the files under src/images/ that decode JPEG themselves.

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace gv {

struct JpegErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] inline void jumpOnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

inline void ignoreJpegMessage(j_common_ptr) {}

// Owns the libjpeg state; a decode works through it only, so that a longjmp out of
// libjpeg leaves nothing to free but what this destroys.
struct JpegDecompressor {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    JpegDecompressor() {
        info.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = jumpOnJpegError;
        errors.base.output_message = ignoreJpegMessage;
        jpeg_create_decompress(&info);
    }
    ~JpegDecompressor() { jpeg_destroy_decompress(&info); }
};

// Reads the header of a colour JPEG of the kind decoded here, from the source already set.
// Call only inside the setjmp scope of the caller.
inline bool readJpegColourHeader(JpegDecompressor& d) {
    if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) {
        return false;
    }
    return d.info.num_components == 3 &&
           (d.info.jpeg_color_space == JCS_YCbCr || d.info.jpeg_color_space == JCS_RGB);
}

}  // namespace gv
