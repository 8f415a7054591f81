// The module of the phone and web formats: built as a shared object of its own
// (libglimvane_photo.so) and loaded by PhotoFormatsPlugin.cpp in the decoding helper. Every
// library is asked for the picture's size first, and the rasters are refused against the
// budget before a pixel is decoded.

#include <avif/avif.h>
#include <jxl/decode.h>
#include <libheif/heif.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "platform/PhotoFormats.h"
#include "platform/HevcDecoder.h"

namespace gv {
namespace {

// libheif decodes the tiles of a grid image (as phones write them) two at a time, one for each
// of the cores a desktop has at least, each of them with libde265 on several threads
// (HevcDecoder.h); dav1d works on two rows of an AVIF at once; libwebp and libjxl decode on the
// calling thread.
constexpr int kHeifThreads = 2;
constexpr int kAvifThreads = 2;
// An animated JPEG XL or an AVIF image sequence plays at most this many frames (as many as the
// helper hands back), each shown at most this long.
constexpr qsizetype kMostFrames = 4096;
constexpr quint64 kLongestFrameMs = 60000;

PhotoRead invalid(const QString& why) {
    PhotoRead r;
    r.why = why;
    return r;
}

PhotoRead tooLarge() {
    PhotoRead r;
    r.tooLarge = true;
    r.why = QStringLiteral("Out of memory");
    return r;
}

// Whether `frames` rasters of width x height at 4 bytes a pixel pass the budget (by division,
// so that absurd header values cannot overflow).
bool beyondBudget(qint64 width, qint64 height, qint64 frames, qint64 budget) {
    if (width <= 0 || height <= 0 || frames <= 0) {
        return false;
    }
    return width > budget / 4 / height / frames;
}

QImage raster(int width, int height, QImage::Format format, PhotoRasterAllocator allocate) {
    return allocate ? allocate(width, height, format) : QImage(width, height, format);
}

QImage::Format rgbaFormat(bool alpha) {
    return alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888;
}

// ---- WebP -----------------------------------------------------------------------------------

struct DemuxDeleter {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};
struct AnimDeleter {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

QByteArray chunk(WebPDemuxer* demux, const char* fourcc) {
    WebPChunkIterator it;
    if (!WebPDemuxGetChunk(demux, fourcc, 1, &it)) {
        return QByteArray();
    }
    QByteArray bytes(reinterpret_cast<const char*>(it.chunk.bytes), qsizetype(it.chunk.size));
    WebPDemuxReleaseChunkIterator(&it);
    return bytes;
}

PhotoRead readWebP(QByteArrayView bytes, qint64 budget, PhotoRasterAllocator allocate) {
    const WebPData data{reinterpret_cast<const uint8_t*>(bytes.data()), size_t(bytes.size())};
    // Only a whole file: a truncated one is damaged, not a picture to show in part.
    std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemux(&data));
    if (!demux) {
        return invalid(QStringLiteral("not a complete WebP file"));
    }
    const qint64 width = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
    const qint64 height = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
    const uint32_t flags = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS);
    const qint64 frameCount = WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT);
    if (width <= 0 || height <= 0 || frameCount <= 0) {
        return invalid(QStringLiteral("WebP file without a picture"));
    }
    const bool animated = (flags & ANIMATION_FLAG) && frameCount > 1;
    if (beyondBudget(width, height, animated ? frameCount : 1, budget)) {
        return tooLarge();
    }
    PhotoRead out;
    if (flags & ICCP_FLAG) {
        out.iccProfile = chunk(demux.get(), "ICCP");
    }
    if (flags & EXIF_FLAG) {
        out.exif = chunk(demux.get(), "EXIF");
        // Some writers keep the JPEG segment's "Exif\0\0" before the TIFF structure.
        if (out.exif.startsWith(QByteArrayView("Exif\0\0", 6))) {
            out.exif.remove(0, 6);
        }
    }
    demux.reset();
    const bool alpha = flags & ALPHA_FLAG;
    if (!animated) {
        QImage image = raster(int(width), int(height), rgbaFormat(alpha), allocate);
        if (image.isNull()) {
            return tooLarge();
        }
        WebPDecoderConfig config;
        if (!WebPInitDecoderConfig(&config)) {
            return invalid(QStringLiteral("the WebP decoder does not match its library"));
        }
        config.options.use_threads = 0;
        config.output.colorspace = MODE_RGBA;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = image.bits();
        config.output.u.RGBA.stride = int(image.bytesPerLine());
        config.output.u.RGBA.size = size_t(image.sizeInBytes());
        const VP8StatusCode status = WebPDecode(data.bytes, data.size, &config);
        WebPFreeDecBuffer(&config.output);
        if (status != VP8_STATUS_OK) {
            return invalid(QStringLiteral("damaged WebP data (%1)").arg(int(status)));
        }
        out.frames.append(std::move(image));
        out.delaysMs.append(0);
        return out;
    }
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) {
        return invalid(QStringLiteral("the WebP decoder does not match its library"));
    }
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    std::unique_ptr<WebPAnimDecoder, AnimDeleter> decoder(WebPAnimDecoderNew(&data, &options));
    if (!decoder) {
        return invalid(QStringLiteral("damaged WebP animation"));
    }
    int previous = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
        uint8_t* canvas = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp)) {
            return invalid(QStringLiteral("damaged WebP animation frame"));
        }
        QImage frame = raster(int(width), int(height), QImage::Format_RGBA8888, allocate);
        if (frame.isNull()) {
            return tooLarge();
        }
        const size_t rowBytes = size_t(width) * 4;
        for (int y = 0; y < frame.height(); ++y) {
            std::memcpy(frame.scanLine(y), canvas + rowBytes * size_t(y), rowBytes);
        }
        out.frames.append(std::move(frame));
        out.delaysMs.append(std::max(timestamp - previous, 0));
        previous = timestamp;
    }
    if (out.frames.isEmpty()) {
        return invalid(QStringLiteral("WebP animation without frames"));
    }
    return out;
}

