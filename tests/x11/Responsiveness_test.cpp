// The main window of the real program answers the desktop while a large picture decodes: a
// second X client asks it the window manager's "are you alive" question (_NET_WM_PING) over
// and over and times each answer.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <cstdio>
#include <cstdlib>
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

TEST(Responsiveness, TheWindowAnswersWhileALargePictureDecodes) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        GTEST_SKIP() << "needs the X server of scripts/test";
    }
    Pinger pinger;
    ASSERT_TRUE(pinger.ok());
    const QString trace = gvtest::testFolders().root + "/trace.txt";
    const QString images = gvtest::testFolders().home + "/Pictures";
    QDir().mkpath(images);
    // 256 MB of pixels behind 250 KB of deflate: the longest decode of the bombs the budget
    // lets through.
    const QString large = images + "/large.png";
    ASSERT_TRUE(gvtest::writeBytes(large, gvtest::zeroPng(8000, 8000)));

    auto start = [&](const QStringList& args) {
        auto* p = new QProcess;
        p->setEnvironment(gvtest::childEnvironment(trace));
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(gvtest::glimvaneBinary(), args);
        return std::unique_ptr<QProcess>(p);
    };
    const auto traced = [&](const QString& line) {
        QFile f(trace);
        return f.open(QIODevice::ReadOnly) && QString::fromUtf8(f.readAll()).contains(line);
    };
    const std::unique_ptr<QProcess> first = start({});
    QStringList windows;
    ASSERT_TRUE(
        waitFor([&] { return !(windows = visibleWindows("^Glimvane - ")).isEmpty(); }, 20000));
    const xcb_window_t window = windows.first().toUInt();
    ASSERT_GE(pinger.ping(window, 5000), 0) << "the idle window never answers";

    // Handed over by a second start, the picture is loaded by the window shown.
    const std::unique_ptr<QProcess> second = start({large});
    QElapsedTimer loading;
    loading.start();
    qint64 longest = 0;
    int answered = 0;
    // Until the picture has been shown and painted (the paint after the load is timed too).
    QElapsedTimer sinceShown;
    while ((!sinceShown.isValid() || sinceShown.elapsed() < 500) && loading.elapsed() < 60000) {
        if (!sinceShown.isValid() && traced("shown: " + large)) {
            sinceShown.start();
        }
        const qint64 rtt = pinger.ping(window, 10000);
        longest = rtt < 0 ? 10000 : std::max(longest, rtt);
        ++answered;
        QThread::msleep(20);
    }
    ASSERT_TRUE(traced("shown: " + large));
    std::printf("load of %lld ms: %d answers, the slowest in %lld ms\n",
                static_cast<long long>(loading.elapsed()), answered,
                static_cast<long long>(longest));
    // Enough questions fell into the decode to say anything.
    EXPECT_GE(answered, 5) << "the decode took " << loading.elapsed() << " ms";
    EXPECT_LT(longest, kAnswerMs) << "over a decode of " << loading.elapsed() << " ms";
    first->kill();
    first->waitForFinished(3000);
    second->waitForFinished(3000);
}
