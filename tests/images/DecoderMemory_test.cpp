#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "support/ImageFiles.h"
#include "support/RasterFiles.h"

using namespace gvtest;

namespace {

// The digest gvdecode prints for the file, in a process whose fresh allocations malloc fills
// with the given byte: memory a decoder reads before writing shows as a different picture.
QString digestWithHeapFilledBy(const QString& file, int fill) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MALLOC_PERTURB_"), QString::number(fill));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(GLIMVANE_BINARY_DIR "/gvdecode"), {file});
    if (!process.waitForFinished(30000)) {
        return QStringLiteral("no answer");
    }
    return QString::fromLatin1(process.readAllStandardOutput()).trimmed();
}

}  // namespace

TEST(DecoderMemory, SkippedAndTransparentPixelsNeverShowEarlierMemory) {
    QTemporaryDir dir;
    // A run-length bitmap that draws one run per row and skips the rest with deltas and ends
    // of lines; a 16-bit RGB PNG whose tRNS colour covers half of it; a run-length Targa cut
    // short.
    const int width = 40;
    const int height = 30;
    QByteArray stream;
    for (int y = 0; y < height; ++y) {
        stream += QByteArray::fromHex("0301") + QByteArray::fromHex("00020500") +
                  QByteArray::fromHex("0202") + QByteArray::fromHex("0000");
    }
    stream += QByteArray::fromHex("0001");
    BmpLayout rle;
    rle.width = width;
    rle.height = height;
    rle.bitCount = 8;
    rle.compression = 1;
    rle.palette = {0xFF000000, 0xFFFF0000, 0xFF00FF00};
    rle.pixels = stream;
    ASSERT_TRUE(writeBytes(dir.filePath("skips.rle"), bmpBytes(rle)));
    ASSERT_TRUE(writePngSamples(dir.filePath("trns.png"),
                                {width, height, 2, 16, false, {}, {0, 0, 0}}, [](int x, int y) {
                                    const quint16 v = (x + y) % 2 ? 0 : 0x9999;
                                    return QList<quint16>{v, v, v};
                                }));
    TgaLayout cut;
    cut.imageType = 10;
    cut.depth = 32;
    cut.descriptor = 8;
    cut.width = width;
    cut.height = height;
    cut.pixels = QByteArray::fromHex("ff10203040");  // one run of 128 pixels of 1200
    ASSERT_TRUE(writeBytes(dir.filePath("cut.tga"), tgaBytes(cut)));
    for (const char* name : {"skips.rle", "trns.png", "cut.tga"}) {
        const QString file = dir.filePath(name);
        const QString first = digestWithHeapFilledBy(file, 0x5A);
        EXPECT_TRUE(first.startsWith(QStringLiteral("40x30 ")))
            << name << ": " << first.toStdString();
        EXPECT_EQ(first, digestWithHeapFilledBy(file, 0xA5)) << name;
    }
}

TEST(DecoderMemory, AMissingTiffModuleIsNamedNotTakenForABrokenFile) {
    // The program without its TIFF module beside it, as a broken installation leaves it.
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("gvdecode"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(GLIMVANE_BINARY_DIR "/gvdecode"), program));
    ASSERT_TRUE(QFile::copy(QStringLiteral(GLIMVANE_BINARY_DIR "/gvsandbox"),
                            dir.filePath(QStringLiteral("gvsandbox"))));
    TiffLayout grey;
    grey.width = 4;
    grey.height = 2;
    ASSERT_TRUE(
        writeTiffSamples(dir.filePath("grey.tif"), grey, [](int x, int, int) { return x; }));
    QProcess process;
    process.setProcessEnvironment([] {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }());
    process.start(program, {dir.filePath("grey.tif")});
    ASSERT_TRUE(process.waitForFinished(30000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(out.startsWith(QStringLiteral("error 48 "))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("libglimvane_tiff.so is missing")))
        << out.toStdString();
    // Beside the real program the same file decodes.
    EXPECT_TRUE(digestWithHeapFilledBy(dir.filePath("grey.tif"), 0).startsWith("4x2 "));
}
