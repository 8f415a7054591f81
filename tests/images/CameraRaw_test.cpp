// Camera raw files: DNGs made here (the preview written by libjpeg), shown by their embedded
// preview, compared with what LibRaw's own simple_dcraw -e extracts, and turned upright by the
// raw's orientation exactly once.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <cstring>
#include <thread>

#include "images/Decoder.h"
#include "platform/CameraRaw.h"
#include "support/CameraRawFiles.h"
#include "support/DecodedPixels.h"
#include "support/ImageFiles.h"

using namespace gv;
using namespace gvtest;

namespace {

// Which stored quadrant each shown quadrant is, for orientations 1 to 8.
constexpr int kShownQuadrants[9][4] = {{},           {0, 1, 2, 3}, {1, 0, 3, 2},
                                       {3, 2, 1, 0}, {2, 3, 0, 1}, {0, 2, 1, 3},
                                       {2, 0, 3, 1}, {3, 1, 2, 0}, {1, 3, 0, 2}};

// LibRaw's own extraction of the preview, shown as a viewer shows a JPEG: by its Exif.
QImage extractedByLibRaw(const QString& dng) {
    if (QProcess::execute("simple_dcraw", {"-e", dng}) != 0) {
        return QImage();
    }
    QImageReader reader(dng + ".thumb.jpg");
    reader.setAutoTransform(true);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

TEST(CameraRaw, ThePreviewIsShownUprightAsLibRawExtractsIt) {
    QTemporaryDir dir;
    const QSize stored(96, 64);
    const QImage preview = quadrantImage(stored);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        const QString path = dir.filePath(QString("photo%1.dng").arg(orientation));
        ASSERT_TRUE(writeBytes(path, dngWithPreview(preview, orientation)));
        const DecodeResult r = DecodeImageFile(path, at96());
        ASSERT_TRUE(r.ok()) << r.error().description.toStdString();
        const QSize shown = orientation >= 5 ? stored.transposed() : stored;
        // The status bar's size is the preview's, upright.
        EXPECT_EQ(r.picture().sizePixels(), shown);
        const QImage ours = r.picture().fullRaster().convertToFormat(QImage::Format_RGB32);
        const auto centres = quadrantCentres(shown);
        for (int q = 0; q < 4; ++q) {
            const QRgb expected = kQuadrantColours[size_t(kShownQuadrants[orientation][q])].rgb();
            EXPECT_TRUE(sameColour(ours.pixel(centres[size_t(q)]), expected, 24)) << q;
        }
        const QImage theirs = extractedByLibRaw(path);
        ASSERT_EQ(theirs.size(), ours.size());
        for (int y = 0; y < ours.height(); ++y) {
            for (int x = 0; x < ours.width(); ++x) {
                ASSERT_TRUE(sameColour(ours.pixel(x, y), theirs.pixel(x, y), 2)) << x << "," << y;
            }
        }
    }
}

TEST(CameraRaw, AFittedViewDecodesThePreviewReducedAndTheWholeOnDemand) {
    QTemporaryDir dir;
    const QString path = dir.filePath("large.dng");
    ASSERT_TRUE(writeBytes(path, dngWithPreview(quadrantImage(QSize(1600, 1200)), 6)));
    DecodeRequest request = at96();
    request.fitInto = QSize(300, 300);
    const DecodeResult r = DecodeImageFile(path, request);
    ASSERT_TRUE(r.ok()) << r.error().description.toStdString();
    EXPECT_EQ(r.picture().sizePixels(), QSize(1200, 1600));
    EXPECT_TRUE(r.picture().holdsPreview());
    EXPECT_LE(r.picture().raster().height(), 300 * 2);
    EXPECT_EQ(r.picture().fullRaster().size(), QSize(1200, 1600));
}

TEST(CameraRaw, WithoutAPreviewTheRawDataIsDevelopedAtHalfSize) {
    QTemporaryDir dir;
    DngParts parts;
    parts.rawSize = QSize(128, 96);
    parts.orientation = 8;
    const QString path = dir.filePath("nopreview.dng");
    ASSERT_TRUE(writeBytes(path, dngBytes(parts)));
    const DecodeResult r = DecodeImageFile(path, at96());
    ASSERT_TRUE(r.ok()) << r.error().description.toStdString();
    EXPECT_EQ(r.picture().sizePixels(), QSize(48, 64));
}

TEST(CameraRaw, DamagedFilesGetTheLoadersMessage) {
    QTemporaryDir dir;
    const QByteArray good = dngWithPreview(quadrantImage(QSize(64, 48)));
    const std::pair<const char*, QByteArray> cases[] = {
        {"text.cr2", "not a raw file at all, only words"},
        {"cut.dng", good.left(200)},
        {"noise.nef", QByteArray(4096, '\x5A')},
    };
    for (const auto& [name, bytes] : cases) {
        const QString path = dir.filePath(name);
        ASSERT_TRUE(writeBytes(path, bytes));
        const DecodeResult r = DecodeImageFile(path, at96());
        ASSERT_FALSE(r.ok()) << name;
        EXPECT_EQ(r.error().number, kErrInvalidPicture) << name;
        EXPECT_TRUE(r.error().description.startsWith("Invalid picture: "))
            << r.error().description.toStdString();
    }
}

// The file's size is no memory: only its directories and preview are read, so a raw file far
// larger than the budget (its raw data alone is) still shows its preview; developing its raw
// data, which would need that memory, is refused.
TEST(CameraRaw, AFileLargerThanTheBudgetShowsItsPreviewAndIsNeverReadWhole) {
    QTemporaryDir dir;
    DngParts parts;
    parts.rawSize = QSize(2000, 1500);
    parts.previewJpeg = jpegBytes(quadrantImage(QSize(160, 120)));
    parts.previewSize = QSize(160, 120);
    const QString path = dir.filePath("large.dng");
    ASSERT_TRUE(writeBytes(path, dngBytes(parts)));
    DecodeRequest request = at96();
    request.memoryBudget = 2 << 20;
    const DecodeResult shown = DecodeImageFile(path, request);
    ASSERT_TRUE(shown.ok()) << shown.error().description.toStdString();
    EXPECT_EQ(shown.picture().sizePixels(), QSize(160, 120));
    const auto centres = quadrantCentres(QSize(160, 120));
    const QImage pixels = shown.picture().fullRaster().convertToFormat(QImage::Format_RGB32);
    for (int q = 0; q < 4; ++q) {
        EXPECT_TRUE(
            sameColour(pixels.pixel(centres[size_t(q)]), kQuadrantColours[size_t(q)].rgb(), 24))
            << q;
    }

    parts.previewJpeg.clear();
    ASSERT_TRUE(writeBytes(path, dngBytes(parts)));
    const DecodeResult developed = DecodeImageFile(path, request);
    ASSERT_FALSE(developed.ok());
    EXPECT_EQ(developed.error().number, kErrOutOfMemory)
        << developed.error().description.toStdString();
}

// What LibRaw reads of a file with a preview: its directories and the preview, not the raw data
// that makes up most of it; read in the short pieces a busy file can give, never past its end.
TEST(CameraRaw, OnlyTheDirectoriesAndThePreviewAreRead) {
    DngParts parts;
    parts.rawSize = QSize(2000, 1500);
    parts.previewJpeg = jpegBytes(quadrantImage(QSize(160, 120)));
    parts.previewSize = QSize(160, 120);
    const QByteArray file = dngBytes(parts);
    struct Reads {
        QByteArrayView file;
        qint64 bytes = 0;
        bool pastTheEnd = false;
    } reads{file};
    RawSource source;
    source.context = &reads;
    source.size = file.size();
    source.read = [](const void* context, qint64 offset, char* to, qint64 n) -> qint64 {
        auto* r = const_cast<Reads*>(static_cast<const Reads*>(context));
        if (offset < 0 || n <= 0 || offset + n > r->file.size()) {
            r->pastTheEnd = true;
            return -1;
        }
        n = std::min<qint64>(n, 1000);
        std::memcpy(to, r->file.data() + offset, std::size_t(n));
        r->bytes += n;
        return n;
    };
    QString why;
    bool tooLarge = false;
    const std::optional<RawPreview> preview = readRawPreview(source, 64 << 20, &why, &tooLarge);
    ASSERT_TRUE(preview) << why.toStdString();
    EXPECT_EQ(preview->jpeg, parts.previewJpeg);
    EXPECT_FALSE(reads.pastTheEnd);
    EXPECT_LT(reads.bytes, file.size() / 8) << "of " << file.size();

    // A source that fails part way (a disk that gives up) gives a reason, no picture made of
    // what was not read.
    source.read = [](const void* context, qint64 offset, char* to, qint64 n) -> qint64 {
        const auto* r = static_cast<const Reads*>(context);
        if (offset >= 4096) {
            return -1;
        }
        n = std::min<qint64>(n, 4096 - offset);
        std::memcpy(to, r->file.data() + offset, std::size_t(n));
        return n;
    };
    const std::optional<RawPreview> failed = readRawPreview(source, 64 << 20, &why, &tooLarge);
    EXPECT_FALSE(failed);
    EXPECT_FALSE(why.isEmpty());
}

// Another program rewrites the file as `cp` does (cut to nothing, then written again, every few
// milliseconds) while it is opened again and again: each open shows the preview as it is, or gives
// the loader's message for the part it found; never a crash, a hang or a picture made of two files.
TEST(CameraRaw, AFileRewrittenWhileItIsReadGivesItsPreviewOrTheLoadersMessage) {
    QTemporaryDir dir;
    const QString path = dir.filePath("busy.dng");
    const QByteArray bytes = dngWithPreview(quadrantImage(QSize(320, 240)));
    ASSERT_TRUE(writeBytes(path, bytes));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        const QByteArray name = QFile::encodeName(path);
        while (!done) {
            const int fd = ::open(name.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
            if (fd < 0) {
                return;
            }
            for (qsizetype at = 0; at < bytes.size();) {
                const ssize_t n =
                    ::write(fd, bytes.constData() + at,
                            std::size_t(std::min<qsizetype>(bytes.size() - at, 4096)));
                if (n <= 0) {
                    break;
                }
                at += n;
            }
            ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    int shown = 0;
    for (int i = 0; i < 40; ++i) {
        const DecodeResult r = DecodeImageFile(path, at96());
        if (!r.ok()) {
            EXPECT_EQ(r.error().number, kErrInvalidPicture) << r.error().description.toStdString();
            continue;
        }
        ++shown;
        ASSERT_EQ(r.picture().sizePixels(), QSize(320, 240));
        const QImage pixels = r.picture().fullRaster().convertToFormat(QImage::Format_RGB32);
        const auto centres = quadrantCentres(QSize(320, 240));
        // The preview read while it was written may end early (libjpeg fills what is missing);
        // what it shows comes from this file.
        EXPECT_TRUE(sameColour(pixels.pixel(centres[0]), kQuadrantColours[0].rgb(), 24));
    }
    done = true;
    writer.join();
    // Whole most of the time, so most opens show it.
    EXPECT_GT(shown, 0);
}
