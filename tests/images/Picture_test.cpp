#include <gtest/gtest.h>

#include <QThread>
#include <atomic>
#include <memory>

#include "images/Picture.h"
#include "support/ImageFiles.h"
#include "support/TestEnvironment.h"

using namespace gv;

TEST(Picture, EmptyPictureHasNothingToShow) {
    const Picture empty;
    EXPECT_TRUE(empty.isNull());
    EXPECT_TRUE(empty.sizePixels().isEmpty());
    EXPECT_TRUE(empty.fullRaster().isNull());
    EXPECT_TRUE(empty.render(QSize(10, 10)).isNull());
    EXPECT_TRUE(Picture::fromRaster(QImage()).isNull());
    EXPECT_TRUE(Picture::fromPreview(QImage(), QSize(5, 5), [] { return QImage(); }).isNull());
}

TEST(Picture, HimetricAndPixelsConvertAtTheResolution) {
    const std::tuple<int, double, int> cases[] = {
        {96, 96, 2540}, {1, 96, 26}, {100, 72, 3528}, {1024, 120, 21675}};
    for (const auto& [px, dpi, himetric] : cases) {
        const Picture p =
            Picture::fromRaster(gvtest::quadrantImage(QSize(px, 2)), PictureKind::Bitmap, {}, dpi);
        EXPECT_EQ(p.sizeHimetric().width(), himetric) << px << " at " << dpi;
        EXPECT_EQ(himetricToPixels(himetric, dpi), px) << px << " at " << dpi;
    }
}

TEST(Picture, FullRasterIsProducedOnceEvenWhenAskedFromTwoThreads) {
    const QSize full(400, 300);
    std::atomic<int> calls{0};
    const Picture p = Picture::fromPreview(gvtest::quadrantImage(QSize(40, 30)), full, [&] {
        ++calls;
        QThread::msleep(50);  // long enough for the second caller to arrive meanwhile
        return gvtest::quadrantImage(full);
    });
    ASSERT_TRUE(p.holdsPreview());
    QImage fromThread;
    std::unique_ptr<QThread> thread(QThread::create([&] { fromThread = p.fullRaster(); }));
    thread->start();
    const QImage here = p.fullRaster();
    thread->wait();
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(here.size(), full);
    EXPECT_EQ(here.cacheKey(), fromThread.cacheKey());
    // Copies share what was produced.
    const Picture copy = p;
    EXPECT_EQ(copy.fullRaster().cacheKey(), here.cacheKey());
    EXPECT_EQ(calls.load(), 1);
}

TEST(Picture, AFullRasterThatCannotBeProducedFallsBackToThePreview) {
    // The file changed or vanished since the preview was made.
    for (const QSize wrong : {QSize(), QSize(10, 10)}) {
        const Picture p =
            Picture::fromPreview(gvtest::quadrantImage(QSize(40, 30)), QSize(400, 300),
                                 [wrong] { return gvtest::quadrantImage(wrong); });
        const QImage full = p.fullRaster();
        EXPECT_EQ(full.size(), QSize(400, 300));
        EXPECT_EQ(full.pixelColor(50, 50), gvtest::kQuadrantColours[0]);
    }
}
