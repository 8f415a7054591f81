// Stepping quickly through large photos at Actual Size (an 800x600 view), as a person holding
// the Next button does, then scrolling to the far corner of the last one: how long that scroll
// took to paint, and the window's longest stall over the whole run (the longest time its event
// loop did not turn, the steps' own loads included).
//   stepping_bench FOLDER_WITH_JPEGS [steps] [ms between steps]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "widgets/FileListBox.h"
#include "widgets/ImageBox.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"

namespace {

// Measures the longest gap between two turns of the event loop.
class Heartbeat {
public:
    Heartbeat() {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { beat(); });
        m_clock.start();
        m_timer.start();
    }
    void beat() {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    }
    double longestMs() const { return m_longest / 1e6; }
    void reset() {
        beat();
        m_longest = 0;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [steps] [ms between steps]\n", argv[0]);
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const int steps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const int pause = argc > 3 ? std::max(0, std::atoi(argv[3])) : 100;
    gv::SaveSetting(gv::keys::kStartDir, folder);
    gv::SaveSetting(gv::keys::kImageSize, QStringLiteral("Normal"));

    gv::frmGlimvane w;
    w.Load();
    for (int i = 0; i < 3; ++i) {
        w.resize(w.size() + QSize(800, 600) - w.Picture1->size());
        QCoreApplication::processEvents();
    }
    if (w.File1->count() < 2) {
        std::fprintf(stderr, "the folder needs at least two images\n");
        return 2;
    }
    w.Toolbar[1]->click();  // the first image
    w.Picture1->grab();
    QTest::qWait(pause);

    Heartbeat heartbeat;
    QTest::qWait(5);
    heartbeat.reset();
    QElapsedTimer step;
    double longestStep = 0;
    for (int i = 0; i < steps; ++i) {
        step.start();
        w.Toolbar[1]->click();
        w.Picture1->grab();
        longestStep = std::max(longestStep, step.nsecsElapsed() / 1e6);
        QTest::qWait(pause);
    }
    const double steppingStall = heartbeat.longestMs();
    QElapsedTimer scroll;
    scroll.start();
    w.HScroll1->setValue(w.HScroll1->maximum());
    w.VScroll1->setValue(w.VScroll1->maximum());
    w.Picture1->grab();
    const double scrollMs = scroll.nsecsElapsed() / 1e6;
    QTest::qWait(pause);
    std::printf(
        "stepping: %d steps %d ms apart at Actual Size, then a scroll to the far corner: the "
        "scroll painted in %.1f ms; the window's longest stall %.1f ms (%.1f ms while stepping; "
        "longest step to the painted view %.1f ms)\n",
        steps, pause, scrollMs, heartbeat.longestMs(), steppingStall, longestStep);
    return 0;
}
