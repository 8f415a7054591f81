// Screen capture on the test script's X server with its window manager, beside another client
// whose window shows a known picture: the captured pixels, global hot keys pressed through
// XTEST, a combination the other client holds, the custom area drawn with the real mouse, and
// recovery by the real recovery program.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "XClient.h"
#include "capture/clsHotkeys.h"
#include "capture/clsScreen.h"
#include "capture/frmCap.h"
#include "capture/frmCrop.h"
#include "images/Wallpaper.h"
#include "widgets/ImageBox.h"
#include "platform/Artwork.h"
#include "platform/Controls.h"
#include "platform/Settings.h"
#include "platform/TrayIcon.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "support/TestEnvironment.h"
#include "support/WindowFixture.h"
#include "support/X11Helpers.h"

using namespace gv;
using gvtest::waitFor;

namespace {

constexpr quint32 kControlL = 0xffe3;
constexpr quint32 kF5 = 0xffc2;
constexpr quint32 kF6 = 0xffc3;
constexpr quint32 kNumLock = 0xff7f;
constexpr quint32 kCapsLock = 0xffe5;
constexpr quint32 kShiftL = 0xffe1;
constexpr quint32 kSpace = 0x20;
constexpr uint16_t kControlMask = XCB_MOD_MASK_CONTROL;
constexpr uint16_t kNumLockMask = XCB_MOD_MASK_2;

bool onX() {
    return QGuiApplication::platformName() == QStringLiteral("xcb");
}

template <typename F>
ObjectError raised(F call) {
    try {
        call();
    } catch (const ObjectError& e) {
        return e;
    }
    return {};
}

class OnTheDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        if (!onX() || !m_other.connected()) {
            GTEST_SKIP() << "needs the X server of scripts/test";
        }
        m_drawn = gvtest::placePattern({320, 240}, 1);
        m_window = m_other.showWindow(m_drawn, "Drawn");
        ASSERT_TRUE(m_other.activate(m_window));
    }
    QRect screenRect() const { return QRect(QPoint(0, 0), m_other.rootSize()); }

    gvtest::XClient m_other;
    QImage m_drawn;
    xcb_window_t m_window = 0;
};

