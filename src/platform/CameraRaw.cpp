// The camera raw module: built as a shared object of its own (libglimvane_raw.so) and loaded
// by CameraRawPlugin.cpp on the first raw file. LibRaw finds the preview the camera embedded;
// it develops the raw data itself only for files without a usable preview.

#include "platform/CameraRaw.h"

#include <libraw.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace gv {
namespace {

constexpr qint64 kMaxPreviewBytes = qint64(1) << 30;

// LibRaw's flip (dcraw's bits: 4 swaps the axes, 2 mirrors rows, 1 mirrors columns) as the
// Exif orientation it was read from.
int exifOrientation(int flip) {
    static const int kFromFlip[8] = {1, 2, 4, 3, 5, 8, 6, 7};
    return flip >= 0 && flip < 8 ? kFromFlip[flip] : 1;
}

QString reason(int code) {
    return QString::fromLatin1(libraw_strerror(code));
}

// The raw data developed at half size, without turning it (the caller turns it once).
std::optional<QImage> develop(LibRaw& raw, qint64 budget, QString* why, bool* tooLarge) {
    const libraw_image_sizes_t& s = raw.imgdata.sizes;
    const qint64 rawBytes = qint64(s.raw_width) * s.raw_height * 2;
    const qint64 halfPixels = qint64(s.width / 2 + 1) * (s.height / 2 + 1);
    if (rawBytes + halfPixels * (8 + 3 + 4) > budget) {
        *tooLarge = true;
        *why = QStringLiteral("the raw data would not fit the memory budget");
        return std::nullopt;
    }
    raw.imgdata.params.half_size = 1;
    raw.imgdata.params.use_camera_wb = 1;
    raw.imgdata.params.output_bps = 8;
    raw.imgdata.params.user_flip = 0;
    int rc = raw.unpack();
    if (rc == LIBRAW_SUCCESS) {
        rc = raw.dcraw_process();
    }
    if (rc != LIBRAW_SUCCESS) {
        *why = reason(rc);
        return std::nullopt;
    }
    libraw_processed_image_t* image = raw.dcraw_make_mem_image(&rc);
    if (!image) {
        *why = reason(rc);
        return std::nullopt;
    }
    const std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> held(
        image, LibRaw::dcraw_clear_mem);
    if (image->type != LIBRAW_IMAGE_BITMAP || image->colors != 3 || image->bits != 8 ||
        qint64(image->width) * image->height * 3 != qint64(image->data_size)) {
        *why = QStringLiteral("the raw data cannot be developed");
        return std::nullopt;
    }
    QImage out(image->width, image->height, QImage::Format_RGB888);
    if (out.isNull()) {
        *tooLarge = true;
        *why = QStringLiteral("out of memory");
        return std::nullopt;
    }
    for (int y = 0; y < image->height; ++y) {
        std::memcpy(out.scanLine(y), image->data + qint64(y) * image->width * 3,
                    std::size_t(image->width) * 3);
    }
    return out;
}

// LibRaw's view of a RawSource: a file read piece by piece through a window of the bytes last
// read, which its many small reads (a directory's entries, two bytes at a time) are served from.
// A source that ends early reads as a file that ends there; one whose read fails is remembered.
class SourceStream final : public LibRaw_abstract_datastream {
public:
    explicit SourceStream(const RawSource& source) : m_source(source) {}

    int valid() override { return 1; }

    int read(void* to, size_t itemSize, size_t count) override {
        const qint64 left = m_source.size - m_position;
        if (itemSize == 0 || count == 0 || left <= 0) {
            return 0;
        }
        // What is left of the file at most (and what an int counts), without overflow.
        const qint64 most = std::min<qint64>(left, kMaxRead);
        const qint64 wanted =
            count > std::size_t(most) / itemSize ? most : qint64(itemSize * count);
        qint64 done = 0;
        auto* out = static_cast<char*>(to);
        while (done < wanted && m_position < m_source.size) {
            const qint64 got = wanted - done >= qint64(sizeof m_window)
                                   ? readSource(m_position, out + done, wanted - done)
                                   : fromWindow(out + done, wanted - done);
            if (got <= 0) {
                break;
            }
            done += got;
            m_position += got;
        }
        return int(done / qint64(itemSize));
    }

    // Past either end stops there, as LibRaw's own streams do; offsets come from the file.
    int seek(INT64 offset, int whence) override {
        INT64 from = 0;
        if (whence == SEEK_CUR) {
            from = m_position;
        } else if (whence == SEEK_END) {
            from = m_source.size;
        } else if (whence != SEEK_SET) {
            return -1;
        }
        INT64 to = 0;
        if (__builtin_add_overflow(from, offset, &to)) {
            to = offset < 0 ? 0 : m_source.size;
        }
        m_position = std::clamp<INT64>(to, 0, m_source.size);
        return 0;
    }

    // Whether a read failed (the disk, not the end of the file): LibRaw reads on as if the
    // file ended there, and would make a picture of what it did not read.
    bool failed() const { return m_failed; }

    INT64 tell() override { return m_position; }
    INT64 size() override { return m_source.size; }

    int get_char() override {
        char c = 0;
        if (m_position >= m_source.size || fromWindow(&c, 1) != 1) {
            return -1;
        }
        ++m_position;
        return uchar(c);
    }

