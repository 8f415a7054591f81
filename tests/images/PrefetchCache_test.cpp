#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "images/Decoder.h"
#include "images/PrefetchCache.h"
#include "platform/Background.h"
#include "support/ImageFiles.h"
#include "support/MetafileWriter.h"
#include "support/TestEnvironment.h"

using namespace gv;
using namespace gvtest;

namespace {

constexpr QSize kBox(400, 300);
constexpr qint64 kMiB = 1024 * 1024;
// Only a bound against hanging: every wait ends as soon as the worker is done.
constexpr int kPatienceMs = 60000;

class PrefetchCacheTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString jpeg(const QString& name, QSize size) const {
        const QString p = path(name);
        EXPECT_TRUE(writeJpeg(p, quadrantImage(size)));
        return p;
    }

    // Waits until the worker has finished this many decodes in all.
    static void waitForJobs(const PrefetchCache& cache, int count) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return cache.jobsRun() >= count; }, kPatienceMs))
            << "only " << cache.jobsRun() << " of " << count << " decodes ended";
    }

    static void waitForDecoded(const QSignalSpy& spy, const QString& p) {
        const auto seen = [&] {
            return std::any_of(spy.begin(), spy.end(),
                               [&](const QList<QVariant>& args) { return args[0] == p; });
        };
        ASSERT_TRUE(QTest::qWaitFor(seen, kPatienceMs)) << p.toStdString() << " never decoded";
    }

    static bool wasDecoded(const QSignalSpy& spy, const QString& p) {
        return std::any_of(spy.begin(), spy.end(),
                           [&](const QList<QVariant>& args) { return args[0] == p; });
    }

    QTemporaryDir m_dir;
};

DecodeRequest windowRequest(QSize fitInto) {
    DecodeRequest r;
    r.fitInto = fitInto;
    return r;
}

bool setModified(const QString& p, const QDateTime& when) {
    QFile f(p);
    return f.open(QIODevice::ReadWrite) && f.setFileTime(when, QFileDevice::FileModificationTime);
}

}  // namespace

