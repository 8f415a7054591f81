#include "images/JpegPlanes.h"

#include <sys/mman.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <array>
#include <vector>

#include "images/JpegDecompressor.h"

namespace gv {
namespace {

// libjpeg's fixed-point YCbCr to RGB conversion (16 fraction bits, rounded), table for table.
struct ColourTables {
    std::array<int32_t, 256> crToRed{}, cbToBlue{}, crToGreen{}, cbToGreen{};
    ColourTables() {
        constexpr int kScaleBits = 16;
        constexpr int32_t kHalf = int32_t(1) << (kScaleBits - 1);
        const auto fix = [](double x) { return static_cast<int32_t>(x * (1 << kScaleBits) + 0.5); };
        for (int i = 0; i < 256; ++i) {
            const int32_t x = i - 128;
            crToRed[i] = (fix(1.40200) * x + kHalf) >> kScaleBits;
            cbToBlue[i] = (fix(1.77200) * x + kHalf) >> kScaleBits;
            crToGreen[i] = -fix(0.71414) * x;
            cbToGreen[i] = -fix(0.34414) * x + kHalf;
        }
    }
};

const ColourTables& colourTables() {
    static const ColourTables tables;
    return tables;
}

inline uint8_t clampSample(int32_t v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

size_t roundUpToPages(size_t bytes) {
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

}  // namespace

// Reads the planes; everything in it may longjmp, so it owns no C++ object that needs
// destroying (the planes' memory is released by their destructor).
struct JpegPlanesReader {
    static bool read(JpegDecompressor& d, std::FILE* file, JpegPlanes& p) {
        if (setjmp(d.errors.jump)) {
            return false;
        }
        jpeg_stdio_src(&d.info, file);
        if (!readJpegColourHeader(d) || d.info.jpeg_color_space != JCS_YCbCr) {
            return false;
        }
        const jpeg_component_info* c = d.info.comp_info;
        const bool fourTwoZero = c[0].h_samp_factor == 2 && c[0].v_samp_factor == 2 &&
                                 c[1].h_samp_factor == 1 && c[1].v_samp_factor == 1 &&
                                 c[2].h_samp_factor == 1 && c[2].v_samp_factor == 1;
        // Narrower images are smoothed by a simpler rule; they are small anyway.
        if (!fourTwoZero || d.info.image_width < 16 || d.info.image_height < 16) {
            return false;
        }
        d.info.raw_data_out = TRUE;
        d.info.out_color_space = JCS_YCbCr;
        jpeg_start_decompress(&d.info);
        if (d.info.min_DCT_scaled_size != DCTSIZE || d.info.max_v_samp_factor != 2) {
            return false;
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
            return false;
        }
        p.m_memory = static_cast<uint8_t*>(memory);
        for (int band = 0; band < p.m_bands; ++band) {
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
                cr[r] = chroma + static_cast<size_t>(r + JpegPlanes::kBandRows / 2) *
                                     p.m_chromaStride;
            }
            JSAMPARRAY planes[3] = {luma, cb, cr};
            if (jpeg_read_raw_data(&d.info, planes, JpegPlanes::kBandRows) !=
                static_cast<JDIMENSION>(JpegPlanes::kBandRows)) {
                return false;
            }
        }
        jpeg_finish_decompress(&d.info);
        // A damaged stream is patched up by libjpeg with a warning; such a file takes the
        // ordinary decoder's way, which reports or shows it as it does for any file.
        return d.errors.base.num_warnings == 0;
    }
};

std::unique_ptr<JpegPlanes> JpegPlanes::decode(const QString& path) {
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "rbe");
    if (!file) {
        return nullptr;
    }
    std::unique_ptr<JpegPlanes> planes(new JpegPlanes);
    bool ok = false;
    {
        JpegDecompressor d;
        ok = JpegPlanesReader::read(d, file, *planes);
    }
    std::fclose(file);
    return ok ? std::move(planes) : nullptr;
}

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
void JpegPlanes::convertRow(int y, int x0, int x1, uint8_t* out, int32_t* sums) const {
    const ColourTables& t = colourTables();
    const int chromaWidth = (m_width + 1) / 2;
    const int chromaHeight = (m_height + 1) / 2;
    const int nearRow = y / 2;
    const int farRow = (y & 1) ? std::min(nearRow + 1, chromaHeight - 1) : std::max(nearRow - 1, 0);
    const int c0 = std::max(x0 / 2 - 1, 0);
    const int c1 = std::min((x1 - 1) / 2 + 1, chromaWidth - 1);
    int32_t* cbSums = sums;
    int32_t* crSums = sums + chromaWidth;
    for (int plane = 0; plane < 2; ++plane) {
        const uint8_t* nearSamples = chromaRow(plane, nearRow);
        const uint8_t* farSamples = chromaRow(plane, farRow);
        int32_t* s = plane == 0 ? cbSums : crSums;
        for (int c = c0; c <= c1; ++c) {
            s[c] = 3 * nearSamples[c] + farSamples[c];
        }
    }
    const uint8_t* luma = lumaRow(y);
    for (int x = x0; x < x1; ++x) {
        const int c = x >> 1;
        int cb, cr;
        if ((x & 1) == 0) {
            const int left = c > 0 ? c - 1 : 0;
            cb = (3 * cbSums[c] + cbSums[left] + 8) >> 4;
            cr = (3 * crSums[c] + crSums[left] + 8) >> 4;
        } else {
            const int right = c < chromaWidth - 1 ? c + 1 : c;
            cb = (3 * cbSums[c] + cbSums[right] + 7) >> 4;
            cr = (3 * crSums[c] + crSums[right] + 7) >> 4;
        }
        const int32_t l = luma[x];
        const uint8_t red = clampSample(l + t.crToRed[cr]);
        const uint8_t green = clampSample(l + ((t.cbToGreen[cb] + t.crToGreen[cr]) >> 16));
        const uint8_t blue = clampSample(l + t.cbToBlue[cb]);
        if constexpr (ThreeBytes) {
            out[0] = red;
            out[1] = green;
            out[2] = blue;
            out += 3;
        } else {
            *reinterpret_cast<QRgb*>(out) = qRgb(red, green, blue);
            out += 4;
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
    std::vector<int32_t> sums(static_cast<size_t>(m_width + 1));
    for (int y = r.top(); y <= r.bottom(); ++y) {
        convertRow<false>(y, r.left(), r.right() + 1, out.scanLine(y - r.top()), sums.data());
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
    std::vector<int32_t> sums(static_cast<size_t>(p.m_width + 1));
    for (int band = 0; band < p.m_bands; ++band) {
        const int last = std::min((band + 1) * kBandRows, p.m_height);
        for (int y = band * kBandRows; y < last; ++y) {
            p.convertRow<true>(y, 0, p.m_width, out.scanLine(y), sums.data());
        }
        // Band b smooths its first rows with the last colour row of band b - 1, which is no
        // longer needed after it.
        if (band > 0) {
            madvise(p.m_memory + p.m_bandBytes * static_cast<size_t>(band - 1), p.m_bandBytes,
                    MADV_DONTNEED);
        }
    }
    planes.reset();
    return out;
}

}  // namespace gv
