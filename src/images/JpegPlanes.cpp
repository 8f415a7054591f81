#include "images/JpegPlanes.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "images/JpegDecompressor.h"

namespace gv {
namespace {

// libjpeg's fixed-point YCbCr to RGB conversion: 16 fraction bits, the red and blue terms
// rounded on their own, the two green terms rounded together. Computed rather than looked up
// (libjpeg's tables hold these very values), so that the compiler can do several pixels at once.
constexpr int kScaleBits = 16;
constexpr int32_t kHalf = int32_t(1) << (kScaleBits - 1);
constexpr int32_t fix(double x) {
    return static_cast<int32_t>(x * (1 << kScaleBits) + 0.5);
}
constexpr int32_t kCrToRed = fix(1.40200);
constexpr int32_t kCbToBlue = fix(1.77200);
constexpr int32_t kCrToGreen = fix(0.71414);
constexpr int32_t kCbToGreen = fix(0.34414);

inline int32_t clampSample(int32_t v) {
    return std::min(std::max(v, 0), 255);
}

// Room convertRow needs for a row part `width` pixels wide: sums of two planes over its colour
// columns and one more on each side, and two smoothed samples per colour column for each plane.
size_t workSize(int width) {
    const size_t columns = static_cast<size_t>(width) / 2 + 2;
    return 2 * (columns + 2) + 4 * columns;
}

size_t roundUpToPages(size_t bytes) {
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

}  // namespace

// Reads the planes; everything in it may longjmp, so it owns no C++ object that needs
// destroying (the planes' memory is released by their destructor).
struct JpegPlanesReader {
    static JpegRead read(JpegDecompressor& d, const QByteArray& jpeg,
                         const std::atomic<bool>* cancelled, JpegPlanes& p) {
        if (setjmp(d.errors.jump)) {
            return d.headerRead ? JpegRead::Damaged : JpegRead::OtherKind;
        }
        jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                     static_cast<unsigned long>(jpeg.size()));
        keepJpegMetadataMarkers(d);
        if (!readJpegColourHeader(d) || d.info.jpeg_color_space != JCS_YCbCr) {
            return JpegRead::OtherKind;
        }
        readJpegMetadata(d, p.m_metadata.get());
        const jpeg_component_info* c = d.info.comp_info;
        const bool fourTwoZero = c[0].h_samp_factor == 2 && c[0].v_samp_factor == 2 &&
                                 c[1].h_samp_factor == 1 && c[1].v_samp_factor == 1 &&
                                 c[2].h_samp_factor == 1 && c[2].v_samp_factor == 1;
        // Narrower images are smoothed by a simpler rule; they are small anyway.
        if (!fourTwoZero || d.info.image_width < 16 || d.info.image_height < 16) {
            return JpegRead::OtherKind;
        }
        d.info.raw_data_out = TRUE;
        d.info.out_color_space = JCS_YCbCr;
        jpeg_start_decompress(&d.info);
        if (d.info.min_DCT_scaled_size != DCTSIZE || d.info.max_v_samp_factor != 2) {
            return JpegRead::OtherKind;
        }
        p.m_width = static_cast<int>(d.info.output_width);
        p.m_height = static_cast<int>(d.info.output_height);
        // Rows padded to whole 16-pixel units, as libjpeg writes them (the MCU count of the
        // last scan of a progressive file may be per block, so it is not taken from there).
        const int units = (p.m_width + 2 * DCTSIZE - 1) / (2 * DCTSIZE);
        p.m_lumaStride = units * 2 * DCTSIZE;
        p.m_chromaStride = units * DCTSIZE;
        p.m_bands = static_cast<int>(d.info.total_iMCU_rows);
        p.m_bandBytes = roundUpToPages(static_cast<size_t>(JpegPlanes::kBandRows) *
                                       (p.m_lumaStride + p.m_chromaStride));
        p.m_mappedBytes = p.m_bandBytes * static_cast<size_t>(p.m_bands);
        void* memory = mmap(nullptr, p.m_mappedBytes, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (memory == MAP_FAILED) {
            p.m_mappedBytes = 0;
            return JpegRead::Stopped;
        }
        p.m_memory = static_cast<uint8_t*>(memory);
        for (int band = 0; band < p.m_bands; ++band) {
            if (cancelled && cancelled->load()) {
                return JpegRead::Stopped;
            }
            uint8_t* base = p.m_memory + p.m_bandBytes * static_cast<size_t>(band);
            JSAMPROW luma[JpegPlanes::kBandRows];
            JSAMPROW cb[JpegPlanes::kBandRows / 2];
            JSAMPROW cr[JpegPlanes::kBandRows / 2];
            for (int r = 0; r < JpegPlanes::kBandRows; ++r) {
                luma[r] = base + static_cast<size_t>(r) * p.m_lumaStride;
            }
            uint8_t* chroma = base + static_cast<size_t>(JpegPlanes::kBandRows) * p.m_lumaStride;
            for (int r = 0; r < JpegPlanes::kBandRows / 2; ++r) {
                cb[r] = chroma + static_cast<size_t>(r) * p.m_chromaStride;
                cr[r] =
                    chroma + static_cast<size_t>(r + JpegPlanes::kBandRows / 2) * p.m_chromaStride;
            }
            JSAMPARRAY planes[3] = {luma, cb, cr};
            if (jpeg_read_raw_data(&d.info, planes, JpegPlanes::kBandRows) !=
                static_cast<JDIMENSION>(JpegPlanes::kBandRows)) {
                return JpegRead::Damaged;
            }
        }
        jpeg_finish_decompress(&d.info);
        // A damaged stream is patched up by libjpeg with a warning; such a file takes the
        // ordinary decoder's way, which reports or shows it as it does for any file.
        return d.errors.base.num_warnings == 0 ? JpegRead::Done : JpegRead::Damaged;
    }
};

std::unique_ptr<JpegPlanes> JpegPlanes::decode(const QByteArray& jpeg,
                                               const std::atomic<bool>* cancelled, bool* damaged) {
    std::unique_ptr<JpegPlanes> planes(new JpegPlanes);
    planes->m_metadata = std::make_unique<JpegMetadata>();
    JpegRead outcome = JpegRead::Stopped;
    {
        JpegDecompressor d;
        outcome = JpegPlanesReader::read(d, jpeg, cancelled, *planes);
    }
    if (damaged) {
        *damaged = outcome == JpegRead::Damaged;
    }
    return outcome == JpegRead::Done ? std::move(planes) : nullptr;
}

JpegPlanes::JpegPlanes() = default;

JpegPlanes::~JpegPlanes() {
    if (m_memory) {
        munmap(m_memory, m_mappedBytes);
    }
}

const uint8_t* JpegPlanes::lumaRow(int y) const {
    return m_memory + m_bandBytes * static_cast<size_t>(y / kBandRows) +
           static_cast<size_t>(y % kBandRows) * m_lumaStride;
}

const uint8_t* JpegPlanes::chromaRow(int plane, int row) const {
    constexpr int kChromaRows = kBandRows / 2;
    return m_memory + m_bandBytes * static_cast<size_t>(row / kChromaRows) +
           static_cast<size_t>(kBandRows) * m_lumaStride +
           static_cast<size_t>(plane * kChromaRows + row % kChromaRows) * m_chromaStride;
}

// libjpeg's smoothing of 4:2:0 colour: each output sample is 9/16 of the nearest stored
// sample, 3/16 of each of the next nearest across and down, 1/16 of the diagonal one, with
// alternating rounding; beyond the edges the edge samples repeat.
template <bool ThreeBytes>
void JpegPlanes::convertRow(int y, int x0, int x1, uint8_t* out, int32_t* work) const {
    const int chromaWidth = (m_width + 1) / 2;
    const int chromaHeight = (m_height + 1) / 2;
    const int nearRow = y / 2;
    const int farRow = (y & 1) ? std::min(nearRow + 1, chromaHeight - 1) : std::max(nearRow - 1, 0);
    // Colour columns covering [x0, x1), one more on each side inside the image.
    const int first = x0 / 2;
    const int last = (x1 - 1) / 2;
    const int from = std::max(first - 1, 0);
    const int to = std::min(last + 1, chromaWidth - 1);
    const int count = last - first + 1;
    // work: the vertical sums of both planes for columns first - 1 .. last + 1 (edges
    // repeated), then the smoothed samples of both planes for output columns 2 * first ..
    int32_t* sums[2] = {work, work + count + 2};
    int32_t* smooth[2] = {work + 2 * (count + 2), work + 2 * (count + 2) + 2 * count};
    for (int plane = 0; plane < 2; ++plane) {
        const uint8_t* nearSamples = chromaRow(plane, nearRow);
        const uint8_t* farSamples = chromaRow(plane, farRow);
        int32_t* s = sums[plane] + 1 - first;  // s[c] for c in first - 1 .. last + 1
        for (int c = from; c <= to; ++c) {
            s[c] = 3 * nearSamples[c] + farSamples[c];
        }
        if (from == first) {
            s[first - 1] = s[first];
        }
        if (to == last) {
            s[last + 1] = s[last];
        }
        int32_t* up = smooth[plane];
        for (int c = first; c <= last; ++c) {
            const int32_t near3 = 3 * s[c];
            up[2 * (c - first)] = (near3 + s[c - 1] + 8) >> 4;
            up[2 * (c - first) + 1] = (near3 + s[c + 1] + 7) >> 4;
        }
    }
    const uint8_t* luma = lumaRow(y);
    const int32_t* cbUp = smooth[0] + (x0 - 2 * first);
    const int32_t* crUp = smooth[1] + (x0 - 2 * first);
    const int n = x1 - x0;
    for (int i = 0; i < n; ++i) {
        const int32_t cb = cbUp[i] - 128;
        const int32_t cr = crUp[i] - 128;
        const int32_t l = luma[x0 + i];
        const int32_t red = clampSample(l + ((kCrToRed * cr + kHalf) >> kScaleBits));
        const int32_t green =
            clampSample(l + ((kHalf - kCbToGreen * cb - kCrToGreen * cr) >> kScaleBits));
        const int32_t blue = clampSample(l + ((kCbToBlue * cb + kHalf) >> kScaleBits));
        if constexpr (ThreeBytes) {
            out[3 * i] = static_cast<uint8_t>(red);
            out[3 * i + 1] = static_cast<uint8_t>(green);
            out[3 * i + 2] = static_cast<uint8_t>(blue);
        } else {
            reinterpret_cast<uint32_t*>(out)[i] =
                0xFF000000u | static_cast<uint32_t>(red << 16 | green << 8 | blue);
        }
    }
}

QImage JpegPlanes::region(const QRect& rect) const {
    const QRect r = rect.intersected(QRect(0, 0, m_width, m_height));
    if (r.isEmpty()) {
        return QImage();
    }
    QImage out(r.size(), QImage::Format_RGB32);
    if (out.isNull()) {
        return out;
    }
    std::vector<int32_t> work(workSize(r.width()));
    for (int y = r.top(); y <= r.bottom(); ++y) {
        convertRow<false>(y, r.left(), r.right() + 1, out.scanLine(y - r.top()), work.data());
    }
    return out;
}

QImage JpegPlanes::toRgb888(std::unique_ptr<JpegPlanes>& planes) {
    if (!planes) {
        return QImage();
    }
    const JpegPlanes& p = *planes;
    QImage out(p.m_width, p.m_height, QImage::Format_RGB888);
    if (out.isNull()) {
        return out;
    }
    std::vector<int32_t> work(workSize(p.m_width));
    for (int band = 0; band < p.m_bands; ++band) {
        const int last = std::min((band + 1) * kBandRows, p.m_height);
        for (int y = band * kBandRows; y < last; ++y) {
            p.convertRow<true>(y, 0, p.m_width, out.scanLine(y), work.data());
        }
        // Band b smooths its first rows with the last colour row of band b - 1, which is no
        // longer needed after it.
        if (band > 0) {
            madvise(p.m_memory + p.m_bandBytes * static_cast<size_t>(band - 1), p.m_bandBytes,
                    MADV_DONTNEED);
        }
    }
    p.m_metadata->applyTo(out);
    planes.reset();
    return out;
}

}  // namespace gv