TEST_F(PrefetchCacheTest, PrefetchedPictureIsWhatTheWindowWouldDecodeAndIsHandedOutOnce) {
    ASSERT_TRUE(writeBytes(path("shapes.wmf"), sampleWmf()));
    ASSERT_TRUE(writePng(path("flat.png"), quadrantImage(QSize(500, 200))));
    struct Case {
        QString file;
        bool preview;  // a JPEG larger than the box is decoded reduced
    };
    const Case cases[] = {
        {jpeg("photo.jpg", QSize(1600, 1200)), true},
        {jpeg("small.jpg", QSize(200, 100)), false},
        {path("flat.png"), false},
        {path("shapes.wmf"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        PrefetchCache cache;
        QSignalSpy spy(&cache, &PrefetchCache::decoded);
        cache.prefetch({c.file}, kBox);
        waitForDecoded(spy, c.file);
        EXPECT_GT(cache.bytesInUse(), 0);

        // Another box is another picture.
        EXPECT_FALSE(cache.take(c.file, QSize(401, 300)));
        EXPECT_FALSE(cache.take(c.file, QSize()));

        const std::optional<Picture> got = cache.take(c.file, kBox);
        ASSERT_TRUE(got);
        const DecodeResult direct = DecodeImageFile(c.file, windowRequest(kBox));
        ASSERT_TRUE(direct.ok());
        EXPECT_EQ(got->holdsPreview(), c.preview);
        EXPECT_EQ(got->kind(), direct.picture().kind());
        EXPECT_EQ(got->sizePixels(), direct.picture().sizePixels());
        EXPECT_EQ(got->raster(), direct.picture().raster());
        if (c.preview) {
            EXPECT_EQ(got->fullRaster().size(), QSize(1600, 1200));
        }

        // Handed over: the memory is the caller's now, and a second take misses.
        EXPECT_EQ(cache.bytesInUse(), 0);
        EXPECT_FALSE(cache.take(c.file, kBox));
        EXPECT_EQ(cache.jobsRun(), 1);
    }
}

TEST_F(PrefetchCacheTest, ChangedOrDeletedFileIsNeverHandedOutAndIsDecodedAgain) {
    struct Case {
        const char* name;
        std::function<bool(const QString&)> change;
        std::optional<QSize> sizeAfter;  // nullopt: nothing to show any more
    };
    const Case cases[] = {
        {"other picture, modification time put back",
         [](const QString& p) {
             const QDateTime before = QFileInfo(p).lastModified();
             return writeJpeg(p, quadrantImage(QSize(300, 400))) && setModified(p, before);
         },
         QSize(300, 400)},
        {"same bytes, newer modification time",
         [](const QString& p) {
             QFile f(p);
             if (!f.open(QIODevice::ReadOnly)) {
                 return false;
             }
             const QByteArray bytes = f.readAll();
             const QDateTime before = QFileInfo(p).lastModified();
             return writeBytes(p, bytes) && setModified(p, before.addSecs(5));
         },
         QSize(1200, 900)},
        {"deleted", [](const QString& p) { return QFile::remove(p); }, std::nullopt},
        {"now noise", [](const QString& p) { return writeRandomBytes(p, 5000, 7); }, std::nullopt},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = jpeg(QStringLiteral("changing%1.jpg").arg(n++), QSize(1200, 900));
        PrefetchCache cache;
        cache.prefetch({file}, kBox);
        waitForJobs(cache, 1);
        ASSERT_GT(cache.bytesInUse(), 0);

        ASSERT_TRUE(c.change(file));
        EXPECT_FALSE(cache.take(file, kBox));
        EXPECT_EQ(cache.bytesInUse(), 0);

        // Asked again, the file is decoded as it is now.
        cache.prefetch({file}, kBox);
        waitForJobs(cache, 2);
        const std::optional<Picture> again = cache.take(file, kBox);
        ASSERT_EQ(again.has_value(), c.sizeAfter.has_value());
        if (again) {
            EXPECT_EQ(again->sizePixels(), *c.sizeAfter);
        }
    }
}

TEST_F(PrefetchCacheTest, BrokenFileIsMissedAndNotRetriedUntilItChanges) {
    ASSERT_TRUE(writeEmptyFile(path("empty.jpg")));
    ASSERT_TRUE(writeRandomBytes(path("noise.jpg"), 20000, 3));
    ASSERT_TRUE(writeRandomBytes(path("noise.png"), 20000, 4));
    ASSERT_TRUE(writePng(path("png-named.jpg"), quadrantImage(QSize(300, 200))));
    ASSERT_TRUE(writeBytes(path("cut.wmf"), sampleWmf().left(10)));
    const QString good = jpeg("good.jpg", QSize(800, 600));
    const QString broken[] = {path("empty.jpg"),     path("noise.jpg"), path("noise.png"),
                              path("png-named.jpg"), path("cut.wmf"),   path("missing.jpg")};
    int sentinels = 0;
    for (const QString& bad : broken) {
        SCOPED_TRACE(bad.toStdString());
        PrefetchCache cache;
        QSignalSpy spy(&cache, &PrefetchCache::decoded);
        cache.prefetch({bad, good}, kBox);
        waitForJobs(cache, 2);
        EXPECT_FALSE(cache.take(bad, kBox));
        EXPECT_TRUE(cache.take(good, kBox));
        EXPECT_FALSE(wasDecoded(spy, bad));

        // Jobs run in order, so had the broken file been queued again it would have been
        // decoded before the fresh file behind it.
        const QString fresh = jpeg(QStringLiteral("fresh%1.jpg").arg(sentinels++), kBox);
        cache.prefetch({bad, fresh}, kBox);
        waitForDecoded(spy, fresh);
        EXPECT_EQ(cache.jobsRun(), 3);
        EXPECT_FALSE(cache.take(bad, kBox));

        // Once the file is repaired it is worth trying again.
        ASSERT_TRUE(writeJpeg(bad, quadrantImage(QSize(640, 480))));
        ASSERT_TRUE(setModified(bad, QDateTime::currentDateTime().addSecs(10)));
        cache.prefetch({bad}, kBox);
        waitForJobs(cache, 4);
        if (bad.endsWith(QLatin1String(".jpg"))) {
            const std::optional<Picture> repaired = cache.take(bad, kBox);
            ASSERT_TRUE(repaired);
            EXPECT_EQ(repaired->sizePixels(), QSize(640, 480));
        } else {
            EXPECT_FALSE(cache.take(bad, kBox));  // JPEG bytes under another type's name
        }
    }
}

TEST_F(PrefetchCacheTest, MostWantedPicturesFillTheBudgetAndNoMore) {
    // A preview of 400x300 costs 480 000 bytes; four of them fit, a fifth does not.
    constexpr qint64 kBudget = 2 * kMiB;
    QStringList files;
    for (int i = 0; i < 10; ++i) {
        files << jpeg(QStringLiteral("wanted%1.jpg").arg(i), QSize(800, 600));
    }
    PrefetchCache cache(kBudget);
    qint64 highest = 0;
    QObject::connect(&cache, &PrefetchCache::decoded,
                     [&] { highest = std::max(highest, cache.bytesInUse()); });
    cache.prefetch(files, kBox);
    waitForJobs(cache, static_cast<int>(files.size()));
    QCoreApplication::processEvents();
    EXPECT_LE(highest, cache.budget());
    EXPECT_LE(cache.bytesInUse(), cache.budget());
    for (int i = 0; i < files.size(); ++i) {
        EXPECT_EQ(cache.take(files[i], kBox).has_value(), i < 4) << "wish " << i;
    }
    EXPECT_EQ(cache.bytesInUse(), 0);
}

TEST_F(PrefetchCacheTest, SteppingThroughAFolderStaysWithinTheBudget) {
    constexpr qint64 kBudget = 2 * kMiB;
    QStringList files;
    for (int i = 0; i < 14; ++i) {
        // Alternating orientations give previews of different costs.
        files << jpeg(QStringLiteral("step%1.jpg").arg(i),
                      i % 2 ? QSize(800, 600) : QSize(450, 800));
    }
    PrefetchCache cache(kBudget);
    QSignalSpy spy(&cache, &PrefetchCache::decoded);
    int hits = 0;
    for (int i = 0; i + 1 < files.size(); ++i) {
        SCOPED_TRACE(i);
        // The window: the shown file from the cache if it can, then the neighbours ahead.
        if (cache.take(files[i], kBox)) {
            ++hits;
        } else {
            EXPECT_EQ(i, 0) << "the next file was prefetched but not held";
        }
        spy.clear();
        QStringList next = {files[i + 1]};
        if (i > 0) {
            next << files[i - 1];
        }
        cache.prefetch(next, kBox);
        for (const QString& p : next) {
            waitForDecoded(spy, p);
        }
        EXPECT_LE(cache.bytesInUse(), cache.budget());
    }
    EXPECT_EQ(hits, files.size() - 2);
}

TEST_F(PrefetchCacheTest, PictureLargerThanTheBudgetIsNotKept) {
    constexpr qint64 kBudget = kMiB;
    ASSERT_TRUE(writePng(path("big.png"), quadrantImage(QSize(1000, 1000))));
    // A 10x10 pixel metafile: a tiny raster, but its records cost more than a tiny budget.
    WmfWriter tiny(QRect(0, 0, 150, 150), 1440);
    tiny.setWindowOrg({0, 0}).setWindowExt({150, 150}).rectangle(QRect(10, 10, 100, 100));
    ASSERT_TRUE(writeBytes(path("tiny.wmf"), tiny.finish()));
    struct Case {
        QString file;
        QSize box;
        qint64 budget;
        bool kept;
    };
    const Case cases[] = {
        {path("big.png"), kBox, kBudget, false},                        // 4 MB, no reduced decoding
        {jpeg("wide.jpg", QSize(1200, 600)), QSize(), kBudget, false},  // 2.9 MB in full
        // 4 MB in full, but decoded at an eighth for the box.
        {jpeg("reducible.jpg", QSize(1000, 1000)), QSize(100, 100), kBudget, true},
        {jpeg("fits.jpg", QSize(480, 480)), QSize(), kBudget, true},  // 921 600 bytes, and the file
        {path("tiny.wmf"), kBox, 16 * 1024, false},
        {path("tiny.wmf"), kBox, kBudget, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        PrefetchCache cache(c.budget);
        cache.prefetch({c.file}, c.box);
        waitForJobs(cache, 1);
        EXPECT_LE(cache.bytesInUse(), cache.budget());
        EXPECT_EQ(cache.take(c.file, c.box).has_value(), c.kept);
    }
    // A cache without any budget holds nothing at all.
    PrefetchCache none(0);
    none.prefetch({path("fits.jpg")}, kBox);
    waitForJobs(none, 1);
    EXPECT_EQ(none.bytesInUse(), 0);
    EXPECT_FALSE(none.take(path("fits.jpg"), kBox));
}

TEST_F(PrefetchCacheTest, NewWishListDropsJobsNotStartedAndResultsNoLongerWanted) {
    // Full decodes of large files, so that each job runs far longer than a call to prefetch.
    QStringList slow;
    for (int i = 0; i < 4; ++i) {
        slow << jpeg(QStringLiteral("slow%1.jpg").arg(i), QSize(4000, 3000));
    }
    const QString quick = jpeg("quick.jpg", QSize(640, 480));

    PrefetchCache cache;
    QSignalSpy spy(&cache, &PrefetchCache::decoded);
    cache.prefetch(slow, QSize());
    cache.prefetch({quick}, kBox);
    waitForDecoded(spy, quick);
    EXPECT_LE(cache.jobsRun(), 2);  // at most the slow job already running
    for (const QString& p : slow) {
        EXPECT_FALSE(wasDecoded(spy, p)) << p.toStdString();
        EXPECT_FALSE(cache.take(p, QSize())) << p.toStdString();
    }
    EXPECT_TRUE(cache.take(quick, kBox));

    // A running job still wanted is not started again, and its result is kept.
    const int before = cache.jobsRun();
    cache.prefetch({slow[0]}, QSize());
    cache.prefetch({slow[0], quick}, QSize());
    waitForJobs(cache, before + 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(cache.jobsRun(), before + 2);
    EXPECT_TRUE(cache.take(slow[0], QSize()));
    EXPECT_TRUE(cache.take(quick, QSize()));

    // A file asked for before its turn is decoded by the window, so the queue lets it go.
    spy.clear();
    cache.prefetch({slow[1], slow[2], quick}, QSize());
    EXPECT_FALSE(cache.take(slow[2], QSize()));
    waitForDecoded(spy, quick);
    EXPECT_EQ(cache.jobsRun(), before + 4);
    EXPECT_FALSE(wasDecoded(spy, slow[2]));
    EXPECT_TRUE(cache.take(slow[1], QSize()));
}

TEST_F(PrefetchCacheTest, ClearForgetsEverythingButAFreshWishIsStillServed) {
    const QString big = jpeg("big.jpg", QSize(4000, 3000));
    const QString small = jpeg("small.jpg", QSize(640, 480));
    PrefetchCache cache;
    cache.prefetch({small}, kBox);
    waitForJobs(cache, 1);
    ASSERT_GT(cache.bytesInUse(), 0);
    cache.clear();
    EXPECT_EQ(cache.bytesInUse(), 0);
    EXPECT_FALSE(cache.take(small, kBox));

    // Behind small, big is most likely being decoded by the time clear() comes; whether it
    // is or not, the second wish for it must give a picture.
    QSignalSpy spy(&cache, &PrefetchCache::decoded);
    cache.prefetch({small, big}, QSize());
    waitForDecoded(spy, small);
    cache.clear();
    cache.prefetch({big}, QSize());
    waitForDecoded(spy, big);
    const std::optional<Picture> got = cache.take(big, QSize());
    ASSERT_TRUE(got);
    EXPECT_EQ(got->sizePixels(), QSize(4000, 3000));
}

TEST_F(PrefetchCacheTest, DestroyingTheCacheWhileItDecodesIsSafe) {
    QStringList files;
    for (int i = 0; i < 3; ++i) {
        files << jpeg(QStringLiteral("long%1.jpg").arg(i), QSize(4000, 3000));
    }
    for (const bool afterFirst : {false, true}) {
        SCOPED_TRACE(afterFirst);
        int delivered = 0;
        QObject receiver;
        auto cache = std::make_unique<PrefetchCache>();
        QObject::connect(cache.get(), &PrefetchCache::decoded, &receiver, [&] { ++delivered; });
        cache->prefetch(files, QSize());
        if (afterFirst) {
            // The second decode is under way now.
            ASSERT_TRUE(QTest::qWaitFor([&] { return delivered == 1; }, kPatienceMs));
        }
        const int started = delivered;
        cache.reset();
        // Nothing announced by the worker reaches anyone after the cache is gone.
        QCoreApplication::processEvents();
        EXPECT_EQ(delivered, started);
    }
}

namespace {

// The nice values of this process's threads, read from /proc.
std::vector<int> threadNiceValues() {
    std::vector<int> values;
    for (const QString& tid :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;  // the thread ended meanwhile
        }
        // The name in parentheses may hold spaces; the fields after it are plain numbers.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        // After the name: state is field 3 of the whole line, nice is field 19.
        if (fields.size() > 16) {
            values.push_back(fields[16].toInt());
        }
    }
    return values;
}

}  // namespace

TEST_F(PrefetchCacheTest, DecodingAheadRunsBelowTheWindowsPriority) {
    const int own = currentThreadNice();
    PrefetchCache cache(256 * kMiB);
    cache.prefetch({jpeg("a.jpg", QSize(800, 600))}, kBox);
    waitForJobs(cache, 1);
    // The worker thread outlives its job for a while; it is the one running lower.
    const std::vector<int> nice = threadNiceValues();
    const int lowered = std::min(own + kBackgroundNiceSteps, 19);
    EXPECT_TRUE(std::find(nice.begin(), nice.end(), lowered) != nice.end())
        << "no thread at nice " << lowered;
    EXPECT_EQ(currentThreadNice(), own);
}
