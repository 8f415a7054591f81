#include "platform/Png.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

namespace gv {
namespace {

// What libpng's callbacks share with the decode. Plain data only: an error leaves libpng by
// longjmp, which must not skip any C++ destructor.
struct Context {
    const png_byte* data = nullptr;
    size_t size = 0;
    size_t at = 0;
    char message[160] = {};
    bool tooLarge = false;
};

// The image and its row pointers, made between reading the header and the pixels.
struct Target {
    QImage image;
    std::vector<png_bytep> rows;
    qint64 budget = 0;
};

void readBytes(png_structp png, png_bytep out, size_t length) {
    auto* c = static_cast<Context*>(png_get_io_ptr(png));
    if (c->size - c->at < length) {
        png_error(png, "file shorter than expected");
    }
    std::memcpy(out, c->data + c->at, length);
    c->at += length;
}

void onError(png_structp png, png_const_charp message) {
    auto* c = static_cast<Context*>(png_get_error_ptr(png));
    std::strncpy(c->message, message, sizeof c->message - 1);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Called from inside the decode, returns before libpng can jump: allocates the raster.
bool prepare(Target* target, png_uint_32 width, png_uint_32 height, QImage::Format format) {
    const qint64 w = width;
    const qint64 h = height;
    if (w > target->budget / 4 / h) {
        return false;
    }
    target->image = QImage(static_cast<int>(w), static_cast<int>(h), format);
    if (target->image.isNull()) {
        return false;
    }
    target->rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) {
        target->rows[y] = target->image.scanLine(static_cast<int>(y));
    }
    return true;
}

// The libpng side of the decode; no object with a destructor lives in this frame.
bool decode(png_structp png, png_infop info, Context* context, Target* target) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_read_fn(png, context, readBytes);
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int colourType = png_get_color_type(png, info);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    const bool alpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0 || transparency;
    const bool grey =
        (colourType & PNG_COLOR_MASK_COLOR) == 0 && colourType != PNG_COLOR_TYPE_PALETTE;
    png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    png_set_scale_16(png);
    png_set_interlace_handling(png);
    QImage::Format format = QImage::Format_Grayscale8;
    if (!grey || alpha) {
        if (grey) {
            png_set_gray_to_rgb(png);
        }
        // 32-bit pixels as Qt holds them: one native-endian 0xAARRGGBB word.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        png_set_bgr(png);
        if (!alpha) {
            png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        }
#else
        if (alpha) {
            png_set_swap_alpha(png);
        } else {
            png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
        }
#endif
        format = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    }
    png_read_update_info(png, info);
    if (!prepare(target, width, height, format)) {
        context->tooLarge = true;
        return false;
    }
    png_read_image(png, target->rows.data());
    return true;
}

}  // namespace

std::optional<QImage> readPng(QByteArrayView bytes, qint64 budget, QString* why, bool* tooLarge) {
    Context context;
    context.data = reinterpret_cast<const png_byte*>(bytes.data());
    context.size = static_cast<size_t>(bytes.size());
    Target target;
    target.budget = budget;
    bool ok = false;
    if (bytes.size() < 8 || png_sig_cmp(context.data, 0, 8) != 0) {
        std::strcpy(context.message, "not a PNG file");
    } else if (png_structp png =
                   png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, onError, onWarning)) {
        png_infop info = png_create_info_struct(png);
        ok = info && decode(png, info, &context, &target);
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    } else {
        std::strcpy(context.message, "out of memory");
    }
    if (tooLarge) {
        *tooLarge = context.tooLarge;
    }
    if (!ok) {
        if (why) {
            *why = context.tooLarge ? QStringLiteral("Out of memory")
                                    : QString::fromLatin1(context.message);
        }
        return std::nullopt;
    }
    return std::move(target.image);
}

}  // namespace gv
