#include "images/IcoReader.h"

#include <algorithm>
#include <vector>

#include "images/BmpReader.h"
#include "platform/Png.h"

namespace gv {
namespace {

constexpr qsizetype kDirectoryHeader = 6;
constexpr qsizetype kEntrySize = 16;
// Icon files list at most this many images worth looking at; more is a broken header.
constexpr int kMaxEntries = 64;
constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

struct Candidate {
    QByteArrayView bytes;
    qint64 pixels = 0;
    int bitCount = 0;
    bool png = false;
};

// What an entry's own image header says; the directory's sizes are only a hint and are
// often wrong (0 for 256, or another image's size).
std::optional<Candidate> inspect(QByteArrayView bytes) {
    Candidate c;
    c.bytes = bytes;
    if (bytes.startsWith(QByteArrayView(kPngSignature, 8))) {
        if (bytes.size() < 33) {
            return std::nullopt;
        }
        const auto* ihdr = reinterpret_cast<const uchar*>(bytes.data()) + 16;
        c.png = true;
        // A PNG's sides are at most 2^31 - 1; larger ones would overflow the product.
        const quint32 width = be32(ihdr);
        const quint32 height = be32(ihdr + 4);
        if (width > 0x7fffffffu || height > 0x7fffffffu) {
            return std::nullopt;
        }
        c.pixels = qint64(width) * height;
        c.bitCount = ihdr[8] * 4;  // a rank only: any PNG beats a bitmap of the same size
        return c;
    }
    const std::optional<IconBitmapSummary> summary = iconBitmapSummary(bytes);
    if (!summary) {
        return std::nullopt;
    }
    c.pixels = qint64(summary->size.width()) * summary->size.height();
    c.bitCount = summary->bitCount;
    return c;
}

RasterRead decodeEntry(const Candidate& c, qint64 budget) {
    if (!c.png) {
        return readIconBitmap(c.bytes, budget);
    }
    RasterRead r;
    bool tooLarge = false;
    std::optional<QImage> image = readPng(c.bytes, budget, &r.why, &tooLarge);
    if (!image) {
        r.failure = tooLarge ? RasterFailure::TooLarge : RasterFailure::Invalid;
        return r;
    }
    r.image = std::move(*image);
    return r;
}

}  // namespace

RasterRead readIcon(QByteArrayView file, qint64 budget) {
    const auto* bytes = reinterpret_cast<const uchar*>(file.data());
    if (file.size() < kDirectoryHeader || le16(bytes) != 0 ||
        (le16(bytes + 2) != 1 && le16(bytes + 2) != 2)) {
        return rasterInvalid("not an icon or cursor file");
    }
    const int count = std::min<int>(le16(bytes + 4), kMaxEntries);
    std::vector<Candidate> candidates;
    for (int i = 0; i < count; ++i) {
        const qsizetype at = kDirectoryHeader + i * kEntrySize;
        if (at + kEntrySize > file.size()) {
            break;
        }
        const qint64 length = le32(bytes + at + 8);
        const qint64 offset = le32(bytes + at + 12);
        if (offset < kDirectoryHeader || offset >= file.size()) {
            continue;
        }
        // An image that claims more bytes than the file has runs to the end of the file.
        const qint64 available = std::min<qint64>(length, file.size() - offset);
        if (std::optional<Candidate> c = inspect(file.sliced(offset, available))) {
            candidates.push_back(*c);
        }
    }
    if (candidates.empty()) {
        return rasterInvalid("icon file without a readable image");
    }
    std::stable_sort(
        candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
            return a.pixels != b.pixels ? a.pixels > b.pixels : a.bitCount > b.bitCount;
        });
    // The best image that decodes; a broken one gives way to the next.
    RasterRead first;
    for (size_t i = 0; i < candidates.size(); ++i) {
        RasterRead r = decodeEntry(candidates[i], budget);
        if (r.ok() || r.failure == RasterFailure::TooLarge) {
            return r;
        }
        if (i == 0) {
            first = std::move(r);
        }
    }
    return first;
}

}  // namespace gv
