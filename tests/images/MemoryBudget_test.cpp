#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <thread>
#include <vector>

#include "images/Decoder.h"
#include "images/MemoryBudget.h"
#include "support/Bombs.h"
#include "support/ImageFiles.h"

using namespace gv;
using namespace gvtest;

namespace {

constexpr int kBudgetMb = 512;
// What a process of the program takes before any picture (Qt, the libraries), with room to
// spare; anything a decode allocates beyond its budget shows above it.
constexpr long kMarginKb = 96 * 1024;

struct Decoded {
    QString out;  // gvdecode's first line
    long peakKb = -1;
};

// gvdecode's answer for the file, in a process of its own whose budget is kBudgetMb.
Decoded decodeInChild(const QString& file, const QStringList& mode = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(GLIMVANE_BINARY_DIR "/gvdecode"),
                  QStringList{QStringLiteral("--budget-mb"), QString::number(kBudgetMb),
                              QStringLiteral("--peak")} +
                      mode + QStringList{file});
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return {QStringLiteral("no answer"), -1};
    }
    const QStringList lines =
        QString::fromLatin1(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    Decoded d;
    d.out = lines.value(0);
    if (lines.size() > 1 && lines.last().startsWith(QStringLiteral("peak "))) {
        d.peakKb = lines.last().mid(5).toLong();
    }
    return d;
}

}  // namespace

TEST(MemoryBudget, BombsAreRefusedBeforeTheyTakeMoreThanTheBudget) {
    // Each file's real cost is beyond the budget of 512 MB: its pixels in the format the
    // decoder fills, the decoder's working memory, the images inside a metafile.
    struct Bomb {
        const char* name;
        QByteArray bytes;
    };
    const Bomb bombs[] = {
        // 5.6 MB claiming 38000 x 38000, every byte of it real deflate.
        {"huge.png", zeroPng(38000, 38000)},
        {"deep.png", zeroPng(12000, 12000, 6, 16)},
        // Under a kilobyte claiming 30000 x 30000.
        {"claims.jpg", jpegDeclaring(QSize(30000, 30000))},
        // A raster of 484 MB fits, but libjpeg keeps 363 MB of coefficients beside it.
        {"progressive.jpg", jpegDeclaring(QSize(11000, 11000), true)},
        {"large.pcx", zeroPcx(12000, 12000)},
        // Ten 4096 x 4096 images held at once by a picture of 800 x 600.
        {"images.emf", emfPlusOfPngs(QSize(800, 600), 10, 4096)},
    };
    QTemporaryDir dir;
    for (const Bomb& bomb : bombs) {
        const QString file = dir.filePath(QString::fromLatin1(bomb.name));
        ASSERT_TRUE(writeBytes(file, bomb.bytes));
        const Decoded d = decodeInChild(file);
        EXPECT_EQ(d.out, QStringLiteral("error 7 Out of memory")) << bomb.name;
        EXPECT_GT(d.peakKb, 0) << bomb.name;
        EXPECT_LT(d.peakKb, kMarginKb) << bomb.name << " took " << d.peakKb << " kB";
    }
}

TEST(MemoryBudget, APanoramaBeyondTheBudgetOpensAtTheScaleShown) {
    // 400 megapixels: 1.6 GB as a whole raster, a few MB at the eighth libjpeg decodes for a
    // box of 1600 x 1000.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("panorama.jpg"));
    ASSERT_TRUE(writeBytes(file, flatJpeg(QSize(40000, 10000))));
    const Decoded fitted =
        decodeInChild(file, {QStringLiteral("--fit"), QStringLiteral("1600x1000")});
    EXPECT_TRUE(fitted.out.startsWith(QStringLiteral("1600x400 "))) << fitted.out.toStdString();
    EXPECT_GT(fitted.peakKb, 0);
    EXPECT_LT(fitted.peakKb, kBudgetMb * 1024L + kMarginKb);
    // Whole, it is beyond the budget.
    EXPECT_EQ(decodeInChild(file).out, QStringLiteral("error 7 Out of memory"));
}

TEST(MemoryBudget, PicturesHeldShareTheProgramsBudget) {
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.png"));
    const QString second = dir.filePath(QStringLiteral("second.bmp"));
    ASSERT_TRUE(writePng(first, quadrantImage(QSize(600, 500))));
    ASSERT_TRUE(writeBmp(second, quadrantImage(QSize(600, 500))));
    MemoryBudget& budget = MemoryBudget::program();
    const qint64 saved = budget.limit();
    // Room for one picture of 1.2 MB and the decode of the other (with its 0.9 MB file), not
    // for both.
    budget.setLimit(2'500'000);
    {
        const DecodeResult held = DecodeImageFile(first);
        ASSERT_TRUE(held.ok());
        EXPECT_GE(budget.inUse(), 600 * 500 * 4);
        const DecodeResult refused = DecodeImageFile(second);
        EXPECT_EQ(refused.error().number, kErrOutOfMemory);
    }
    // The first picture gone, its memory is the second's.
    EXPECT_EQ(budget.inUse(), 0);
    const DecodeResult next = DecodeImageFile(second);
    EXPECT_TRUE(next.ok());
    EXPECT_EQ(next.picture().sizePixels(), QSize(600, 500));
    budget.setLimit(saved);
}

TEST(MemoryBudget, ReservationsFromManyThreadsNeverPassTheLimit) {
    MemoryBudget budget(1000);
    std::atomic<qint64> worst = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                std::optional<MemoryBudget::Reservation> r = budget.reserve(300);
                if (!r) {
                    continue;
                }
                qint64 seen = budget.inUse();
                qint64 before = worst.load();
                while (seen > before && !worst.compare_exchange_weak(before, seen)) {
                }
                r->shrinkTo(100);
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_LE(worst.load(), 1000);
    EXPECT_EQ(budget.inUse(), 0);
    const std::optional<MemoryBudget::Reservation> most = budget.reserve(600);
    EXPECT_FALSE(budget.reserve(401));
    EXPECT_TRUE(budget.reserve(400));
    EXPECT_FALSE(budget.reserve(-1));
}
