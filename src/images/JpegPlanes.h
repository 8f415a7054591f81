#pragma once
// A large colour JPEG held the way it is stored: brightness at full size, the two colour
// planes at half width and half height (4:2:0), as libjpeg decodes them before it smooths the
// colour up and converts to RGB. That is half the memory of 3-byte RGB. Any rectangle is made
// into RGB on demand with libjpeg's own smoothing and conversion arithmetic, so its pixels are
// those of a full decode of the file; the whole raster carries the file's resolution, colour
// profile and comments as Qt's reader would give them.

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <atomic>
#include <cstdint>
#include <memory>

namespace gv {

struct JpegMetadata;

class JpegPlanes final {
public:
    // The planes of a 4:2:0 YCbCr JPEG; nullptr for any other kind of JPEG (greyscale, CMYK,
    // other subsampling), one too small to be worth it, or a damaged one (*damaged, when given,
    // tells which): the caller then decodes it as usual. nullptr too once *cancelled is set,
    // which is looked at band by band.
    static std::unique_ptr<JpegPlanes> decode(const QByteArray& jpeg,
                                              const std::atomic<bool>* cancelled = nullptr,
                                              bool* damaged = nullptr);

    ~JpegPlanes();
    JpegPlanes(const JpegPlanes&) = delete;
    JpegPlanes& operator=(const JpegPlanes&) = delete;

    QSize size() const { return QSize(m_width, m_height); }
    // Memory the planes take.
    qint64 bytes() const { return static_cast<qint64>(m_bandBytes) * m_bands; }

    // The pixels of `rect` (clipped to the image) as a 32-bit RGB image.
    QImage region(const QRect& rect) const;

    // The whole image at 3 bytes a pixel, in place of the planes: they are given back to the
    // system band by band as they are converted, so the two never take much more than the RGB
    // image alone. When there is no memory for the image, a null image, and the planes stay.
    static QImage toRgb888(std::unique_ptr<JpegPlanes>& planes);

private:
    friend struct JpegPlanesReader;
    JpegPlanes();

    // Sample rows of one band: 16 rows of brightness, 8 of each colour plane.
    static constexpr int kBandRows = 16;

    const uint8_t* lumaRow(int y) const;
    // Row `row` of colour plane 0 (Cb) or 1 (Cr), 0 <= row < chroma height.
    const uint8_t* chromaRow(int plane, int row) const;
    // Writes pixels [x0, x1) of row y as 32-bit RGB or as three bytes R, G, B; `work` has room
    // for workSize(x1 - x0) values (see the source).
    template <bool ThreeBytes>
    void convertRow(int y, int x0, int x1, uint8_t* out, int32_t* work) const;

    int m_width = 0;
    int m_height = 0;
    int m_lumaStride = 0;
    int m_chromaStride = 0;
    int m_bands = 0;
    size_t m_bandBytes = 0;
    uint8_t* m_memory = nullptr;
    size_t m_mappedBytes = 0;
    // What the file says about itself, for the whole raster.
    std::unique_ptr<JpegMetadata> m_metadata;
};

}  // namespace gv
