#include "platform/HevcDecoder.h"

#include <libde265/de265.h>
#include <libheif/heif.h>
#include <libheif/heif_plugin.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>

namespace gv {
namespace {

// libheif's own libde265 decoder says 100; a larger number is chosen before it.
constexpr int kPriority = 150;
// At most four: each thread holds its own decoding state, and a phone's photo (its tiles
// decoded two at a time by libheif) gives few more rows to work on at once.
constexpr int kMostThreads = 4;

std::atomic<qint64> g_pictureLimit{0};
std::atomic<bool> g_pictureRefused{false};

// Reads the bits of a NAL unit's payload, emulation prevention bytes (00 00 03) skipped.
class BitReader final {
public:
    BitReader(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}

    bool ok() const { return m_ok; }

    quint32 bits(int count) {
        quint32 value = 0;
        for (int i = 0; i < count; ++i) {
            value = (value << 1) | bit();
        }
        return value;
    }

    // An unsigned Exp-Golomb number; the sizes read here fit in 32 bits.
    quint32 exponentialGolomb() {
        int zeros = 0;
        while (m_ok && bit() == 0) {
            if (++zeros > 31) {
                m_ok = false;
                return 0;
            }
        }
        return quint32((quint64(1) << zeros) - 1 + bits(zeros));
    }

private:
    quint32 bit() {
        if (m_bit == 0) {
            if (m_zeros >= 2 && m_at < m_size && m_data[m_at] == 3) {
                ++m_at;  // an emulation prevention byte
                m_zeros = 0;
            }
            if (m_at >= m_size) {
                m_ok = false;
                return 0;
            }
            m_byte = m_data[m_at++];
            m_zeros = m_byte == 0 ? m_zeros + 1 : 0;
            m_bit = 8;
        }
        --m_bit;
        return (m_byte >> m_bit) & 1;
    }

