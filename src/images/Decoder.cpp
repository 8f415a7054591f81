#include "images/Decoder.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <functional>
#include <limits>

#include "images/BmpReader.h"
#include "images/DecodeCost.h"
#include "images/EmbeddedMetadata.h"
#include "images/EpsPreview.h"
#include "images/HeaderSize.h"
#include "images/IcoReader.h"
#include "images/ImageTypeCatalogue.h"
#include "images/IsolatedDecode.h"
#include "images/JpegPlanes.h"
#include "images/JpegRegion.h"
#include "images/MemoryBudget.h"
#include "images/Metafile.h"
#include "images/Orientation.h"
#include "images/PcxReader.h"
#include "images/PictReader.h"
#include "images/SvgPicture.h"
#include "images/TgaReader.h"
#include "platform/CameraRaw.h"
#include "platform/Fd.h"
#include "platform/FileAccess.h"
#include "platform/Ghostscript.h"
#include "platform/GraphicsMagick.h"
#include "platform/PhotoFormats.h"
#include "platform/Png.h"
#include "platform/Sandbox.h"
#include "platform/Screen.h"
#include "platform/Tiff.h"

namespace gv {
namespace {

constexpr qint64 kBytesPerPixel = 4;
constexpr qint64 kMiB = 1024 * 1024;
// From this size on (a 2560x1600 screen's worth), a JPEG shown at 1:1 is held as its planes.
constexpr qint64 kPlanesFromPixels = 4'000'000;

DecodeError invalidPicture(const QString& why) {
    return {kErrInvalidPicture, QStringLiteral("Invalid picture: ") + why};
}

DecodeError outOfMemory() {
    return {kErrOutOfMemory, QStringLiteral("Out of memory")};
}

bool exceedsBudget(QSize size, qint64 budget) {
    return rasterExceedsBudget(size.width(), size.height(), budget);
}

int allocationLimitMb(qint64 budget) {
    return static_cast<int>(std::clamp<qint64>(budget / kMiB, 1, std::numeric_limits<int>::max()));
}

double effectiveDpi(const DecodeRequest& request) {
    if (request.dpi > 0) {
        return request.dpi;
    }
    return 1440.0 / twipsPerPixelX();
}

std::optional<QByteArray> readWholeFile(const QString& path, qint64 limit, DecodeError* error) {
    QFile f;
    if (!openForReading(f, path)) {
        *error = {kErrFileAccess, QStringLiteral("Path/File access error")};
        return std::nullopt;
    }
    // The size of the file that was opened, whatever the path names by now.
    const qint64 size = f.size();
    if (size > limit) {
        *error = outOfMemory();
        return std::nullopt;
    }
    QByteArray bytes = f.read(size);
    if (bytes.size() != size) {
        *error = invalidPicture(QStringLiteral("file shorter than expected"));
        return std::nullopt;
    }
    return bytes;
}

// How much of a JPEG's start is read for its orientation and colour profile where the decoder
// reads the file itself: the profile's segments come before the image data.
constexpr qint64 kMetadataPeekBytes = 1024 * 1024;

// The picture, knowing the profile its pixels were converted from.
Picture convertedFrom(Picture picture, const EmbeddedMetadata& meta) {
    if (!meta.iccProfile.isEmpty()) {
        picture.keepSourceProfile(meta.iccProfile);
    }
    return picture;
}

// What a raster reader gave, upright and in the display's colours as `meta` says.
DecodeResult pictureOf(RasterRead read, PictureKind kind, const QByteArray& original, double dpi,
                       const EmbeddedMetadata& meta, const QByteArray& display) {
    if (read.failure == RasterFailure::TooLarge) {
        return outOfMemory();
    }
    if (!read.ok()) {
        return invalidPicture(read.why);
    }
    return convertedFrom(Picture::fromRaster(shownAsMeant(std::move(read.image), meta, display),
                                             kind, original, dpi),
                         meta);
}

// The result of one of the platform's decoding libraries as our readers give theirs.
RasterRead fromLibrary(std::optional<QImage> image, QString why, bool tooLarge) {
    RasterRead r;
    if (image) {
        r.image = std::move(*image);
    } else {
        r.failure = tooLarge ? RasterFailure::TooLarge : RasterFailure::Invalid;
        r.why = std::move(why);
    }
    return r;
}

RasterRead readPngBytes(QByteArrayView bytes, qint64 budget) {
    QString why;
    bool tooLarge = false;
    std::optional<QImage> image = readPng(bytes, budget, &why, &tooLarge);
    return fromLibrary(std::move(image), std::move(why), tooLarge);
}

DecodeError tiffModuleMissing() {
    return {kErrLoadingModule, QStringLiteral("Error in loading the TIFF decoder: %1 is missing "
                                              "beside the program. Reinstall Glimvane.")
                                   .arg(tiffModuleName())};
}

RasterRead readTiffBytes(QByteArrayView bytes, qint64 budget) {
    QString why;
    bool tooLarge = false;
    std::optional<QImage> image = readTiff(bytes, budget, &why, &tooLarge, &newRaster);
    return fromLibrary(std::move(image), std::move(why), tooLarge);
}

DecodeError photoModuleMissing() {
    return {kErrLoadingModule, QStringLiteral("Error in loading the decoder: %1 is missing beside "
                                              "the program. Reinstall Glimvane.")
                                   .arg(photoFormatsModuleName())};
}

PhotoFormat photoFormatOf(ImageDecoder decoder) {
    switch (decoder) {
        case ImageDecoder::Avif:
            return PhotoFormat::Avif;
        case ImageDecoder::Heif:
            return PhotoFormat::Heif;
        case ImageDecoder::JpegXl:
            return PhotoFormat::JpegXl;
        default:
            return PhotoFormat::WebP;
    }
}

// The module's rasters come from where our own readers take theirs (the helper's shared memory).
QImage photoRaster(int width, int height, QImage::Format format) {
    return allocateRaster(width, height, format, std::numeric_limits<qint64>::max()).image;
}

// A WebP, AVIF, HEIF or JPEG XL picture, upright and in the display's colours; an animated one
// with every frame so.
DecodeResult photoPicture(QByteArrayView bytes, ImageDecoder decoder, const DecodeRequest& request,
                          double dpi) {
    if (!photoFormatsAvailable()) {
        return photoModuleMissing();
    }
    PhotoRead read =
        readPhotoFormat(bytes, photoFormatOf(decoder), request.memoryBudget, photoRaster);
    if (read.tooLarge) {
        return outOfMemory();
    }
    if (!read.ok()) {
        return invalidPicture(read.why);
    }
    EmbeddedMetadata meta;
    meta.iccProfile = read.iccProfile;
    meta.orientation = read.orientation;
    if (!read.exif.isEmpty()) {
        meta.orientation = readEmbeddedMetadata(read.exif).orientation;
    }
    const QByteArray& display = request.displayProfile;
    for (QImage& frame : read.frames) {
        frame = shownAsMeant(std::move(frame), meta, display);
    }
    Picture picture = Picture::fromRaster(read.frames.constFirst(), PictureKind::Bitmap, {}, dpi);
    if (read.frames.size() > 1) {
        picture.keepAnimation({std::move(read.frames), std::move(read.delaysMs)});
    }
    return convertedFrom(std::move(picture), meta);
}

// The pixel size that fits the box with the aspect kept, never below one pixel.
QSize fittedSize(QSize image, QSize box) {
    QSize s = image.scaled(box, Qt::KeepAspectRatio);
    return s.expandedTo(QSize(1, 1));
}

void configure(QImageReader& reader, qint64 budget) {
    // Only the format the extension names; a mislabelled file is an invalid picture.
    reader.setAutoDetectImageFormat(false);
    reader.setAllocationLimit(allocationLimitMb(budget));
    reader.setAutoTransform(false);
}

DecodeResult decodeWithGraphicsMagick(const QByteArray& bytes, const char* coder,
                                      const DecodeRequest& request, double dpi);

// The 1:1 decode of a file with one of Qt's readers, shown as `meta` says.
DecodeResult readWithQt(QIODevice* device, const QByteArray& format, qint64 budget, double dpi,
                        const EmbeddedMetadata& meta, const QByteArray& display) {
    QImageReader reader(device, format);
    configure(reader, budget);
    const QSize size = reader.size();
    if (exceedsBudget(size, budget)) {
        return outOfMemory();
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return invalidPicture(reader.errorString());
    }
    return convertedFrom(Picture::fromRaster(shownAsMeant(std::move(image), meta, display),
                                             PictureKind::Bitmap, {}, dpi),
                         meta);
}

// How often a JPEG is read again when it changed while it was read.
constexpr int kSnapshotTries = 3;

bool sameVersion(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// The bytes of the open file, read into memory of our own: every decode of a JPEG shown at 1:1
// (its first part, its rest on a worker, Qt's reader for a damaged one) reads this one copy, so
// a file renamed, replaced or rewritten meanwhile cannot make them decode another picture, and
// a file that shrinks cannot fault a reader the way a memory map of it would. A file that
// changes while it is read is read again; one that keeps changing is decoded as read, and
// fails as any damaged file does.
std::optional<QByteArray> readSnapshot(QFile& file, qint64 limit, DecodeError* error) {
    const int fd = file.handle();
    const DecodeError accessError{kErrFileAccess, QStringLiteral("Path/File access error")};
    QByteArray bytes;
    for (int attempt = 0; attempt < kSnapshotTries; ++attempt) {
        struct stat before {};
        if (::fstat(fd, &before) != 0) {
            *error = accessError;
            return std::nullopt;
        }
        if (before.st_size > limit) {
            *error = outOfMemory();
            return std::nullopt;
        }
        bytes.resize(static_cast<qsizetype>(before.st_size));
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pread(fd, bytes.data() + done, size_t(bytes.size() - done), done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                *error = accessError;
                return std::nullopt;
            }
            if (n == 0) {
                break;  // shorter now than it was a moment ago
            }
            done += n;
        }
        bytes.truncate(done);
        struct stat after {};
        if (::fstat(fd, &after) == 0 && sameVersion(before, after) && done == before.st_size) {
            break;
        }
    }
    return bytes;
}

// What Qt's reader makes of JPEG bytes: the ordinary decoder, for files the shortcuts below do
// not take and for damaged ones, so that these show exactly as they always do.
DecodeResult readJpegWithQt(const QByteArray& bytes, qint64 budget, double dpi,
                            const EmbeddedMetadata& meta, const QByteArray& display) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readWithQt(&buffer, "jpeg", budget, dpi, meta, display);
}

// A colour JPEG shown at 1:1, decoded by libjpeg directly (Qt's reader and the image plugins it
// loads on first use are not needed): the top-left part of the upright picture first when it
// is larger than what the view shows first, the rest on a worker; a smaller one whole, at 3
// bytes a pixel. nullopt leaves the file to Qt's reader: greyscale and CMYK files, damaged ones.
std::optional<DecodeResult> decodeColourJpeg(const QByteArray& bytes, const DecodeRequest& request,
                                             double dpi, const EmbeddedMetadata& meta) {
    const std::optional<QSize> stored = colourJpegSize(bytes);
    if (!stored) {
        return std::nullopt;
    }
    if (exceedsBudget(*stored, request.memoryBudget)) {
        return DecodeResult(outOfMemory());
    }
    const QByteArray display = request.displayProfile;
    const QSize shown = orientedSize(*stored, meta.orientation);
    const QSize first = request.firstRegion;
    if (first.isValid() && (shown.width() > first.width() || shown.height() > first.height())) {
        // The corner of the upright picture, wherever it lies in the file.
        const QRect corner = QRect(QPoint(0, 0), first) & QRect(QPoint(0, 0), shown);
        std::optional<QImage> part =
            decodeJpegRegion(bytes, storedRect(corner, *stored, meta.orientation));
        if (!part) {
            return std::nullopt;
        }
        // Large colour JPEGs as their planes, at half the memory, when they are shown as
        // stored; others straight into the one raster the picture keeps, at 3 bytes a pixel,
        // turned and converted on the worker. A damaged file is decoded once more by Qt's
        // reader, which decides what it shows, as it does for a file opened in Best Fit.
        const bool asStored =
            meta.orientation == 1 && (meta.iccProfile == display ||
                                      (isSrgbProfile(meta.iccProfile) && isSrgbProfile(display)));
        const bool asPlanes =
            asStored && qint64(stored->width()) * stored->height() >= kPlanesFromPixels;
        const qint64 budget = request.memoryBudget;
        auto whole = [bytes, budget, dpi, asPlanes, meta,
                      display](const std::atomic<bool>& dropped) {
            bool damaged = false;
            if (asPlanes) {
                if (std::unique_ptr<JpegPlanes> planes =
                        JpegPlanes::decode(bytes, &dropped, &damaged)) {
                    return Picture::Whole{QImage(), std::move(planes)};
                }
            }
            if (!damaged && !dropped) {
                if (std::optional<QImage> image = decodeJpegWhole(bytes, &dropped, &damaged)) {
                    return Picture::Whole{shownAsMeant(std::move(*image), meta, display), nullptr};
                }
            }
            if (dropped) {
                return Picture::Whole{};
            }
            const DecodeResult ordinary = readJpegWithQt(bytes, budget, dpi, meta, display);
            return Picture::Whole{ordinary.ok() ? ordinary.picture().raster() : QImage(), nullptr};
        };
        return DecodeResult(
            convertedFrom(Picture::fromTopLeft(shownAsMeant(std::move(*part), meta, display), shown,
                                               std::move(whole), dpi),
                          meta));
    }
    std::optional<QImage> image = decodeJpegWhole(bytes);
    if (!image) {
        return std::nullopt;
    }
    return DecodeResult(
        convertedFrom(Picture::fromRaster(shownAsMeant(std::move(*image), meta, display),
                                          PictureKind::Bitmap, {}, dpi),
                      meta));
}

// A JPEG held in memory (a camera raw file's preview), shown as a JPEG file would be.
DecodeResult decodeJpegBytes(const QByteArray& bytes, const DecodeRequest& request, double dpi,
                             const EmbeddedMetadata& meta) {
    const QByteArray display = request.displayProfile;
    const qint64 budget = request.memoryBudget;
    if (!request.fitInto.isValid()) {
        if (std::optional<DecodeResult> direct = decodeColourJpeg(bytes, request, dpi, meta)) {
            return *direct;
        }
        return readJpegWithQt(bytes, budget, dpi, meta, display);
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    configure(reader, budget);
    const QSize size = orientedSize(reader.size(), meta.orientation);
    if (!size.isValid()) {
        return invalidPicture(reader.errorString());
    }
    if (size.width() <= request.fitInto.width() && size.height() <= request.fitInto.height()) {
        return readJpegWithQt(bytes, budget, dpi, meta, display);
    }
    reader.setScaledSize(orientedSize(fittedSize(size, request.fitInto), meta.orientation));
    QImage preview = reader.read();
    if (preview.isNull()) {
        return invalidPicture(reader.errorString());
    }
    auto full = [bytes, budget, dpi, meta, display]() -> QImage {
        const DecodeResult r = readJpegWithQt(bytes, budget, dpi, meta, display);
        return r.ok() ? r.picture().raster() : QImage();
    };
    return convertedFrom(Picture::fromPreview(shownAsMeant(std::move(preview), meta, display), size,
                                              std::move(full), dpi),
                         meta);
}

// Read as LibRaw goes, as the decoding helper reads it: the file is never held whole.
DecodeResult decodeRaw(const QString& path, const DecodeRequest& request, double dpi) {
    const Fd fd(openForReadingFd(path));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return DecodeError{kErrFileAccess, QStringLiteral("Path/File access error")};
    }
    if (!rawDecoderAvailable()) {
        return rawModuleMissing();
    }
    const SandboxFile file{fd.get(), qint64(st.st_size)};
    QString why;
    bool tooLarge = false;
    const std::optional<RawPreview> preview =
        readRawPreview(rawSourceOf(file), request.memoryBudget, &why, &tooLarge);
    if (!preview) {
        return tooLarge ? outOfMemory() : invalidPicture(why);
    }
    return DecodeRawPreview(*preview, request, dpi);
}

DecodeResult decodeSvg(const QString& path, const DecodeRequest& request, double dpi) {
    DecodeError error;
    const std::optional<QByteArray> bytes = readWholeFile(path, request.memoryBudget, &error);
    if (!bytes) {
        return error;
    }
    return decodeSvgInProcess(*bytes, request, dpi);
}

DecodeResult decodeWithQt(const QString& path, const TypeKeyInfo& info,
                          const DecodeRequest& request, double dpi) {
    const QByteArray format(info.readerFormat);
    QFile file;
    if (!openForReading(file, path)) {
        return DecodeError{kErrFileAccess, QStringLiteral("Path/File access error")};
    }
    const QByteArray display = request.displayProfile;
    if (format == "jpeg" && !request.fitInto.isValid()) {
        DecodeError error;
        const std::optional<QByteArray> bytes = readSnapshot(file, request.memoryBudget, &error);
        if (!bytes) {
            return error;
        }
        const EmbeddedMetadata meta = readEmbeddedMetadata(*bytes);
        if (std::optional<DecodeResult> direct = decodeColourJpeg(*bytes, request, dpi, meta)) {
            return *direct;
        }
        return readJpegWithQt(*bytes, request.memoryBudget, dpi, meta, display);
    }
    const EmbeddedMetadata meta =
        format == "jpeg" ? readEmbeddedMetadata(file.peek(kMetadataPeekBytes)) : EmbeddedMetadata{};
    const qint64 budget = request.memoryBudget;
    auto full = [path, format, budget, dpi, meta, display]() -> QImage {
        QFile again;
        if (!openForReading(again, path)) {
            return QImage();
        }
        DecodeResult r = readWithQt(&again, format, budget, dpi, meta, display);
        return r.ok() ? r.picture().raster() : QImage();
    };
    QImageReader reader(&file, format);
    configure(reader, request.memoryBudget);
    const QSize stored = reader.size();
    const QSize size = orientedSize(stored, meta.orientation);
    // Reduced decoding only where the reader itself decodes less (JPEG's DCT scaling);
    // other readers decode in full and scale afterwards, so the full image is kept. A reduced
    // decode was costed at its own size, so an image too large to hold whole still opens.
    const bool reduce =
        request.fitInto.isValid() && size.isValid() && format == "jpeg" &&
        (size.width() > request.fitInto.width() || size.height() > request.fitInto.height());
    if (!reduce && exceedsBudget(size, request.memoryBudget)) {
        return outOfMemory();
    }
    if (reduce) {
        // The box the upright picture fits, in the file's own axes.
        reader.setScaledSize(orientedSize(fittedSize(size, request.fitInto), meta.orientation));
        QImage preview = reader.read();
        if (preview.isNull()) {
            return invalidPicture(reader.errorString());
        }
        return convertedFrom(Picture::fromPreview(shownAsMeant(std::move(preview), meta, display),
                                                  size, std::move(full), dpi),
                             meta);
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return invalidPicture(reader.errorString());
    }
    return convertedFrom(Picture::fromRaster(shownAsMeant(std::move(image), meta, display),
                                             PictureKind::Bitmap, {}, dpi),
                         meta);
}

DecodeResult epsPicture(const QByteArray& bytes, const DecodeRequest& request, double dpi);

// Formats our own readers and the platform's libraries decode from the file's bytes. Icons and
// cursors keep those bytes, so that they can be saved back as they came.
DecodeResult decodeBytesOf(const QByteArray* bytes, ImageDecoder decoder,
                           const DecodeRequest& request, double dpi) {
    const qint64 budget = request.memoryBudget;
    const QByteArray& display = request.displayProfile;
    // Formats without a profile or orientation of their own are in sRGB, upright.
    const EmbeddedMetadata none;
    switch (decoder) {
        case ImageDecoder::Bitmap:
            return pictureOf(readBmp(*bytes, budget), PictureKind::Bitmap, {}, dpi, none, display);
        case ImageDecoder::Icon:
            return pictureOf(readIcon(*bytes, budget), PictureKind::Icon, *bytes, dpi, none,
                             display);
        case ImageDecoder::Targa:
            return pictureOf(readTga(*bytes, budget), PictureKind::Bitmap, {}, dpi, none, display);
        case ImageDecoder::Pcx:
            return pictureOf(readPcx(*bytes, budget), PictureKind::Bitmap, {}, dpi, none, display);
        case ImageDecoder::Png:
            return pictureOf(readPngBytes(*bytes, budget), PictureKind::Bitmap, {}, dpi,
                             readEmbeddedMetadata(*bytes), display);
        case ImageDecoder::Tiff:
            if (!tiffDecoderAvailable()) {
                return tiffModuleMissing();
            }
            return pictureOf(readTiffBytes(*bytes, budget), PictureKind::Bitmap, {}, dpi,
                             readEmbeddedMetadata(*bytes), display);
        case ImageDecoder::Pict: {
            // Pictures without a bitmap of their own (lines, shapes) go to GraphicsMagick.
            RasterRead own = readPict(*bytes, budget);
            if (own.failure == RasterFailure::Invalid) {
                DecodeResult other = decodeWithGraphicsMagick(*bytes, "PICT", request, dpi);
                if (other.ok() || other.error().number == kErrOutOfMemory) {
                    return other;
                }
            }
            return pictureOf(std::move(own), PictureKind::Bitmap, {}, dpi, none, display);
        }
        case ImageDecoder::WebP:
        case ImageDecoder::Avif:
        case ImageDecoder::Heif:
        case ImageDecoder::JpegXl:
            return photoPicture(*bytes, decoder, request, dpi);
        case ImageDecoder::Eps:
            return epsPicture(*bytes, request, dpi);
        default:
            break;
    }
    return DecodeError{kErrNoDecoder, QStringLiteral("No decoder for this image type")};
}

DecodeResult decodeBytes(const QString& path, ImageDecoder decoder, const DecodeRequest& request,
                         double dpi) {
    DecodeError error;
    const std::optional<QByteArray> bytes = readWholeFile(path, request.memoryBudget, &error);
    if (!bytes) {
        return error;
    }
    return decodeBytesOf(&*bytes, decoder, request, dpi);
}

DecodeResult metafilePicture(const QByteArray& bytes, const DecodeRequest& request, double dpi) {
    QString why;
    const std::optional<Metafile> metafile = Metafile::fromBytes(bytes, &why);
    if (!metafile) {
        return invalidPicture(why);
    }
    const Picture picture = Picture::fromMetafile(*metafile, dpi);
    if (picture.sizePixels().isEmpty()) {
        return invalidPicture(QStringLiteral("metafile without a size"));
    }
    // The view works on a 1:1 raster of the picture, made while the images inside it are held.
    const QSize px = picture.sizePixels();
    if (exceedsBudget(px, request.memoryBudget) ||
        qint64(px.width()) * px.height() * kBytesPerPixel + metafile->imageBytes() + bytes.size() >
            request.memoryBudget) {
        return outOfMemory();
    }
    return picture;
}

DecodeResult decodeMetafile(const QString& path, const DecodeRequest& request, double dpi) {
    DecodeError error;
    const std::optional<QByteArray> bytes = readWholeFile(path, request.memoryBudget, &error);
    if (!bytes) {
        return error;
    }
    return metafilePicture(*bytes, request, dpi);
}

DecodeResult decodeWithGraphicsMagick(const QByteArray& bytes, const char* coder,
                                      const DecodeRequest& request, double dpi) {
    QString why;
    const std::optional<QSize> size = graphicsMagickPing(bytes, coder, &why);
    if (!size) {
        return invalidPicture(why);
    }
    if (exceedsBudget(*size, request.memoryBudget)) {
        return outOfMemory();
    }
    std::optional<QImage> image = graphicsMagickRead(bytes, coder, &why);
    if (!image) {
        return invalidPicture(why);
    }
    return Picture::fromRaster(shownAsMeant(std::move(*image), {}, request.displayProfile),
                               PictureKind::Bitmap, {}, dpi);
}

// Reads `length` bytes of an EPS file from `offset` (inside the file: its layout was checked
// against its size); `kept` when the picture keeps them, else they may be a view for the time
// of the decode.
using EpsReader =
    std::function<std::optional<QByteArray>(qint64 offset, qint64 length, bool kept, DecodeError*)>;

// An EPS file's picture: its TIFF or WMF preview, else Ghostscript's rendering of its
// PostScript. Only the part it shows is read.
DecodeResult epsPicture(QByteArrayView head, qint64 size, const EpsReader& read,
                        const DecodeRequest& request, double dpi) {
    QString why;
    const std::optional<EpsLayout> layout = parseEpsLayout(head, size, &why);
    if (!layout) {
        return invalidPicture(why);
    }
    DecodeError error;
    // What is read must fit the budget before it is read.
    auto readWithin = [&](qint64 offset, qint64 length, bool kept) -> std::optional<QByteArray> {
        if (length > request.memoryBudget) {
            error = outOfMemory();
            return std::nullopt;
        }
        return read(offset, length, kept, &error);
    };
    if (layout->tiff.present()) {
        const std::optional<QByteArray> tiff =
            readWithin(layout->tiff.offset, layout->tiff.length, false);
        if (!tiff) {
            return error;
        }
        if (!tiffDecoderAvailable()) {
            return tiffModuleMissing();
        }
        return pictureOf(readTiffBytes(*tiff, request.memoryBudget), PictureKind::Bitmap, {}, dpi,
                         readEmbeddedMetadata(*tiff), request.displayProfile);
    }
    if (layout->wmf.present()) {
        const std::optional<QByteArray> wmf =
            readWithin(layout->wmf.offset, layout->wmf.length, true);
        if (!wmf) {
            return error;
        }
        return metafilePicture(*wmf, request, dpi);
    }
    // No preview: Ghostscript renders the PostScript, but only after its bounding box has
    // shown the result fits the budget.
    const std::optional<QByteArray> ps = readWithin(
        layout->postscript.offset, std::min<qint64>(layout->postscript.length, 64 * 1024), false);
    if (!ps) {
        return error;
    }
    if (const std::optional<QRectF> box = epsBoundingBox(*ps)) {
        const double w = std::ceil(box->width() / 72.0 * dpi);
        const double h = std::ceil(box->height() / 72.0 * dpi);
        if (w * h * kBytesPerPixel > static_cast<double>(request.memoryBudget)) {
            return outOfMemory();
        }
    }
    if (!ghostscriptAvailable()) {
        return invalidPicture(QStringLiteral("no preview, and Ghostscript is not installed"));
    }
    const std::optional<QByteArray> whole = readWithin(0, size, false);
    if (!whole) {
        return error;
    }
    std::optional<QImage> image = renderEpsWithGhostscript(
        *whole, static_cast<int>(std::lround(dpi)), request.ghostscriptTimeoutMs,
        allocationLimitMb(request.memoryBudget), &why);
    if (!image) {
        return invalidPicture(why);
    }
    return Picture::fromRaster(shownAsMeant(std::move(*image), {}, request.displayProfile),
                               PictureKind::Bitmap, {}, dpi);
}

// From the bytes, where they are.
DecodeResult epsPicture(const QByteArray& bytes, const DecodeRequest& request, double dpi) {
    const EpsReader read = [&bytes](qint64 offset, qint64 length, bool kept, DecodeError*) {
        const char* from = bytes.constData() + offset;
        return std::optional<QByteArray>(kept ? QByteArray(from, qsizetype(length))
                                              : QByteArray::fromRawData(from, qsizetype(length)));
    };
    return epsPicture(QByteArrayView(bytes).first(
                          std::min<qsizetype>(bytes.size(), kEpsBinaryHeaderSize)),
                      bytes.size(), read, request, dpi);
}

// From the file once opened, whatever its path names by now.
DecodeResult decodeEps(const QString& path, const DecodeRequest& request, double dpi) {
    QFile file;
    if (!openForReading(file, path)) {
        return DecodeError{kErrFileAccess, QStringLiteral("Path/File access error")};
    }
    const QByteArray head = file.read(kEpsBinaryHeaderSize);
    const EpsReader read = [&file](qint64 offset, qint64 length, bool, DecodeError* error) {
        QByteArray bytes = file.seek(offset) ? file.read(length) : QByteArray();
        if (bytes.size() != length) {
            *error = invalidPicture(QStringLiteral("file shorter than expected"));
            return std::optional<QByteArray>();
        }
        return std::optional<QByteArray>(std::move(bytes));
    };
    return epsPicture(head, file.size(), read, request, dpi);
}

}  // namespace

