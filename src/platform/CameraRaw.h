#pragma once
// Camera raw files (CR2, CR3, NEF, ARW, DNG, ORF, RAF, RW2) through LibRaw. Only CameraRaw.cpp
// touches LibRaw; it is a module of its own (libglimvane_raw.so), loaded by
// CameraRawPlugin.cpp on the first raw file, so that LibRaw costs a start nothing.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <optional>

namespace gv {

// What is shown of a raw file: the full-size JPEG the camera embedded, or where it embedded
// none (or only an uncompressed one), a raster: that bitmap preview, or the raw data developed
// at half size.
struct RawPreview {
    QByteArray jpeg;
    QImage raster;  // RGB888 as stored, not yet turned
    // Exif-style (1 to 8): how the stored preview is turned upright, from the raw's own tag.
    int orientation = 1;
};

// Where a raw file's bytes come from: LibRaw reads only what it needs of a file (the directories
// and the preview, seldom the raw data), so a file is read piece by piece, never whole.
// `read` copies up to n bytes from offset into `to` and answers how many it copied (0 at the
// end, -1 when the file cannot be read); it is never asked for bytes past `size`.
struct RawSource {
    const void* context = nullptr;
    qint64 size = 0;
    qint64 (*read)(const void* context, qint64 offset, char* to, qint64 n) = nullptr;
};

struct SandboxFile;
// A source of bytes in memory, or of a file read with pread; it refers to its argument, which
// must outlive it.
RawSource rawSourceOf(const QByteArrayView& bytes);
RawSource rawSourceOf(const SandboxFile& file);
RawSource rawSourceOf(QByteArrayView&&) = delete;
RawSource rawSourceOf(SandboxFile&&) = delete;

// nullopt with a reason in *why; *tooLarge when developing the raw data would pass `budget`
// bytes.
std::optional<RawPreview> readRawPreview(const RawSource& source, qint64 budget, QString* why,
                                         bool* tooLarge);

bool rawDecoderAvailable();
QString rawModuleName();

inline constexpr int kRawPluginVersion = 2;
struct RawPlugin {
    int version;
    std::optional<RawPreview> (*read)(const RawSource& source, qint64 budget, QString* why,
                                      bool* tooLarge);
};

}  // namespace gv
