// The image box paints a picture whose render at its size is slow (a metafile played in the
// helper, a huge raster scaled) without making that render on the window's thread.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "images/BackgroundRender.h"
#include "images/Metafile.h"
#include "images/Picture.h"
#include "support/MetafileWriter.h"
#include "widgets/ImageBox.h"

using namespace gv;

namespace {

// A metafile "played elsewhere" whose renders are held until released, each filled with a
// colour that tells its size apart, and noted with the thread they ran on.
// Renders outlive a test that does not wait for them, so what they note is shared.
class HeldRenders {
public:
    Picture picture() const {
        const std::optional<Metafile> sample = Metafile::fromBytes(gvtest::sampleEmf());
        return Picture::fromMetafile(Metafile::playedElsewhere(
            sample->kind(), sample->bytes(), sample->layout(),
            [s = m_s](const QByteArray&, const QSize& size, const QColor&) {
                std::unique_lock lock(s->mutex);
                s->threads.push_back(QThread::currentThread());
                ++s->count;
                // One made on the window's thread is not held: it would hang the test.
                s->released.wait(
                    lock, [&] { return s->open || QThread::currentThread() == qApp->thread(); });
                QImage image(size, QImage::Format_ARGB32_Premultiplied);
                image.fill(colourFor(size));
                return image;
            }));
    }
    static QColor colourFor(QSize size) { return size.width() < 100 ? Qt::red : Qt::blue; }
    void release() {
        std::lock_guard lock(m_s->mutex);
        m_s->open = true;
        m_s->released.notify_all();
    }
    bool ranOn(const QThread* thread) const {
        std::lock_guard lock(m_s->mutex);
        return std::find(m_s->threads.begin(), m_s->threads.end(), thread) != m_s->threads.end();
    }
    int count() const {
        std::lock_guard lock(m_s->mutex);
        return m_s->count;
    }

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable released;
        bool open = false;
        std::vector<const QThread*> threads;
        int count = 0;
    };
    std::shared_ptr<Shared> m_s = std::make_shared<Shared>();
};

}  // namespace

TEST(ImageBox, PaintsAMetafileWithoutRenderingItOnTheWindowsThread) {
    HeldRenders renders;
    ImageBox box;
    QPixmap logo(8, 8);
    logo.fill(Qt::green);
    box.setLogo(logo);
    box.resize(60, 40);
    box.setPicture(renders.picture());
    // With the render held, a paint on this thread would never return.
    QImage painted = box.grab().toImage();
    EXPECT_EQ(painted.pixelColor(2, 2), QColor(Qt::green)) << "the logo stands in at first";
    // A newer size supersedes the render asked for first, even once that one is released.
    box.resize(120, 80);
    box.grab();
    renders.release();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return box.grab().toImage().pixelColor(100, 70) == HeldRenders::colourFor(QSize(120, 80));
    }));
    EXPECT_FALSE(renders.ranOn(QThread::currentThread()));
    // What stands in for the next size is the last render, scaled: never the older size's.
    box.resize(60, 40);
    painted = box.grab().toImage();
    EXPECT_EQ(painted.pixelColor(50, 30), HeldRenders::colourFor(QSize(120, 80)));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return box.grab().toImage().pixelColor(50, 30) == HeldRenders::colourFor(QSize(60, 40));
    }));
}

TEST(BackgroundRender, OnlyTheNewestWishIsHandedOut) {
    HeldRenders renders;
    const Picture picture = renders.picture();
    QObject context;
    int arrivals = 0;
    BackgroundRender render(&context, [&] { ++arrivals; });
    EXPECT_FALSE(render.take(picture, QSize(50, 50)));
    EXPECT_FALSE(render.take(picture, QSize(200, 100)));
    // Asked again while under way: not started a second time.
    EXPECT_FALSE(render.take(picture, QSize(200, 100)));
    renders.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return arrivals > 0; }));
    const std::optional<QImage> done = render.take(picture, QSize(200, 100));
    ASSERT_TRUE(done);
    EXPECT_EQ(done->size(), QSize(200, 100));
    EXPECT_LE(renders.count(), 2);
    QTest::qWait(50);
    EXPECT_EQ(arrivals, 1) << "the superseded render was handed out";
    // A picture changed meanwhile forgets what was rendered for the old one.
    render.forget();
    EXPECT_FALSE(render.take(picture, QSize(200, 100)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return arrivals == 2; }));
}

TEST(BackgroundRender, OnlySlowRendersLeaveThePaint) {
    HeldRenders renders;
    const Picture small = Picture::fromRaster(QImage(400, 300, QImage::Format_RGB32));
    const Picture huge = Picture::fromRaster(QImage(4000, 3000, QImage::Format_RGB32));
    const struct {
        Picture picture;
        QSize size;
        bool slow;
    } cases[] = {
        {renders.picture(), QSize(10, 10), true},
        {small, QSize(200, 150), false},
        {huge, QSize(4000, 3000), false},  // shown as it is
        {huge, QSize(800, 600), true},
        {Picture(), QSize(800, 600), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BackgroundRender::slow(c.picture, c.size), c.slow) << c.size.width();
    }
}