qint64 defaultMemoryBudget() {
    return MemoryBudget::program().limit();
}

namespace {

// The decode proper, by the decoder the type key names.
DecodeResult dispatch(const QString& path, const TypeKeyInfo& info, const DecodeRequest& request,
                      double dpi) {
    switch (info.decoder) {
        case ImageDecoder::QtReader:
            return decodeWithQt(path, info, request, dpi);
        case ImageDecoder::Bitmap:
        case ImageDecoder::Icon:
        case ImageDecoder::Targa:
        case ImageDecoder::Pcx:
        case ImageDecoder::Png:
        case ImageDecoder::Tiff:
        case ImageDecoder::Pict:
        case ImageDecoder::WebP:
        case ImageDecoder::Avif:
        case ImageDecoder::Heif:
        case ImageDecoder::JpegXl:
            return decodeBytes(path, info.decoder, request, dpi);
        case ImageDecoder::Metafile:
            return decodeMetafile(path, request, dpi);
        case ImageDecoder::Eps:
            return decodeEps(path, request, dpi);
        case ImageDecoder::Svg:
            return decodeSvg(path, request, dpi);
        case ImageDecoder::Raw:
            return decodeRaw(path, request, dpi);
    }
    return DecodeError{kErrNoDecoder, QStringLiteral("No decoder for this image type")};
}

// `bytes` of the request's limit and of the program's budget, or nothing.
std::optional<MemoryBudget::Reservation> reserve(qint64 bytes, const DecodeRequest& request) {
    if (bytes > request.memoryBudget) {
        return std::nullopt;
    }
    return MemoryBudget::program().reserve(bytes);
}

DecodeResult decodeFile(const QString& path, const DecodeRequest& request, bool isolate) {
    const TypeKeyInfo* info = typeKeyInfo(typeKey(path));
    if (!info) {
        return DecodeError{kErrNoDecoder, QStringLiteral("No decoder for this image type")};
    }
    const std::optional<struct stat> fileInfo = statPath(path);
    if (!fileInfo || S_ISDIR(fileInfo->st_mode)) {
        return DecodeError{kErrFileNotFound, QStringLiteral("File not found")};
    }
    if (fileInfo->st_size == 0) {
        return invalidPicture(QStringLiteral("empty file"));
    }
    // Headers are read before any decoder sees the file, so that a decode that would pass the
    // budget is refused without allocating for it, and the memory it will take is reserved.
    std::optional<MemoryBudget::Reservation> reservation;
    {
        QFile file;
        if (!openForReading(file, path)) {
            return DecodeError{kErrFileAccess, QStringLiteral("Path/File access error")};
        }
        const QByteArray head = file.read(kCostPeekBytes);
        const std::optional<QSize> declared =
            declaredImageSize(QByteArrayView(head).first(std::min(head.size(), kHeaderPeekBytes)),
                              QString(info->key));
        if (declared && exceedsBudget(*declared, request.memoryBudget)) {
            return outOfMemory();
        }
        // The size of the file that was opened, whatever the path names by now.
        const DecodeCost cost = decodeCost(head, file.size(), *info, request.fitInto);
        reservation = reserve(cost.bytes, request);
        if (!reservation) {
            return outOfMemory();
        }
    }
    const double dpi = effectiveDpi(request);
    DecodeResult result = isolate && decodesInHelper(info->decoder)
                              ? decodeInHelper(path, *info, request, dpi)
                              : dispatch(path, *info, request, dpi);
    if (!result.ok()) {
        return result;
    }
    const Picture& picture = result.picture();
    if (reservation->bytes() == 0) {
        // A type whose header told nothing is counted by what it gave.
        reservation = reserve(picture.bytesHeld(), request);
        if (!reservation) {
            return outOfMemory();
        }
    }
    picture.holdMemory(std::move(*reservation));
    return result;
}

}  // namespace

