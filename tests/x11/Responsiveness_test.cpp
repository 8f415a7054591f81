// The main window of the real program answers the desktop while a large picture decodes: a
// second X client asks it the window manager's "are you alive" question (_NET_WM_PING) over
// and over and times each answer.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "support/Bombs.h"
#include "support/ImageFiles.h"
#include "support/TestEnvironment.h"
#include "support/X11Helpers.h"

using gvtest::visibleWindows;
using gvtest::waitFor;

namespace {

constexpr qint64 kAnswerMs = 100;

// A connection of our own that pings a window and waits for its answer, which a client sends
// to the root window (where we listen for it).
class Pinger final {
public:
    Pinger() {
        m_c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_c)) {
            return;
        }
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        // Qt answers to the root window for those that listen to its structure.
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        m_protocols = atom("WM_PROTOCOLS");
        m_ping = atom("_NET_WM_PING");
    }
    ~Pinger() { xcb_disconnect(m_c); }
    Pinger(const Pinger&) = delete;
    Pinger& operator=(const Pinger&) = delete;

    bool ok() const { return m_ping != 0; }

    // Milliseconds to the answer; -1 when there was none within the limit.
    qint64 ping(xcb_window_t window, int limitMs) {
        xcb_client_message_event_t e{};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = window;
        e.type = m_protocols;
        e.data.data32[0] = m_ping;
        e.data.data32[1] = ++m_stamp;
        e.data.data32[2] = window;
        QElapsedTimer t;
        t.start();
        xcb_send_event(m_c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&e));
        xcb_flush(m_c);
        while (t.elapsed() < limitMs) {
            while (xcb_generic_event_t* ev = xcb_poll_for_event(m_c)) {
                std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> owned(ev, &std::free);
                if ((ev->response_type & 0x7F) == XCB_CLIENT_MESSAGE) {
                    const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(ev);
                    if (m->data.data32[0] == m_ping && m->data.data32[1] == m_stamp) {
                        return t.elapsed();
                    }
                }
            }
            QThread::usleep(500);
        }
        return -1;
    }

private:
    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : 0;
        std::free(r);
        return a;
    }

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_protocols = 0;
    xcb_atom_t m_ping = 0;
    uint32_t m_stamp = 0;
};

}  // namespace

// A window of the real program, pinged over and over while it loads and shows pictures.
class Responsiveness : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            GTEST_SKIP() << "needs the X server of scripts/test";
        }
        ASSERT_TRUE(m_pinger.ok());
        QDir().mkpath(m_images);
        m_first = start({});
        QStringList windows;
        ASSERT_TRUE(
            waitFor([&] { return !(windows = visibleWindows("^Glimvane - ")).isEmpty(); }, 20000));
        m_window = windows.first().toUInt();
        ASSERT_GE(m_pinger.ping(m_window, 5000), 0) << "the idle window never answers";
    }
    void TearDown() override {
        for (const auto& p : {m_first.get(), m_second.get()}) {
            if (p) {
                p->kill();
                p->waitForFinished(3000);
            }
        }
    }

    std::unique_ptr<QProcess> start(const QStringList& args) {
        auto* p = new QProcess;
        p->setEnvironment(gvtest::childEnvironment(m_trace));
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(gvtest::glimvaneBinary(), args);
        return std::unique_ptr<QProcess>(p);
    }
    bool traced(const QString& line) const {
        QFile f(m_trace);
        return f.open(QIODevice::ReadOnly) && QString::fromUtf8(f.readAll()).contains(line);
    }

    // Hands the file to the window (by a second start, as the desktop does) and pings the window
    // until `done` is traced and 500 ms more (the paint after it is timed too); meanwhile
    // `during` runs once, when `shown` has been traced. The slowest answer in ms.
    qint64 slowestAnswerWhile(const QString& file, const QString& done,
                              const std::function<void()>& during = {}) {
        m_second = start({file});
        QElapsedTimer loading;
        loading.start();
        qint64 longest = 0;
        int answered = 0;
        bool duringRun = !during;
        QElapsedTimer sinceDone;
        while ((!sinceDone.isValid() || sinceDone.elapsed() < 500) && loading.elapsed() < 90000) {
            if (!duringRun && traced("shown: " + file)) {
                during();
                duringRun = true;
            }
            if (!sinceDone.isValid() && traced(done)) {
                sinceDone.start();
            }
            const qint64 rtt = m_pinger.ping(m_window, 10000);
            longest = rtt < 0 ? 10000 : std::max(longest, rtt);
            ++answered;
            QThread::msleep(20);
        }
        EXPECT_TRUE(traced(done)) << done.toStdString();
        std::printf("load of %s, %lld ms: %d answers, the slowest in %lld ms\n",
                    qPrintable(QFileInfo(file).fileName()),
                    static_cast<long long>(loading.elapsed()), answered,
                    static_cast<long long>(longest));
        // Enough questions fell into the decode to say anything.
        EXPECT_GE(answered, 5) << "it took " << loading.elapsed() << " ms";
        return longest;
    }

    Pinger m_pinger;
    const QString m_trace = gvtest::testFolders().root + "/trace.txt";
    const QString m_images = gvtest::testFolders().home + "/Pictures";
    std::unique_ptr<QProcess> m_first;
    std::unique_ptr<QProcess> m_second;
    xcb_window_t m_window = 0;
};

TEST_F(Responsiveness, TheWindowAnswersWhileALargePictureDecodesAndIsFitted) {
    // 256 MB of pixels behind 250 KB of deflate: the longest decode of the bombs the budget
    // lets through, then scaled down smoothly to the window in Best Fit.
    const QString large = m_images + "/large.png";
    ASSERT_TRUE(gvtest::writeBytes(large, gvtest::zeroPng(8000, 8000)));
    EXPECT_LT(slowestAnswerWhile(large, "shown: " + large), kAnswerMs);
}

TEST_F(Responsiveness, TheWindowAnswersWhileAMetafileRendersAtANewSize) {
    // Each render plays images of 8192 x 8192 (256 MB each, one at a time): seconds of work.
    const QString heavy = m_images + "/heavy.emf";
    ASSERT_TRUE(gvtest::writeBytes(heavy, gvtest::emfPlusOfPngs(QSize(1200, 900), 6, 8192)));
    // A new size while the first render runs: the render for it supersedes the first one.
    const auto resize = [&] {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        const uint32_t size[] = {700, 500};
        xcb_configure_window(c, m_window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
        xcb_flush(c);
        xcb_disconnect(c);
    };
    EXPECT_LT(slowestAnswerWhile(heavy, "rendered: ", resize), kAnswerMs);
}
