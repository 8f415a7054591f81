// A large JPEG opened at 1:1 shows its top-left part first and decodes the rest on a worker:
// that rest comes from the file as it was opened, whatever happens to its name meanwhile, is
// decoded once, and is given up when its picture is no longer held.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "images/Decoder.h"
#include "images/Picture.h"
#include "support/ImageFiles.h"

using namespace gv;

namespace {

constexpr QSize kLarge(2400, 1800);  // above the size that is held as planes

QImage decodedByQt(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer, "jpeg").read().convertToFormat(QImage::Format_RGB32);
}

DecodeRequest atOneToOne() {
    DecodeRequest r;
    r.dpi = 96;
    r.firstRegion = QSize(800, 600);
    return r;
}

// What the picture holds once its rest is decoded, as 32-bit pixels.
QImage whole(const Picture& picture) {
    return picture.region(QRect(QPoint(0, 0), picture.sizePixels()))
        .convertToFormat(QImage::Format_RGB32);
}

Picture::WholeSource counting(std::atomic<int>& calls) {
    return [&calls](const std::atomic<bool>&) {
        ++calls;
        return Picture::Whole{QImage(kLarge, QImage::Format_RGB32), nullptr};
    };
}

}  // namespace

TEST(JpegRest, TheRestIsThatOfTheFileAsOpenedWhateverHappensToItsName) {
    QTemporaryDir dir;
    const QString path = dir.filePath("photo.jpg");
    const QByteArray original = gvtest::jpegBytes(gvtest::noisyImage(kLarge, 1));
    const QByteArray other = gvtest::jpegBytes(gvtest::noisyImage(kLarge, 2));
    const QImage expected = decodedByQt(original);
    ASSERT_NE(expected, decodedByQt(other));
    QDir(dir.path()).mkdir("elsewhere");
    // Each happens after the first part was decoded and before the rest is.
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"renamed", [&] { ASSERT_TRUE(QFile::rename(path, dir.filePath("renamed.jpg"))); }},
        {"moved by another process",
         [&] {
             ASSERT_EQ(QProcess::execute("mv", {path, dir.filePath("elsewhere/p.jpg")}), 0);
         }},
        {"replaced by another picture",
         [&] {
             ASSERT_TRUE(QFile::rename(path, dir.filePath("old.jpg")));
             ASSERT_TRUE(gvtest::writeBytes(path, other));
         }},
        {"rewritten in place", [&] { ASSERT_TRUE(gvtest::writeBytes(path, other)); }},
    };
    for (const auto& [what, change] : cases) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(gvtest::writeBytes(path, original));
        const DecodeResult result = DecodeImageFile(path, atOneToOne());
        ASSERT_TRUE(result.ok());
        ASSERT_TRUE(result.picture().decodingRest());
        change();
        EXPECT_EQ(whole(result.picture()), expected);
        QFile::remove(path);
    }
}

// Many cameras write bytes between the last data and the end marker: such a photo is decoded
// once, straight into its planes, not again by the ordinary decoder into a 4-byte raster.
TEST(JpegRest, PaddingBeforeTheEndMarkerIsDecodedOnceIntoPlanes) {
    QTemporaryDir dir;
    const QByteArray plain = gvtest::jpegBytes(gvtest::noisyImage(kLarge, 3));
    const QByteArray padded = QByteArray(plain).insert(plain.size() - 2, QByteArray(4096, 0));
    ASSERT_TRUE(gvtest::writeBytes(dir.filePath("padded.jpg"), padded));
    const DecodeResult result = DecodeImageFile(dir.filePath("padded.jpg"), atOneToOne());
    ASSERT_TRUE(result.ok());
    const QImage shown = whole(result.picture());
    EXPECT_TRUE(result.picture().heldAsPlanes());
    EXPECT_EQ(shown, decodedByQt(plain));
}

TEST(JpegRest, RestsOfPicturesNoLongerHeldAreGivenUp) {
    const QImage part(100, 100, QImage::Format_RGB32);
    // The first rest holds the worker until the test lets it go, and sees its picture dropped.
    std::promise<void> started;
    std::atomic<bool> release{false};
    std::atomic<bool> sawDropped{false};
    auto first = Picture::fromTopLeft(part, kLarge, [&](const std::atomic<bool>& dropped) {
        started.set_value();
        // Bounded, so that a rest that is never given up fails the test instead of hanging it.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!release && !dropped && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::yield();
        }
        sawDropped = dropped.load();
        return Picture::Whole{};
    });
    first.decodeRestInBackground();
    started.get_future().wait();

    std::atomic<int> skippedCalls{0};
    for (int i = 0; i < 3; ++i) {
        const Picture passed = Picture::fromTopLeft(part, kLarge, counting(skippedCalls));
        passed.decodeRestInBackground();  // queued behind the first, then dropped
    }
    std::atomic<int> shownCalls{0};
    const Picture shown = Picture::fromTopLeft(part, kLarge, counting(shownCalls));
    shown.decodeRestInBackground();
    first = Picture();  // stepped on: the running rest stops
    EXPECT_TRUE(shown.awaitWhole());
    release = true;
    EXPECT_TRUE(sawDropped);
    EXPECT_EQ(skippedCalls, 0);
    EXPECT_EQ(shownCalls, 1);
}

// A rest that cannot be decoded leaves nothing to show or copy, never the first part on a
// filler.
TEST(JpegRest, ARestThatCannotBeDecodedLeavesNoPicture) {
    QImage part(100, 100, QImage::Format_RGB32);
    part.fill(Qt::red);
    const Picture p = Picture::fromTopLeft(
        part, kLarge, [](const std::atomic<bool>&) { return Picture::Whole{}; });
    EXPECT_FALSE(p.awaitWhole());
    EXPECT_TRUE(p.restFailed());
    EXPECT_TRUE(p.raster().isNull());
    EXPECT_TRUE(p.fullRaster().isNull());
    EXPECT_TRUE(p.region(QRect(0, 0, 50, 50)).isNull());
    EXPECT_TRUE(p.topLeftPart().isNull());
}