DecodeResult DecodeImageFile(const QString& path, const DecodeRequest& request) {
    return decodeFile(path, request, true);
}

DecodeResult DecodeImageFileInProcess(const QString& path, const DecodeRequest& request) {
    return decodeFile(path, request, false);
}

std::optional<DecodeResult> DecodeImageBytesInProcess(const QByteArray& bytes, const QString& key,
                                                      const DecodeRequest& request) {
    const TypeKeyInfo* info = typeKeyInfo(key);
    if (!info || !(info->decoder == ImageDecoder::Bitmap || info->decoder == ImageDecoder::Icon ||
                   info->decoder == ImageDecoder::Targa || info->decoder == ImageDecoder::Pcx ||
                   info->decoder == ImageDecoder::Pict || info->decoder == ImageDecoder::Tiff ||
                   info->decoder == ImageDecoder::WebP || info->decoder == ImageDecoder::Avif ||
                   info->decoder == ImageDecoder::Heif || info->decoder == ImageDecoder::JpegXl ||
                   info->decoder == ImageDecoder::Eps)) {
        return std::nullopt;
    }
    if (bytes.isEmpty()) {
        return DecodeResult(invalidPicture(QStringLiteral("empty file")));
    }
    const std::optional<QSize> declared = declaredImageSize(bytes.left(kHeaderPeekBytes), key);
    if (declared && exceedsBudget(*declared, request.memoryBudget)) {
        return DecodeResult(outOfMemory());
    }
    return decodeBytesOf(&bytes, info->decoder, request, effectiveDpi(request));
}