// ---- AVIF -----------------------------------------------------------------------------------

struct AvifDeleter {
    void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};

PhotoRead readAvif(QByteArrayView bytes, qint64 budget, PhotoRasterAllocator allocate) {
    std::unique_ptr<avifDecoder, AvifDeleter> decoder(avifDecoderCreate());
    if (!decoder) {
        return tooLarge();
    }
    // dav1d filters the rows of the one frame on both cores a desktop has at least.
    decoder->maxThreads = kAvifThreads;
    decoder->ignoreExif = AVIF_TRUE;  // the container's irot/imir are what turns the picture
    decoder->ignoreXMP = AVIF_TRUE;
    avifResult result = avifDecoderSetIOMemory(
        decoder.get(), reinterpret_cast<const uint8_t*>(bytes.data()), size_t(bytes.size()));
    if (result == AVIF_RESULT_OK) {
        result = avifDecoderParse(decoder.get());
    }
    if (result != AVIF_RESULT_OK) {
        return invalid(QString::fromUtf8(avifResultToString(result)));
    }
    const avifImage* header = decoder->image;
    // An image sequence plays its frames (its first kMostFrames), all within the budget.
    const qsizetype frames = decoder->imageCount > 1
                                 ? std::min<qsizetype>(decoder->imageCount, kMostFrames)
                                 : 1;
    if (beyondBudget(header->width, header->height, frames, budget)) {
        return tooLarge();
    }
    PhotoRead read;
    for (qsizetype i = 0; i < frames; ++i) {
        result = avifDecoderNextImage(decoder.get());
        if (result != AVIF_RESULT_OK) {
            // A sequence cut short plays the frames it has.
            return read.frames.isEmpty() ? invalid(QString::fromUtf8(avifResultToString(result)))
                                         : read;
        }
        avifImage* image = decoder->image;
        if (image->width == 0 || image->height == 0 ||
            beyondBudget(image->width, image->height, frames, budget)) {
            return image->width == 0 ? invalid(QStringLiteral("AVIF without a picture"))
                                     : tooLarge();
        }
        if (!read.frames.isEmpty() && QSize(int(image->width), int(image->height)) !=
                                          read.frames.constFirst().size()) {
            return read;  // frames of another size end the sequence
        }
        QImage out = raster(int(image->width), int(image->height),
                            rgbaFormat(decoder->alphaPresent), allocate);
        if (out.isNull()) {
            return tooLarge();
        }
        avifRGBImage rgb;
        avifRGBImageSetDefaults(&rgb, image);
        rgb.format = AVIF_RGB_FORMAT_RGBA;
        rgb.depth = 8;
        rgb.pixels = out.bits();
        rgb.rowBytes = uint32_t(out.bytesPerLine());
        result = avifImageYUVToRGB(image, &rgb);
        if (result != AVIF_RESULT_OK) {
            return invalid(QString::fromUtf8(avifResultToString(result)));
        }
        if (i == 0) {
            if (image->icc.size > 0) {
                read.iccProfile = QByteArray(reinterpret_cast<const char*>(image->icc.data),
                                             qsizetype(image->icc.size));
            }
            // libavif hands the pixels as coded; the picture is shown turned as its container
            // says.
            const int turns =
                (image->transformFlags & AVIF_TRANSFORM_IROT) ? image->irot.angle : 0;
            const int mirror =
                (image->transformFlags & AVIF_TRANSFORM_IMIR) ? image->imir.mode : -1;
            read.orientation = orientationOfTransforms(turns, mirror);
        }
        read.frames.append(std::move(out));
        const double seconds = decoder->imageTiming.duration;
        read.delaysMs.append(frames > 1 && seconds > 0
                                 ? int(std::lround(std::min(seconds * 1000.0,
                                                            double(kLongestFrameMs))))
                                 : 0);
    }
    return read;
}