    char* gets(char* line, int size) override {
        if (size <= 0 || m_position >= m_source.size) {
            return nullptr;
        }
        int n = 0;
        while (n < size - 1) {
            const int c = get_char();
            if (c < 0) {
                break;
            }
            line[n++] = char(c);
            if (c == '\n') {
                break;
            }
        }
        line[n] = 0;
        return line;
    }

    // One number (or word) at the position, as LibRaw's own memory stream reads it: the text
    // from here, then past the item it read (at most 24 bytes).
    int scanf_one(const char* format, void* value) override {
        char text[32] = {};
        const qint64 start = m_position;
        const qint64 n = readSource(start, text, qint64(sizeof text) - 1);
        if (n <= 0) {
            return 0;
        }
        const int result = std::sscanf(text, format, value);
        if (result > 0) {
            int skipped = 0;
            while (m_position < m_source.size) {
                ++m_position;
                ++skipped;
                const qint64 at = m_position - start;
                const char c = at < n ? text[at] : 0;
                if (c == 0 || c == ' ' || c == '\t' || c == '\n' || skipped > 24) {
                    break;
                }
            }
        }
        return result;
    }

    int eof() override { return m_position >= m_source.size ? 1 : 0; }
    void* make_jas_stream() override { return nullptr; }

private:
    static constexpr qint64 kMaxRead = qint64(1) << 30;

    qint64 readSource(qint64 offset, char* to, qint64 n) {
        n = std::min(n, m_source.size - offset);
        const qint64 got = n > 0 ? m_source.read(m_source.context, offset, to, n) : 0;
        if (got < 0) {
            m_failed = true;
        }
        return got;
    }

    // Up to n bytes at the position, from the window (read again there when the position lies
    // outside it); the position itself is left where it is.
    qint64 fromWindow(char* to, qint64 n) {
        if (m_position < m_windowStart || m_position >= m_windowStart + m_windowLength) {
            m_windowStart = m_position;
            m_windowLength = std::max<qint64>(readSource(m_position, m_window, sizeof m_window), 0);
        }
        const qint64 at = m_position - m_windowStart;
        n = std::min(n, m_windowLength - at);
        if (n <= 0) {
            return 0;
        }
        std::memcpy(to, m_window + at, std::size_t(n));
        return n;
    }

    const RawSource m_source;
    INT64 m_position = 0;
    qint64 m_windowStart = 0;
    qint64 m_windowLength = 0;
    bool m_failed = false;
    char m_window[64 * 1024];
};

std::optional<RawPreview> readFrom(SourceStream& stream, qint64 budget, QString* why,
                                   bool* tooLarge) {
    // LibRaw holds its tables inline: far too large for a thread's stack.
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    int rc = raw->open_datastream(&stream);
    if (rc != LIBRAW_SUCCESS) {
        *why = reason(rc);
        return std::nullopt;
    }
    RawPreview preview;
    preview.orientation = exifOrientation(raw->imgdata.sizes.flip);
    rc = raw->unpack_thumb();
    const libraw_thumbnail_t& t = raw->imgdata.thumbnail;
    if (rc == LIBRAW_SUCCESS && t.thumb && t.tlength > 2 && t.tlength < kMaxPreviewBytes) {
        if (t.tformat == LIBRAW_THUMBNAIL_JPEG && uchar(t.thumb[0]) == 0xFF &&
            uchar(t.thumb[1]) == 0xD8) {
            preview.jpeg = QByteArray(t.thumb, qsizetype(t.tlength));
            return preview;
        }
        if (t.tformat == LIBRAW_THUMBNAIL_BITMAP && t.tcolors == 3 && t.twidth > 0 &&
            t.theight > 0 && qint64(t.twidth) * t.theight * 3 == qint64(t.tlength)) {
            QImage image(reinterpret_cast<const uchar*>(t.thumb), t.twidth, t.theight,
                         qsizetype(t.twidth) * 3, QImage::Format_RGB888);
            preview.raster = image.copy();
            if (!preview.raster.isNull()) {
                return preview;
            }
        }
    }
    std::optional<QImage> developed = develop(*raw, budget, why, tooLarge);
    if (!developed) {
        return std::nullopt;
    }
    preview.raster = std::move(*developed);
    return preview;
}

std::optional<RawPreview> read(const RawSource& source, qint64 budget, QString* why,
                               bool* tooLarge) {
    *tooLarge = false;
    if (!source.read || source.size < 0) {
        *why = QStringLiteral("the file cannot be read");
        return std::nullopt;
    }
    // LibRaw reads through the stream until it is done with it, and never owns it.
    const auto stream = std::make_unique<SourceStream>(source);
    std::optional<RawPreview> preview = readFrom(*stream, budget, why, tooLarge);
    if (stream->failed()) {
        *tooLarge = false;
        *why = QStringLiteral("the file could not be read to its end");
        return std::nullopt;
    }
    return preview;
}

const RawPlugin kPlugin{kRawPluginVersion, read};

}  // namespace
}  // namespace gv

extern "C" __attribute__((visibility("default"))) const gv::RawPlugin* glimvane_raw_plugin() {
    return &gv::kPlugin;
}