DecodeError rawModuleMissing() {
    return {kErrLoadingModule, QStringLiteral("Error in loading the camera raw decoder: %1 is "
                                              "missing beside the program. Reinstall Glimvane.")
                                   .arg(rawModuleName())};
}

DecodeResult DecodeRawPreview(const RawPreview& preview, const DecodeRequest& request, double dpi) {
    if (!preview.jpeg.isEmpty()) {
        // The raw's own orientation, where it gives one, is the one its camera meant; the
        // preview's Exif is used only when it gives none, so the picture is turned once.
        EmbeddedMetadata meta = readEmbeddedMetadata(preview.jpeg);
        if (preview.orientation != 1) {
            meta.orientation = preview.orientation;
        }
        return decodeJpegBytes(preview.jpeg, request, dpi, meta);
    }
    if (preview.raster.isNull()) {
        return invalidPicture(QStringLiteral("no preview"));
    }
    EmbeddedMetadata meta;
    meta.orientation = preview.orientation;
    return Picture::fromRaster(shownAsMeant(preview.raster, meta, request.displayProfile),
                               PictureKind::Bitmap, {}, dpi);
}

bool gifIs87a(const QString& path) {
    QFile f;
    QByteArray start;
    if (openForReading(f, path)) {
        start = f.read(6);
    }
    // Only the first text line counts, so a line break cuts the signature short.
    const qsizetype lineEnd = start.indexOf('\n');
    if (lineEnd >= 0) {
        start.truncate(lineEnd);
    }
    const qsizetype crEnd = start.indexOf('\r');
    if (crEnd >= 0) {
        start.truncate(crEnd);
    }
    return start.toLower() != "gif89a";
}

}  // namespace gv