// ---- HEIF -----------------------------------------------------------------------------------

struct HeifContextDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HeifHandleDeleter {
    void operator()(const heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct HeifImageDeleter {
    void operator()(const heif_image* i) const { heif_image_release(i); }
};
struct HeifOptionsDeleter {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

PhotoRead heifFailure(const heif_error& error) {
    // Some of libheif's errors come without a message.
    const QString message = QString::fromUtf8(error.message ? error.message : "");
    return invalid(message.isEmpty() ? QStringLiteral("damaged HEIF file (%1.%2)")
                                           .arg(int(error.code))
                                           .arg(int(error.subcode))
                                     : message);
}

PhotoRead readHeif(QByteArrayView bytes, qint64 budget, PhotoRasterAllocator allocate) {
    registerHevcDecoder();
    // The coded picture, which may be larger than the container declares, is measured against
    // the budget as the raster it becomes: two of four bytes a sample.
    setHevcPictureLimit(budget / 4 / 2);
    std::unique_ptr<heif_context, HeifContextDeleter> context(heif_context_alloc());
    if (!context) {
        return tooLarge();
    }
    heif_context_set_max_decoding_threads(context.get(), kHeifThreads);
    heif_error error = heif_context_read_from_memory_without_copy(context.get(), bytes.data(),
                                                                  size_t(bytes.size()), nullptr);
    if (error.code != heif_error_Ok) {
        return heifFailure(error);
    }
    heif_image_handle* handleRaw = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &handleRaw);
    std::unique_ptr<const heif_image_handle, HeifHandleDeleter> handle(handleRaw);
    if (error.code != heif_error_Ok) {
        return heifFailure(error);
    }
    // The coded size, and the shown one after the container's transforms: each is a raster.
    if (beyondBudget(heif_image_handle_get_ispe_width(handle.get()),
                     heif_image_handle_get_ispe_height(handle.get()), 2, budget) ||
        beyondBudget(heif_image_handle_get_width(handle.get()),
                     heif_image_handle_get_height(handle.get()), 2, budget)) {
        return tooLarge();
    }
    PhotoRead read;
    const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(handle.get());
    if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
        const size_t size = heif_image_handle_get_raw_color_profile_size(handle.get());
        QByteArray icc(qsizetype(size), '\0');
        if (size > 0 &&
            heif_image_handle_get_raw_color_profile(handle.get(), icc.data()).code ==
                heif_error_Ok) {
            read.iccProfile = std::move(icc);
        }
    }
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    std::unique_ptr<heif_decoding_options, HeifOptionsDeleter> options(
        heif_decoding_options_alloc());
    // libheif turns the picture as its irot and imir say (Exif's orientation, which phones also
    // write, only repeats them and is not applied again).
    options->ignore_transformations = 0;
    options->convert_hdr_to_8bit = 1;
    heif_image* decodedRaw = nullptr;
    error = heif_decode_image(handle.get(), &decodedRaw, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                              options.get());
    std::unique_ptr<const heif_image, HeifImageDeleter> decoded(decodedRaw);
    if (hevcPictureRefused()) {
        return tooLarge();
    }
    if (error.code != heif_error_Ok) {
        return heifFailure(error);
    }
    const int width = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane =
        heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    const size_t rowBytes = size_t(width) * (alpha ? 4 : 3);
    if (!plane || width <= 0 || height <= 0 || size_t(stride) < rowBytes) {
        return invalid(QStringLiteral("HEIF file without a picture"));
    }
    // The coded stream may hold a larger picture than the container declares; libheif decodes
    // it all the same (within the helper's limits), but it is not taken on.
    if (beyondBudget(width, height, 2, budget)) {
        return tooLarge();
    }
    QImage out = raster(width, height, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888,
                        allocate);
    if (out.isNull()) {
        return tooLarge();
    }
    for (int y = 0; y < height; ++y) {
        std::memcpy(out.scanLine(y), plane + size_t(stride) * size_t(y), rowBytes);
    }
    read.frames.append(std::move(out));
    read.delaysMs.append(0);
    return read;
}

// ---- JPEG XL --------------------------------------------------------------------------------

struct JxlDeleter {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};

PhotoRead readJxl(QByteArrayView bytes, qint64 budget, PhotoRasterAllocator allocate) {
    std::unique_ptr<JxlDecoder, JxlDeleter> decoder(JxlDecoderCreate(nullptr));
    if (!decoder) {
        return tooLarge();
    }
    JxlDecoder* d = decoder.get();
    // No parallel runner: libjxl decodes on this thread. It turns the picture as the
    // codestream's orientation says (its default).
    if (JxlDecoderSubscribeEvents(d, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FRAME |
                                         JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(d, reinterpret_cast<const uint8_t*>(bytes.data()),
                           size_t(bytes.size())) != JXL_DEC_SUCCESS) {
        return invalid(QStringLiteral("the JPEG XL decoder refused the file"));
    }
    JxlDecoderCloseInput(d);
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    JxlBasicInfo info{};
    PhotoRead read;
    QImage out;
    int delayMs = 0;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(d);
        switch (status) {
            case JXL_DEC_BASIC_INFO: {
                if (JxlDecoderGetBasicInfo(d, &info) != JXL_DEC_SUCCESS) {
                    return invalid(QStringLiteral("damaged JPEG XL header"));
                }
                if (beyondBudget(info.xsize, info.ysize, 1, budget)) {
                    return tooLarge();
                }
                break;
            }
            case JXL_DEC_COLOR_ENCODING: {
                size_t size = 0;
                if (JxlDecoderGetICCProfileSize(d, &format, JXL_COLOR_PROFILE_TARGET_DATA,
                                                &size) == JXL_DEC_SUCCESS &&
                    size > 0 && qint64(size) < budget) {
                    QByteArray icc(qsizetype(size), '\0');
                    if (JxlDecoderGetColorAsICCProfile(
                            d, &format, JXL_COLOR_PROFILE_TARGET_DATA,
                            reinterpret_cast<uint8_t*>(icc.data()), size) == JXL_DEC_SUCCESS) {
                        read.iccProfile = std::move(icc);
                    }
                }
                break;
            }
            case JXL_DEC_FRAME: {
                // An animation's frames come whole (libjxl lays each over the ones before),
                // each shown for its duration in the file's ticks.
                JxlFrameHeader header{};
                if (info.have_animation && info.animation.tps_numerator > 0 &&
                    JxlDecoderGetFrameHeader(d, &header) == JXL_DEC_SUCCESS) {
                    delayMs = int(std::min<quint64>(
                        quint64(header.duration) * 1000 * info.animation.tps_denominator /
                            info.animation.tps_numerator,
                        kLongestFrameMs));
                }
                break;
            }
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
                const bool turned = info.orientation >= JXL_ORIENT_TRANSPOSE;
                const int width = int(turned ? info.ysize : info.xsize);
                const int height = int(turned ? info.xsize : info.ysize);
                if (read.frames.size() >= kMostFrames) {
                    return read;  // a longer animation plays its first frames
                }
                // All the frames count against the budget, as a WebP animation's do.
                if (beyondBudget(width, height, read.frames.size() + 1, budget)) {
                    return tooLarge();
                }
                out = raster(width, height, rgbaFormat(info.alpha_bits > 0), allocate);
                size_t needed = 0;
                if (out.isNull()) {
                    return tooLarge();
                }
                if (JxlDecoderImageOutBufferSize(d, &format, &needed) != JXL_DEC_SUCCESS ||
                    needed != size_t(out.sizeInBytes()) ||
                    JxlDecoderSetImageOutBuffer(d, &format, out.bits(), needed) !=
                        JXL_DEC_SUCCESS) {
                    return invalid(QStringLiteral("damaged JPEG XL frame"));
                }
                break;
            }
            case JXL_DEC_FULL_IMAGE:
                if (out.isNull()) {
                    return invalid(QStringLiteral("JPEG XL file without a picture"));
                }
                read.frames.append(std::move(out));
                read.delaysMs.append(delayMs);  // 0 for a still picture
                if (!info.have_animation) {
                    return read;
                }
                break;
            case JXL_DEC_NEED_MORE_INPUT:
                // An animation cut short plays the frames it has.
                return read.frames.isEmpty()
                           ? invalid(QStringLiteral("the JPEG XL file is cut short"))
                           : read;
            case JXL_DEC_SUCCESS:
                return read.frames.isEmpty()
                           ? invalid(QStringLiteral("JPEG XL file without a picture"))
                           : read;
            case JXL_DEC_ERROR:
            default:
                return invalid(QStringLiteral("damaged JPEG XL file"));
        }
    }
}

PhotoRead read(QByteArrayView bytes, PhotoFormat format, qint64 budget,
               PhotoRasterAllocator allocate) {
    switch (format) {
        case PhotoFormat::WebP:
            return readWebP(bytes, budget, allocate);
        case PhotoFormat::Avif:
            return readAvif(bytes, budget, allocate);
        case PhotoFormat::Heif:
            return readHeif(bytes, budget, allocate);
        case PhotoFormat::JpegXl:
            return readJxl(bytes, budget, allocate);
    }
    return invalid(QStringLiteral("unknown format"));
}

}  // namespace
}  // namespace gv

extern "C" __attribute__((visibility("default"))) const gv::PhotoPlugin* glimvane_photo_plugin() {
    static const gv::PhotoPlugin plugin{gv::kPhotoPluginVersion, &gv::read};
    return &plugin;
}
