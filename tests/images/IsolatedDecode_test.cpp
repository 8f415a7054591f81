#include <gtest/gtest.h>
#include <signal.h>

#include <QFile>
#include <QTemporaryDir>

#include "images/Decoder.h"
#include "images/IsolatedDecode.h"
#include "images/Metafile.h"
#include "platform/Sandbox.h"
#include "support/ImageFiles.h"
#include "support/MetafileWriter.h"

using namespace gvtest;

namespace {

// Whether the pixels lie in memory the helper shared with us, not in a copy of our own.
bool inSharedRaster(const uchar* pixels) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly)) {
        return false;
    }
    const auto address = quintptr(pixels);
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QList<QByteArray> range = line.split(' ').value(0).split('-');
        if (range.size() == 2 && line.contains("memfd:glimvane-raster") &&
            address >= range[0].toULongLong(nullptr, 16) &&
            address < range[1].toULongLong(nullptr, 16)) {
            return true;
        }
    }
    return false;
}

// Pixel by pixel, in the same format (the bytes beside the pixels may differ).
bool samePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format() || a.isNull()) {
        return false;
    }
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                return false;
            }
        }
    }
    return true;
}

gv::DecodeRequest request96() {
    gv::DecodeRequest r;
    r.dpi = 96;
    r.memoryBudget = qint64(256) << 20;
    return r;
}

// The helper whose jobs fail on request, for one test.
class FaultyHelper {
public:
    FaultyHelper() {
        gv::overrideSandboxHelper(QStringLiteral(GLIMVANE_BINARY_DIR "/gvsandbox_test"));
    }
    ~FaultyHelper() {
        gv::setDecodeCpuSeconds(0);
        gv::overrideSandboxHelper(QString());
    }
};

TEST(IsolatedDecode, EveryRoutedTypeGivesThePixelsOfTheDecodeInProcessInSharedMemory) {
    QTemporaryDir dir;
    const QImage image = noisyImage(QSize(37, 23), 7);
    for (const char* name :
         {"a.pcx", "a.pct", "a.tga", "a.bmp", "a.rle", "a.ico", "a.tif", "a.eps"}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QLatin1StringView(name));
        ASSERT_TRUE(writeImageFile(path, image));
        const gv::DecodeResult here = gv::DecodeImageFileInProcess(path, request96());
        const gv::DecodeResult helper = gv::DecodeImageFile(path, request96());
        ASSERT_TRUE(here.ok()) << here.error().description.toStdString();
        ASSERT_TRUE(helper.ok()) << helper.error().description.toStdString();
        EXPECT_EQ(helper.picture().kind(), here.picture().kind());
        EXPECT_TRUE(samePixels(helper.picture().raster(), here.picture().raster()));
        EXPECT_TRUE(inSharedRaster(helper.picture().raster().constBits()));
    }
    // Ghostscript's render of an EPS without a preview too.
    const QString plain = dir.filePath(QStringLiteral("plain.eps"));
    ASSERT_TRUE(writePlainEps(plain, QSize(30, 20)));
    const gv::DecodeResult here = gv::DecodeImageFileInProcess(plain, request96());
    const gv::DecodeResult helper = gv::DecodeImageFile(plain, request96());
    ASSERT_TRUE(here.ok() && helper.ok()) << helper.error().description.toStdString();
    EXPECT_TRUE(samePixels(helper.picture().raster(), here.picture().raster()));
}

TEST(IsolatedDecode, MetafilesAreReadAndRenderedByTheHelperAtEverySizeAsInProcess) {
    QTemporaryDir dir;
    struct Case {
        const char* name;
        QByteArray file;
        QByteArray metafile;
    };
    const Case cases[] = {
        {"a.wmf", sampleWmf(), sampleWmf()},
        {"a.emf", sampleEmf(), sampleEmf()},
        {"plus.emf", sampleEmfPlus(), sampleEmfPlus()},
        {"preview.eps", dosEpsBytes(quadrantPostScript(QSize(100, 80)), sampleWmf(), {}),
         sampleWmf()},
    };
    for (const auto& [name, bytes, metafile] : cases) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QLatin1StringView(name));
        ASSERT_TRUE(writeBytes(path, bytes));
        const gv::DecodeResult here = gv::DecodeImageFileInProcess(path, request96());
        const gv::DecodeResult helper = gv::DecodeImageFile(path, request96());
        ASSERT_TRUE(here.ok() && helper.ok()) << helper.error().description.toStdString();
        EXPECT_EQ(helper.picture().kind(), here.picture().kind());
        EXPECT_EQ(helper.picture().sizeHimetric(), here.picture().sizeHimetric());
        EXPECT_EQ(helper.picture().originalBytes(), metafile);
        const QSize natural = here.picture().sizePixels();
        for (const QSize size : {natural, natural * 3, QSize(37, 23)}) {
            const QImage shown = helper.picture().render(size, Qt::white);
            EXPECT_TRUE(samePixels(shown, here.picture().render(size, Qt::white))) << size.width();
            EXPECT_TRUE(inSharedRaster(shown.constBits()));
        }
    }
}