// The main window on the X server, with scripted dialogs.
class ProgramOnTheDesktop : public gvtest::WindowFixture {
protected:
    void SetUp() override {
        if (!onX() || !m_other.connected()) {
            GTEST_SKIP() << "needs the X server of scripts/test";
        }
        WindowFixture::SetUp();
        open();
        w->move(0, 0);
        w->resize(600, 400);
        m_drawn = gvtest::placePattern({640, 480}, 2);
        m_window = m_other.showWindow(m_drawn, "Drawn");
        ASSERT_TRUE(m_other.activate(m_window));
    }
    void capture(const std::function<void(frmCap&)>& script) {
        m_dialogs->modalScripts.enqueue([script](QDialog& d) {
            auto& setup = dynamic_cast<frmCap&>(d);
            script(setup);
            return setup.isWaiting() ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
        w->Toolbar[9]->click();
    }
    bool captured() const {
        return w->windowTitle() == "Glimvane - Unsaved Image" && !w->captureSetup();
    }
    QImage shown() const { return w->Image1->picture().raster(); }

    gvtest::XClient m_other;
    QImage m_drawn;
    xcb_window_t m_window = 0;
};

}  // namespace

TEST_F(OnTheDesktop, CapturesShowWhatTheWindowDrew) {
    clsScreen engine(screenRect());
    DesktopCapture& desktop = desktopCapture();
    ASSERT_EQ(desktop.foregroundWindow(), m_window);
    const QRect client = m_other.rootRect(m_window);
    const QRect frame = m_other.frameRect(m_window);
    ASSERT_NE(frame, client) << "the window manager frames the window";

    // Its client area: exactly what it drew.
    EXPECT_EQ(engine.CaptureWindow(m_window, true, 0, 0, 320, 240).raster(), m_drawn);
    // With its frame: the frame's size, the picture inside where the window lies in it.
    const QImage withFrame = engine.CaptureActiveWindow().raster();
    ASSERT_EQ(withFrame.size(), frame.size());
    EXPECT_EQ(withFrame.copy(QRect(client.topLeft() - frame.topLeft(), client.size())), m_drawn);
    EXPECT_NE(withFrame.pixel(1, 1), m_drawn.pixel(0, 0));  // the title bar
    // The whole screen.
    const QImage screen = engine.CaptureScreen().raster();
    ASSERT_EQ(screen.size(), m_other.rootSize());
    EXPECT_EQ(screen.copy(client), m_drawn);
    // Reaching beyond the screen's corner: the screen inside, black beyond.
    const QPoint corner(m_other.rootSize().width() - 10, m_other.rootSize().height() - 10);
    const QImage beyond =
        engine.CaptureWindow(desktop.desktopWindow(), false, corner.x(), corner.y(), 20, 20)
            .raster();
    ASSERT_EQ(beyond.size(), QSize(20, 20));
    EXPECT_EQ(beyond.copy(0, 0, 10, 10), screen.copy(QRect(corner, QSize(10, 10))));
    EXPECT_EQ(beyond.pixel(15, 15), qRgb(0, 0, 0));
    EXPECT_EQ(beyond.pixel(5, 15), qRgb(0, 0, 0));
    // A window that has gone: black, of the size asked for.
    const QImage gone = engine.CaptureWindow(0x7fffff0, false, 0, 0, 20, 10).raster();
    ASSERT_EQ(gone.size(), QSize(20, 10));
    EXPECT_EQ(gone.pixel(5, 5), qRgb(0, 0, 0));
}

TEST_F(OnTheDesktop, AMaximisedWindowIsTakenFromFiveFiveWithoutItsOverhang) {
    ASSERT_TRUE(m_other.maximise(m_window));
    DesktopCapture& desktop = desktopCapture();
    ASSERT_TRUE(desktop.isMaximised(m_window));
    const QRect frame = m_other.frameRect(m_window);
    EXPECT_EQ(desktop.windowRect(m_window), frame);
    clsScreen engine(screenRect());
    const QImage screen = engine.CaptureScreen().raster();
    const QImage taken =
        engine.CaptureWindow(m_window, false, 5, 5, frame.width() - 7, frame.height() - 3).raster();
    ASSERT_EQ(taken.size(), QSize(frame.width() - 7, frame.height() - 3));
    const QPoint origin = frame.topLeft() + QPoint(5, 5);
    for (const QPoint p : {QPoint(0, 0), QPoint(taken.width() - 1, 10),
                           QPoint(taken.width() / 2, taken.height() / 2)}) {
        EXPECT_EQ(taken.pixel(p), screen.pixel(origin + p)) << p.x() << "," << p.y();
    }
}

TEST_F(OnTheDesktop, AHotKeyReachesTheProgramWhateverHasTheFocusAndIsLetGo) {
    clsHotkeys hk;
    hk.Attach(4242);
    hk.RegisterKey("cap", 116, 2);  // Ctrl+F5
    QSignalSpy spy(&hk, &clsHotkeys::HotKeyPress);
    m_other.tap({kControlL, kF5});
    ASSERT_TRUE(waitFor([&] { return spy.size() == 1; }, 3000));
    EXPECT_EQ(spy[0], QVariantList({"cap", 2, 116}));
    // With NumLock and then CapsLock on as well.
    m_other.tap({kNumLock});
    m_other.tap({kControlL, kF5});
    m_other.tap({kCapsLock});
    m_other.tap({kControlL, kF5});
    m_other.tap({kNumLock});
    m_other.tap({kCapsLock});
    EXPECT_TRUE(waitFor([&] { return spy.size() == 3; }, 3000));
    // Other combinations stay the focused window's.
    m_other.tap({kControlL, kF6});
    m_other.tap({kControlL, kShiftL, kF5});
    QTest::qWait(200);
    EXPECT_EQ(spy.size(), 3);
    EXPECT_EQ(desktopCapture().foregroundWindow(), m_window);

    // Unregistered, every variant is free for another client.
    hk.UnregisterKey("cap");
    EXPECT_TRUE(m_other.grabKey(kControlMask, kF5));
    EXPECT_TRUE(m_other.grabKey(kControlMask | kNumLockMask | XCB_MOD_MASK_LOCK, kF5));
    m_other.ungrabKey(kControlMask, kF5);
    m_other.ungrabKey(kControlMask | kNumLockMask | XCB_MOD_MASK_LOCK, kF5);
}

TEST_F(OnTheDesktop, ACombinationAnotherClientHoldsIsRefusedAndNothingStaysTaken) {
    // Held in one of its lock states only: the states taken before the refusal are let go.
    for (uint16_t held : {kControlMask, uint16_t(kControlMask | kNumLockMask)}) {
        ASSERT_TRUE(m_other.grabKey(held, kF5));
        clsHotkeys hk;
        hk.Attach(4242);
        const ObjectError e = raised([&] { hk.RegisterKey("cap", 116, 2); });
        EXPECT_EQ(e.number, static_cast<int>(0x8004041B));
        EXPECT_EQ(e.description,
                  "Failed to Register Hot Key [Another program holds this key combination (X "
                  "error BadAccess).]");
        m_other.ungrabKey(held, kF5);
        for (uint16_t state : {kControlMask, uint16_t(kControlMask | XCB_MOD_MASK_LOCK)}) {
            EXPECT_TRUE(m_other.grabKey(state, kF5)) << held << " " << state;
            m_other.ungrabKey(state, kF5);
        }
    }
}

TEST_F(OnTheDesktop, ThePanelIsTakenOffTheScreenAndPutBack) {
    const QString found =
        gvtest::runTool("xdotool", {"search", "--onlyvisible", "--class", "trayer"});
    if (found.isEmpty()) {
        GTEST_SKIP() << "needs a panel (trayer) on the desktop";
    }
    const auto panel = static_cast<xcb_window_t>(found.split('\n').first().toUInt());
    clsScreen::HideTB();
    EXPECT_TRUE(waitFor([&] { return !m_other.isViewable(panel); }, 3000));
    // The window manager lets go of it.
    EXPECT_TRUE(waitFor(
        [&] {
            return gvtest::runTool("xprop", {"-id", QString::number(panel), "WM_STATE"})
                .contains("not found");
        },
        3000));
    clsScreen::ShowTB();
    EXPECT_TRUE(waitFor([&] { return m_other.isViewable(panel); }, 3000));
}

TEST_F(OnTheDesktop, TheWallpaperReadsBackWhileTheRootWindowShowsIt) {
    qputenv("XDG_CURRENT_DESKTOP", "");
    ASSERT_TRUE(SetWallpaper(Picture::fromRaster(m_drawn), "0"));
    EXPECT_EQ(clsScreen::GetWallPaper(), wallpaperFile());
    // Another program's picture on the root window: ours is no longer the wallpaper.
    m_other.setRootPicture();
    EXPECT_EQ(clsScreen::GetWallPaper(), QString());
}

TEST_F(ProgramOnTheDesktop, TheHotKeyCapturesTheScreenIntoTheMainWindow) {
    capture([](frmCap& s) {
        s.optHotkey->click();
        s.cboKeys->setCurrentIndex(4);
        s.cmdOK->click();
    });
    ASSERT_TRUE(m_other.activate(m_window));
    const QRect client = m_other.rootRect(m_window);
    m_other.tap({kControlL, kF5});
    ASSERT_TRUE(waitFor([this] { return captured(); }, 5000));
    const QImage picture = shown();
    ASSERT_EQ(picture.size(), m_other.rootSize());
    EXPECT_EQ(picture.copy(client), m_drawn);
    EXPECT_TRUE(m_other.grabKey(kControlMask, kF5)) << "the hot key was let go";
    m_other.ungrabKey(kControlMask, kF5);
}

TEST_F(ProgramOnTheDesktop, TheProgramsOwnWindowWithAndWithoutItsFrame) {
    const auto id = static_cast<xcb_window_t>(w->winId());
    ASSERT_TRUE(m_other.activate(id));
    clsScreen& engine = w->screenEngine();
    const QImage screen = engine.CaptureScreen().raster();
    const QImage client = engine.CaptureClient(w.get()).raster();
    ASSERT_EQ(client.size(), w->size());
    EXPECT_EQ(client, screen.copy(m_other.rootRect(id)));
    const QImage form = engine.CaptureForm(w.get()).raster();
    ASSERT_EQ(form.size(), w->frameGeometry().size());
    EXPECT_EQ(form, screen.copy(m_other.frameRect(id)));
}

TEST_F(ProgramOnTheDesktop, AHotKeyAnotherClientHoldsIsReportedWithTheProgramBack) {
    ASSERT_TRUE(m_other.grabKey(kControlMask, kF5));
    capture([](frmCap& s) {
        s.optHotkey->click();
        s.cboKeys->setCurrentIndex(4);
        s.chkGVinvis->setChecked(true);
        s.cmdOK->click();
    });
    m_other.ungrabKey(kControlMask, kF5);
    ASSERT_EQ(m_dialogs->titles(),
              QStringList({"Setup Capture", "Screen Capture", "Setup Capture"}));
    EXPECT_TRUE(m_dialogs->shown[1].text.startsWith(
        "Glimvane could not take the hot key CTRL+F5 for the capture"));
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(gvtest::waitFor([this] { return m_other.isViewable(w->winId()); }, 3000));
    EXPECT_TRUE(w->Toolbar[9]->isEnabled());
}

TEST_F(ProgramOnTheDesktop, ACustomAreaDrawnWithTheMouse) {
    m_dialogs->optOutAnswers.enqueue(false);
    capture([](frmCap& s) {
        s.optCapCust->click();
        s.cmdOK->click();
        s.Timer1->setInterval(1);
    });
    frmCrop* area = nullptr;
    ASSERT_TRUE(waitFor(
        [&] {
            frmCap* setup = w->captureSetup();
            return setup && (area = setup->areaWindow()) && area->isActiveWindow();
        },
        5000));
    const QRect client = m_other.rootRect(m_window);
    const QPoint start = client.topLeft() + QPoint(40, 30);
    m_other.moveMouse(start);
    m_other.button(1, true);
    m_other.moveMouse(start + QPoint(60, 50));
    m_other.moveMouse(start + QPoint(120, 80));
    ASSERT_TRUE(waitFor([&] { return area->Size->text() == "120x80"; }, 3000));
    EXPECT_EQ(area->Size->pos(), start + QPoint(129, 89) - area->geometry().topLeft());
    m_other.button(1, false);
    m_other.tap({kSpace});
    ASSERT_TRUE(waitFor([this] { return captured(); }, 5000));
    EXPECT_EQ(shown(), m_drawn.copy(QRect(40, 30, 126, 82)));
}

TEST_F(ProgramOnTheDesktop, ADoubleClickOnTheCapturesTrayIconCaptures) {
    const QString found =
        gvtest::runTool("xdotool", {"search", "--onlyvisible", "--class", "trayer"});
    if (found.isEmpty()) {
        GTEST_SKIP() << "needs a notification area (trayer) on the desktop";
    }
    // The capture's own icon is a real one, with the program's picture.
    setTrayIconFactory(nullptr);
    QApplication::setWindowIcon(applicationIcon());
    capture([](frmCap& s) {
        s.optSystray->click();
        s.cmdOK->click();
    });
    // The capture's icon is the only one in the notification area, at its right end.
    const QRect tray = m_other.rootRect(found.split('\n').first().toUInt());
    QTest::qWait(500);
    m_other.moveMouse(QPoint(tray.right() - tray.height() / 2, tray.center().y()));
    for (int click = 0; click < 2; ++click) {
        m_other.button(1, true);
        m_other.button(1, false);
    }
    ASSERT_TRUE(waitFor([this] { return captured(); }, 5000));
    EXPECT_EQ(shown().size(), m_other.rootSize());
}

TEST_F(ProgramOnTheDesktop, TheRecoveryProgramBringsTheInvisibleProgramBack) {
    capture([](frmCap& s) {
        s.chkGVinvis->setChecked(true);
        s.Text1->setText("300");
        s.cmdOK->click();
    });
    ASSERT_FALSE(w->isVisible());
    QProcess recover;
    recover.setEnvironment(gvtest::childEnvironment());
    recover.start(gvtest::gvrecoverBinary());
    ASSERT_TRUE(recover.waitForStarted(5000));
    // The watch closes the recovery program's window, which ends it.
    EXPECT_TRUE(waitFor([&] { return recover.state() == QProcess::NotRunning; }, 10000));
    ASSERT_TRUE(waitFor([this] { return w->isVisible() && !w->captureSetup(); }, 5000));
    EXPECT_EQ(m_dialogs->titles().last(), "Recovered");
    EXPECT_EQ(GetSetting(keys::kGvRec), "0");
    if (recover.state() != QProcess::NotRunning) {
        recover.kill();
        recover.waitForFinished(3000);
    }

    // A recovery program that has gone since still brings the program back.
    capture([](frmCap& s) {
        s.chkGVinvis->setChecked(true);
        s.Text1->setText("300");
        s.cmdOK->click();
    });
    ChangeSettings("Glimvane2", "Options", {{"gvrechwnd", "123456789"}, {"gvrec", "1"}});
    EXPECT_TRUE(waitFor([this] { return w->isVisible() && !w->captureSetup(); }, 5000));
}