    const unsigned char* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
    int m_bit = 0;
    int m_zeros = 0;
    unsigned char m_byte = 0;
    bool m_ok = true;
};

// A sequence parameter set's NAL unit type.
constexpr int kSequenceParameterSet = 33;

heif_error success() {
    return {heif_error_Ok, heif_suberror_Unspecified, "Success"};
}

heif_error failure(const char* why) {
    return {heif_error_Decoder_plugin_error, heif_suberror_Unspecified, why};
}

struct Decoder {
    de265_decoder_context* context = nullptr;
};

const char* pluginName() {
    return "Glimvane's libde265 on several threads";
}

int supportsFormat(heif_compression_format format) {
    return format == heif_compression_HEVC ? kPriority : 0;
}

heif_error newDecoder(void** out) {
    auto* decoder = new Decoder;
    decoder->context = de265_new_decoder();
    if (!decoder->context) {
        delete decoder;
        *out = nullptr;
        return failure("libde265 could not start");
    }
    // The threads are the decoder's own: they end with it.
    if (de265_start_worker_threads(decoder->context, hevcDecodingThreads()) != DE265_OK) {
        de265_free_decoder(decoder->context);
        delete decoder;
        *out = nullptr;
        return failure("libde265 could not start its threads");
    }
    *out = decoder;
    return success();
}

void freeDecoder(void* raw) {
    auto* decoder = static_cast<Decoder*>(raw);
    if (decoder) {
        de265_free_decoder(decoder->context);
        delete decoder;
    }
}

// libheif hands the coded picture as NAL units, each after its length in four bytes.
heif_error pushData(void* raw, const void* data, size_t size) {
    auto* decoder = static_cast<Decoder*>(raw);
    const auto* bytes = static_cast<const unsigned char*>(data);
    size_t at = 0;
    while (at < size) {
        if (size - at < 4) {
            return failure("HEVC data cut short");
        }
        const size_t length = (size_t(bytes[at]) << 24) | (size_t(bytes[at + 1]) << 16) |
                              (size_t(bytes[at + 2]) << 8) | size_t(bytes[at + 3]);
        at += 4;
        if (length > size - at || length > size_t(std::numeric_limits<int>::max())) {
            return failure("HEVC data cut short");
        }
        quint32 width = 0;
        quint32 height = 0;
        const qint64 limit = g_pictureLimit.load();
        if (limit > 0 && length >= 2 && ((bytes[at] >> 1) & 0x3f) == kSequenceParameterSet &&
            hevcPictureSize(bytes + at, length, &width, &height) &&
            (width == 0 || height == 0 || qint64(width) > limit / qint64(height))) {
            g_pictureRefused = true;
            return failure("HEVC picture larger than the memory budget");
        }
        if (de265_push_NAL(decoder->context, bytes + at, int(length), 0, nullptr) != DE265_OK) {
            return failure("HEVC data libde265 cannot take");
        }
        at += length;
    }
    return success();
}

heif_channel channelOf(int plane) {
    return plane == 0 ? heif_channel_Y : plane == 1 ? heif_channel_Cb : heif_channel_Cr;
}

// The decoded picture as libheif's image: planes copied row by row, each at its own size and
// depth (samples beyond eight bits take two bytes, as in libde265).
heif_error toHeifImage(const de265_image* picture, heif_image** out) {
    const de265_chroma chroma = de265_get_chroma_format(picture);
    heif_colorspace space = heif_colorspace_YCbCr;
    heif_chroma layout = heif_chroma_420;
    int planes = 3;
    switch (chroma) {
        case de265_chroma_mono:
            space = heif_colorspace_monochrome;
            layout = heif_chroma_monochrome;
            planes = 1;
            break;
        case de265_chroma_420:
            break;
        case de265_chroma_422:
            layout = heif_chroma_422;
            break;
        case de265_chroma_444:
            layout = heif_chroma_444;
            break;
        default:
            return failure("HEVC picture of an unknown chroma format");
    }
    const int width = de265_get_image_width(picture, 0);
    const int height = de265_get_image_height(picture, 0);
    heif_image* image = nullptr;
    heif_error error = heif_image_create(width, height, space, layout, &image);
    if (error.code != heif_error_Ok) {
        return error;
    }
    for (int plane = 0; plane < planes; ++plane) {
        const int w = de265_get_image_width(picture, plane);
        const int h = de265_get_image_height(picture, plane);
        const int bits = de265_get_bits_per_pixel(picture, plane);
        int sourceStride = 0;
        const uint8_t* source = de265_get_image_plane(picture, plane, &sourceStride);
        if (!source || w <= 0 || h <= 0 || bits < 1 || bits > 16) {
            heif_image_release(image);
            return failure("HEVC picture without its planes");
        }
        const size_t rowBytes = size_t(w) * (bits > 8 ? 2 : 1);
        error = heif_image_add_plane(image, channelOf(plane), w, h, bits);
        int targetStride = 0;
        uint8_t* target = error.code == heif_error_Ok
                              ? heif_image_get_plane(image, channelOf(plane), &targetStride)
                              : nullptr;
        if (!target || size_t(sourceStride) < rowBytes || size_t(targetStride) < rowBytes) {
            heif_image_release(image);
            return error.code != heif_error_Ok ? error : failure("HEVC plane of a wrong size");
        }
        for (int y = 0; y < h; ++y) {
            std::memcpy(target + size_t(targetStride) * size_t(y),
                        source + size_t(sourceStride) * size_t(y), rowBytes);
        }
    }
    *out = image;
    return success();
}

heif_error decodeImage(void* raw, heif_image** out) {
    auto* decoder = static_cast<Decoder*>(raw);
    *out = nullptr;
    if (de265_flush_data(decoder->context) != DE265_OK) {
        return failure("HEVC data libde265 cannot take");
    }
    // A HEIF item holds one picture; should a stream hold more, the last one is taken.
    int more = 0;
    do {
        more = 0;
        const de265_error error = de265_decode(decoder->context, &more);
        if (error != DE265_OK && error != DE265_ERROR_WAITING_FOR_INPUT_DATA) {
            break;
        }
        if (const de265_image* picture = de265_get_next_picture(decoder->context)) {
            heif_image* image = nullptr;
            const heif_error converted = toHeifImage(picture, &image);
            de265_release_next_picture(decoder->context);
            if (converted.code != heif_error_Ok) {
                if (*out) {
                    heif_image_release(*out);
                    *out = nullptr;
                }
                return converted;
            }
            if (*out) {
                heif_image_release(*out);
            }
            *out = image;
        }
    } while (more);
    return *out ? success() : failure("no HEVC picture could be decoded");
}

const heif_decoder_plugin kPlugin = {
    1,  // the plugin interface's first version: the functions below
    pluginName, nullptr, nullptr, supportsFormat, newDecoder, freeDecoder, pushData, decodeImage,
    nullptr, nullptr};

}  // namespace

bool hevcPictureSize(const unsigned char* nal, std::size_t size, quint32* width,
                     quint32* height) {
    if (size < 2) {
        return false;
    }
    BitReader r(nal + 2, size - 2);
    r.bits(4);  // the video parameter set's number
    const quint32 subLayers = r.bits(3);
    r.bits(1);
    // The profile, tier and level: 88 bits of the general profile, 8 of its level, then what
    // each sub-layer has.
    r.bits(32);
    r.bits(32);
    r.bits(32);
    bool profilePresent[8] = {};
    bool levelPresent[8] = {};
    for (quint32 i = 0; i < subLayers; ++i) {
        profilePresent[i] = r.bits(1) != 0;
        levelPresent[i] = r.bits(1) != 0;
    }
    if (subLayers > 0) {
        for (quint32 i = subLayers; i < 8; ++i) {
            r.bits(2);
        }
    }
    for (quint32 i = 0; i < subLayers; ++i) {
        if (profilePresent[i]) {
            r.bits(32);
            r.bits(32);
            r.bits(24);
        }
        if (levelPresent[i]) {
            r.bits(8);
        }
    }
    r.exponentialGolomb();  // the set's own number
    if (r.exponentialGolomb() == 3) {
        r.bits(1);  // colour planes coded apart
    }
    *width = r.exponentialGolomb();
    *height = r.exponentialGolomb();
    return r.ok();
}

void setHevcPictureLimit(qint64 samples) {
    g_pictureLimit = std::max<qint64>(samples, 0);
    g_pictureRefused = false;
}

bool hevcPictureRefused() {
    return g_pictureRefused.load();
}

int hevcDecodingThreads() {
    const int cores = int(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, kMostThreads);
}

void registerHevcDecoder() {
    static std::once_flag once;
    std::call_once(once, [] { heif_register_decoder_plugin(&kPlugin); });
}

}  // namespace gv