TEST(IsolatedDecode, ADecoderThatCrashesSpinsOrGrabsMemoryGivesTheLoadersMessage) {
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.pcx"));
    ASSERT_TRUE(writeImageFile(good, noisyImage(QSize(16, 9), 3)));
    const QImage expected = gv::DecodeImageFileInProcess(good, request96()).picture().raster();
    FaultyHelper faulty;
    gv::setDecodeCpuSeconds(1);
    const pid_t helper = [] {
        gv::sandboxClient()->start();
        return gv::sandboxClient()->helperProcess();
    }();
    ASSERT_GT(helper, 0);
    for (const char* command : {"crash", "spin", "grab"}) {
        SCOPED_TRACE(command);
        const QString bad = dir.filePath(QStringLiteral("bad.pcx"));
        ASSERT_TRUE(writeBytes(bad, QByteArray("GVSANDBOX-TEST ") + command));
        gv::DecodeRequest request = request96();
        request.memoryBudget = qint64(64) << 20;
        const gv::DecodeResult r = gv::DecodeImageFile(bad, request);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error().number, gv::kErrInvalidPicture);
        // The job ended without an answer; the decoder never got to give its own.
        EXPECT_TRUE(r.error().description.contains(QStringLiteral("stopped before it finished")))
            << r.error().description.toStdString();
        // The next file decodes, in a new job of the same helper.
        const gv::DecodeResult next = gv::DecodeImageFile(good, request96());
        ASSERT_TRUE(next.ok()) << next.error().description.toStdString();
        EXPECT_TRUE(samePixels(next.picture().raster(), expected));
        EXPECT_EQ(gv::sandboxClient()->helperProcess(), helper);
    }
    // A metafile's player that crashes fails the file when it is opened.
    const QString metafile = dir.filePath(QStringLiteral("bad.wmf"));
    ASSERT_TRUE(writeBytes(metafile, "GVSANDBOX-TEST crash"));
    const gv::DecodeResult crashed = gv::DecodeImageFile(metafile, request96());
    EXPECT_EQ(crashed.error().number, gv::kErrInvalidPicture);
    EXPECT_TRUE(crashed.error().description.contains(QStringLiteral("stopped before it finished")));
    // A helper killed between two files is started again for the next.
    ASSERT_EQ(::kill(helper, SIGKILL), 0);
    const gv::DecodeResult again = gv::DecodeImageFile(good, request96());
    ASSERT_TRUE(again.ok()) << again.error().description.toStdString();
    EXPECT_TRUE(samePixels(again.picture().raster(), expected));
    EXPECT_NE(gv::sandboxClient()->helperProcess(), helper);
}

TEST(IsolatedDecode, ADecoderCannotReachFilesOutsideItsFolderTheNetworkOrOtherProcesses) {
    QTemporaryDir dir;
    const QString secret = dir.filePath(QStringLiteral("secret.txt"));
    ASSERT_TRUE(writeBytes(secret, "the user's own"));
    const QString bad = dir.filePath(QStringLiteral("escape.pcx"));
    ASSERT_TRUE(writeBytes(bad, "GVSANDBOX-TEST escape " + QFile::encodeName(secret) + ' ' +
                                    QFile::encodeName(dir.path())));
    FaultyHelper faulty;
    const gv::DecodeResult r = gv::DecodeImageFile(bad, request96());
    EXPECT_EQ(r.error().description.toStdString(),
              "read-outside=denied write-outside=denied write-own=allowed network=denied "
              "local-socket=denied signal-parent=denied");
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("written-by-decoder"))));
}

TEST(IsolatedDecode, AMissingHelperIsAMissingModuleOfTheProgram) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.tga"));
    ASSERT_TRUE(writeImageFile(path, noisyImage(QSize(4, 4), 1)));
    gv::overrideSandboxHelper(dir.filePath(QStringLiteral("gvsandbox")));
    const gv::DecodeResult r = gv::DecodeImageFile(path, request96());
    gv::overrideSandboxHelper(QString());
    EXPECT_EQ(r.error().number, gv::kErrLoadingModule);
    EXPECT_TRUE(r.error().description.contains(QStringLiteral("gvsandbox is missing")));
}

}  // namespace
