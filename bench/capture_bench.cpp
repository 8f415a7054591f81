// A capture started by its hot key: from the key press (XTEST, as another client would send
// it) to the captured screen painted in the main window and drawn by the X server; the median
// of the runs, and the program's memory after one capture and after ten more.
//   capture_bench [runs]     (on an X server, with its own settings, see bench/run)

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "capture/frmCap.h"
#include "widgets/ImageBox.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/Screen.h"

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long residentKb() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * 4 : 0;
}

// The set-up answered as a user would: the hot key Ctrl+F5, the whole screen; the question
// about the unsaved capture before answered No.
class BenchDialogs final : public gv::Dialogs {
public:
    gv::MsgAnswer message(const QString&, gv::MsgButtons buttons, gv::MsgIcon, const QString&,
                          QWidget*) override {
        return buttons == gv::MsgButtons::Ok ? gv::MsgAnswer::Ok : gv::MsgAnswer::No;
    }
    QString input(const QString&, const QString&, const QString&, QWidget*) override { return {}; }
    std::optional<gv::FileChoice> openFile(const QString&, const QString&, const QString&, int,
                                           QWidget*) override {
        return std::nullopt;
    }
    std::optional<gv::FileChoice> saveFile(const QString&, const QString&, const QString&,
                                           QWidget*) override {
        return std::nullopt;
    }
    std::optional<gv::FileChoice> program(const QString&, const QString&, const QString&,
                                          QWidget*) override {
        return std::nullopt;
    }
    std::optional<QColor> colour(const QColor&, QWidget*) override { return std::nullopt; }
    QString folder(const QString&, QWidget*) override { return {}; }
    bool messageWithOptOut(const QString&, const QString&, QWidget*) override { return true; }
    int execModal(QDialog& dialog) override {
        if (auto* setup = qobject_cast<gv::frmCap*>(&dialog)) {
            setup->OptCapfull->setChecked(true);
            setup->optHotkey->setChecked(true);
            setup->cboKeys->setCurrentIndex(4);
            setup->cmdOK->click();
            return QDialog::Accepted;
        }
        return QDialog::Rejected;
    }
};

class Keyboard {
public:
    Keyboard() : m_c(xcb_connect(nullptr, nullptr)) {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_c);
        m_control = first(xcb_key_symbols_get_keycode(symbols, 0xffe3));
        m_f5 = first(xcb_key_symbols_get_keycode(symbols, 0xffc2));
        xcb_key_symbols_free(symbols);
    }
    ~Keyboard() { xcb_disconnect(m_c); }
    void press(bool down) {
        const uint8_t type = down ? XCB_KEY_PRESS : XCB_KEY_RELEASE;
        for (xcb_keycode_t k : down ? std::vector{m_control, m_f5} : std::vector{m_f5, m_control}) {
            xcb_test_fake_input(m_c, type, k, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        }
        xcb_flush(m_c);
    }

private:
    static xcb_keycode_t first(xcb_keycode_t* codes) {
        const xcb_keycode_t k = codes ? codes[0] : 0;
        std::free(codes);
        return k;
    }
    xcb_connection_t* m_c;
    xcb_keycode_t m_control = 0;
    xcb_keycode_t m_f5 = 0;
};

// The first paint of the image view that shows the capture.
class PaintWatch final : public QObject {
public:
    explicit PaintWatch(QWidget* window) : m_window(window) {}
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint &&
            m_window->windowTitle() == QStringLiteral("Glimvane - Unsaved Image")) {
            painted = true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_window;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "capture_bench needs an X server\n");
        return 2;
    }
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    gv::setDialogs(std::make_unique<BenchDialogs>());
    gv::frmGlimvane w;
    w.Load();
    w.show();
    PaintWatch watch(&w);
    w.Image1->installEventFilter(&watch);
    Keyboard keyboard;

    const auto captureOnce = [&]() -> double {
        w.Toolbar[9]->click();
        // The set-up's window has gone from the screen before the key comes.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 150) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        w.setWindowTitle(QStringLiteral("waiting"));
        watch.painted = false;
        QElapsedTimer t;
        t.start();
        keyboard.press(true);
        while (!watch.painted && t.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                            5);
        }
        gv::waitForDisplay();
        const double ms = t.nsecsElapsed() / 1e6;
        keyboard.press(false);
        QCoreApplication::processEvents();
        return ms;
    };

    std::vector<double> times;
    times.push_back(captureOnce());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const long afterOne = residentKb();
    for (int i = 1; i < std::max(runs, 11); ++i) {
        times.push_back(captureOnce());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    const long afterEleven = residentKb();
    const QSize screen = gv::screenSizePx();
    std::printf(
        "hot key to the captured %dx%d screen shown: median %.1f ms (min %.1f, max %.1f, "
        "%zu runs)\n",
        screen.width(), screen.height(), median(times),
        *std::min_element(times.begin(), times.end()),
        *std::max_element(times.begin(), times.end()), times.size());
    std::printf("resident memory after one capture %.1f MB, after %zu more %.1f MB (%+.1f MB)\n",
                afterOne / 1024.0, times.size() - 1, afterEleven / 1024.0,
                (afterEleven - afterOne) / 1024.0);
    return 0;
}
