// "Capture Screen" from the main window against a scripted desktop: the set-up window, its
// settings, the three triggers, the capture kinds, the recovery watch and the picture taken in.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "capture/CaptureSettings.h"
#include "capture/DelayUpDown.h"
#include "capture/clsHotkeys.h"
#include "capture/frmCap.h"
#include "capture/frmCrop.h"
#include "widgets/ImageBox.h"
#include "platform/Controls.h"
#include "platform/Settings.h"
#include "startup/AppState.h"
#include "support/FakeDesktop.h"
#include "support/FakeTrayIcon.h"
#include "support/TestEnvironment.h"
#include "support/WindowFixture.h"
#include "support/X11Helpers.h"

using namespace gv;
using gvtest::screenPixelAt;
using gvtest::waitFor;

namespace {

class CaptureSetup : public gvtest::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        open();
    }
    // Opens the set-up from the toolbar; the script chooses and ends it (OK or Cancel).
    void capture(const std::function<void(frmCap&)>& script) {
        m_dialogs->modalScripts.enqueue([script](QDialog& d) {
            auto& setup = dynamic_cast<frmCap&>(d);
            script(setup);
            return setup.isWaiting() ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
        w->Toolbar[9]->click();
    }
    // The countdown and the recovery watch tick at once, as a second would.
    static void quickTimers(frmCap& setup) {
        setup.Timer1->setInterval(1);
        setup.Rec->setInterval(1);
    }
    bool captured() const {
        return w->windowTitle() == "Glimvane - Unsaved Image" && !w->captureSetup();
    }
    QImage shownPicture() const { return w->Image1->picture().raster(); }
    // The picture shows the fake screen's area, pixel for pixel.
    void expectScreenArea(const QRect& area) const {
        const QImage shown = shownPicture();
        ASSERT_EQ(shown.size(), area.size());
        for (const QPoint p : {QPoint(0, 0), QPoint(area.width() - 1, area.height() - 1),
                               QPoint(area.width() / 2, area.height() / 3)}) {
            EXPECT_EQ(shown.pixel(p), screenPixelAt(area.x() + p.x(), area.y() + p.y()))
                << p.x() << "," << p.y();
        }
    }
    gvtest::FakeTrayIcon* tray() const { return static_cast<gvtest::FakeTrayIcon*>(w->trayIcon()); }

    gvtest::ScopedFakeDesktop m_fake;
};

}  // namespace

TEST_F(CaptureSetup, AFreshSetupShowsItsControlsAndCancelLeavesNothingPending) {
    capture([](frmCap& s) {
        EXPECT_EQ(s.windowTitle(), "Setup Capture");
        EXPECT_TRUE(appState().SecondaryWindowOpen);
        const std::pair<QAbstractButton*, const char*> captions[] = {
            {s.OptCapfull, "Capture all the screen"},
            {s.optCapClient, "Client area"},
            {s.OptCapActWnd, "Capture active window"},
            {s.optCapCust, "Custom area"},
            {s.optTimer, "Timer"},
            {s.optHotkey, "Hotkey"},
            {s.optSystray, "System tray icon"},
            {s.chkGVinvis, "Make Glimvane completely invisible"},
            {s.cmdOK, "OK"},
            {s.cmdCancel, "&Cancel"},
            {s.cmdHelp, "&Help"}};
        for (const auto& [control, caption] : captions) {
            EXPECT_EQ(control->text(), caption);
        }
        EXPECT_EQ(s.cmdOK->toolTip(), "Initiate Capture");
        EXPECT_EQ(s.cmdCancel->toolTip(), "Cancel Capture");
        EXPECT_EQ(s.cmdHelp->toolTip(), "View help on screen capture");
        EXPECT_TRUE(s.cmdHelp->isEnabled());
        EXPECT_EQ(s.Frame1->title(), "Capture");
        EXPECT_EQ(s.Frame2->title(), "Activation");
        // A first start: the whole screen, after one second.
        EXPECT_TRUE(s.OptCapfull->isChecked());
        EXPECT_TRUE(s.optTimer->isChecked());
        EXPECT_EQ(s.Text1->text(), "1");
        EXPECT_EQ(s.cboKeys->currentText(), "F1");
        EXPECT_EQ(s.cboKeys->count(), 12);
        EXPECT_FALSE(s.chkGVinvis->isChecked());
        // Only the chosen activation's frame shows.
        EXPECT_FALSE(s.FraTimer->isHidden());
        EXPECT_TRUE(s.FraHotkeys->isHidden());
        s.optHotkey->click();
        EXPECT_TRUE(s.FraTimer->isHidden());
        EXPECT_FALSE(s.FraHotkeys->isHidden());
        EXPECT_TRUE(s.Frasys->isHidden());
        s.cmdCancel->click();
    });
    EXPECT_EQ(w->captureSetup(), nullptr);
    EXPECT_TRUE(w->Toolbar[9]->isEnabled());
    EXPECT_FALSE(appState().SecondaryWindowOpen);
    // Cancel stores nothing.
    EXPECT_FALSE(SettingExists("Glimvane2", "ScreenCapture", "hotkey"));
}

TEST_F(CaptureSetup, ChoicesAreStoredAsWordsAndReadBack) {
    capture([](frmCap& s) {
        s.optCapClient->click();
        s.optHotkey->click();
        s.cboKeys->setCurrentIndex(4);
        s.Text1->setText("45");
        s.chkGVinvis->setChecked(true);
        s.cmdOK->click();
    });
    const QHash<QString, QString> stored = GetAllSettings("Glimvane2", "ScreenCapture");
    const QHash<QString, QString> expected = {
        {"fullscrn", "False"}, {"client", "True"}, {"custarea", "False"}, {"actwnd", "False"},
        {"timer", "False"},    {"hotkey", "True"}, {"systray", "False"},  {"cbokeys", "4"},
        {"timerval", "45"},    {"gvinvis", "1"}};
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(GetSetting(keys::kGvRec), "0");
    EXPECT_EQ(GetSetting(keys::kGvRecHwnd), "0");
    w->captureSetup()->Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    capture([](frmCap& s) {
        EXPECT_TRUE(s.optCapClient->isChecked());
        EXPECT_TRUE(s.optHotkey->isChecked());
        EXPECT_EQ(s.cboKeys->currentText(), "F5");
        EXPECT_EQ(s.Text1->text(), "45");
        EXPECT_TRUE(s.chkGVinvis->isChecked());
        s.cmdCancel->click();
    });

    // A hand-edited store: the later of two chosen options wins, none chosen is the default,
    // nonsense reads as the first key and a valid delay.
    ChangeSettings("Glimvane2", "ScreenCapture",
                   {{"fullscrn", "True"},
                    {"actwnd", "1"},
                    {"client", "False"},
                    {"timer", "0"},
                    {"hotkey", "0"},
                    {"systray", "no"},
                    {"cbokeys", "F9"},
                    {"timerval", "9x9"}});
    capture([](frmCap& s) {
        EXPECT_TRUE(s.OptCapActWnd->isChecked());
        EXPECT_TRUE(s.optTimer->isChecked());
        EXPECT_EQ(s.cboKeys->currentIndex(), 0);
        EXPECT_EQ(s.Text1->text(), "99");
        s.cmdCancel->click();
    });
}

TEST_F(CaptureSetup, TheDelayFieldTakesDigitsWithinOneToThreeHundred) {
    capture([](frmCap& s) {
        const struct {
            const char* typed;
            const char* shown;
        } cases[] = {{"0", "1"}, {"999", "300"}, {"4a-2", "42"}, {"07", "17"}, {"5\b", ""}};
        for (const auto& c : cases) {
            s.Text1->clear();
            QTest::keyClicks(s.Text1, c.typed);
            EXPECT_EQ(s.Text1->text(), c.shown) << c.typed;
        }
        QTest::keyClick(s.Text1, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(s.Text1->text(), "");
        // The arrows step within the range.
        s.UpDown1->step(1);
        EXPECT_EQ(s.Text1->text(), "1");
        s.Text1->setText("300");
        s.UpDown1->step(1);
        EXPECT_EQ(s.Text1->text(), "300");
        // An empty field is one second.
        s.Text1->clear();
        s.cmdOK->click();
        EXPECT_EQ(s.delaySeconds(), 1);
        EXPECT_EQ(s.Text1->text(), "1");
    });
}

TEST_F(CaptureSetup, TheTrayCannotStartACaptureOfAWindow) {
    for (bool client : {true, false}) {
        m_dialogs->shown.clear();
        capture([client](frmCap& s) {
            (client ? s.optCapClient : s.OptCapActWnd)->click();
            s.optSystray->click();
            s.cmdOK->click();
            EXPECT_FALSE(s.isWaiting());
            EXPECT_FALSE(s.sysCapture->inTray());
            s.cmdCancel->click();
        });
        ASSERT_EQ(m_dialogs->titles(), QStringList({"Setup Capture", "Screen Capture"}));
        const gvtest::ShownMessage& m = m_dialogs->shown[1];
        EXPECT_EQ(m.text,
                  "You cannot initiate a capture of a client area, or an active window with the "
                  "System Tray Icon activation method. More information is in the Offline Help "
                  "in the Features Guide.");
        EXPECT_EQ(m.icon, MsgIcon::Exclamation);
        EXPECT_EQ(m.buttons, MsgButtons::Ok);
        EXPECT_FALSE(SettingExists("Glimvane2", "ScreenCapture", "systray"));
    }
}

TEST_F(CaptureSetup, TheCountdownCapturesTheWholeScreenIntoTheMainWindow) {
    QPointer<frmCap> waiting;
    capture([&](frmCap& s) {
        s.Text1->setText("3");
        s.cmdOK->click();
        quickTimers(s);
        waiting = &s;
    });
    ASSERT_TRUE(waiting && waiting->isWaiting());
    EXPECT_TRUE(waiting->isHidden());
    EXPECT_FALSE(w->Toolbar[9]->isEnabled());
    EXPECT_FALSE(appState().SecondaryWindowOpen);
    ASSERT_TRUE(waitFor([this] { return captured(); }, 5000));
    expectScreenArea(QRect(0, 0, 1280, 1024));
    // The set-up, gone, keeps no copy: one screen's raster per capture, the one shown.
    EXPECT_TRUE(!waiting || waiting->capturedPicture().isNull());
    EXPECT_EQ(w->SB1->panelText("fname"), "Unsaved");
    EXPECT_EQ(w->SB1->panelText("dimen"), "1280x1024");
    EXPECT_FALSE(appState().ImageIsSaved);
    EXPECT_TRUE(w->mnuSave->isEnabled());
    EXPECT_TRUE(w->Toolbar[9]->isEnabled());
}

TEST_F(CaptureSetup, WindowsAreCapturedByTheirClientAreaOrWithTheirFrame) {
    auto& windows = m_fake.desktop().windows;
    windows[10] = {QRect(100, 80, 400, 300), QRect(104, 104, 392, 272), false, "editor"};
    windows[11] = {QRect(-4, -4, 1288, 1004), QRect(0, 20, 1280, 980), true, "browser"};
    const struct {
        gv::WindowId foreground;
        bool client;
        QRect area;
    } cases[] = {
        {10, true, QRect(104, 104, 392, 272)},
        {10, false, QRect(100, 80, 400, 300)},
        // Maximised: from (5, 5) of its frame, 7 pixels narrower and 3 lower.
        {11, false, QRect(1, 1, 1281, 1001)},
    };
    for (const auto& c : cases) {
        m_fake.desktop().foreground = c.foreground;
        capture([&c](frmCap& s) {
            (c.client ? s.optCapClient : s.OptCapActWnd)->click();
            s.cmdOK->click();
            quickTimers(s);
        });
        ASSERT_TRUE(waitFor([this] { return captured(); }, 5000));
        appState().ImageIsSaved = true;  // no question between the cases
        // The maximised window reaches beyond the screen: black there, the screen inside.
        if (c.area.right() >= 1280) {
            EXPECT_EQ(shownPicture().pixel(c.area.width() - 1, 0), qRgb(0, 0, 0));
        } else {
            expectScreenArea(c.area);
        }
        EXPECT_EQ(shownPicture().pixel(0, 0), screenPixelAt(c.area.x(), c.area.y()));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(CaptureSetup, TheHotKeyCapturesWhicheverWindowHasTheFocusAndIsLetGo) {
    capture([](frmCap& s) {
        s.optHotkey->click();
        s.cboKeys->setCurrentIndex(4);
        s.cmdOK->click();
    });
    auto& held = m_fake.hotkeys().held;
    ASSERT_EQ(held.size(), 1);
    EXPECT_EQ(held[0].modifiers, 2u);
    EXPECT_EQ(held[0].key, 116u);
    EXPECT_EQ(held[0].owner, w->captureSetup()->hotkeys()->attachedWindow());
    EXPECT_NE(held[0].owner, 0u);
    ASSERT_TRUE(m_fake.hotkeys().press(2, 116));
    ASSERT_TRUE(waitFor([this] { return captured(); }, 5000));
    expectScreenArea(QRect(0, 0, 1280, 1024));
    EXPECT_TRUE(held.isEmpty());
}

TEST_F(CaptureSetup, AHotKeyHeldElsewhereIsReportedAndTheProgramComesBack) {
    m_fake.hotkeys().heldElsewhere.insert({2, 116});
    tray()->setInTray(true);
    // The message comes with the program visible again; then the set-up opens again.
    bool visibleAtMessage = false;
    m_dialogs->onMessage = [&](const gvtest::ShownMessage&) {
        visibleAtMessage = w->isVisible() && tray()->inTray();
    };
    capture([](frmCap& s) {
        s.optHotkey->click();
        s.cboKeys->setCurrentIndex(4);
        s.chkGVinvis->setChecked(true);
        s.cmdOK->click();
        EXPECT_FALSE(s.isWaiting());
    });
    ASSERT_EQ(m_dialogs->titles(),
              QStringList({"Setup Capture", "Screen Capture", "Setup Capture"}));
    const gvtest::ShownMessage& m = m_dialogs->shown[1];
    EXPECT_TRUE(m.text.startsWith("Glimvane could not take the hot key CTRL+F5 for the capture"))
        << m.text.toStdString();
    EXPECT_TRUE(
        m.text.endsWith("Failed to Register Hot Key [Another program holds this key combination (X "
                        "error BadAccess).]"));
    EXPECT_EQ(m.icon, MsgIcon::Exclamation);
    EXPECT_TRUE(visibleAtMessage);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(tray()->inTray());
    EXPECT_TRUE(w->Toolbar[9]->isEnabled());
    EXPECT_TRUE(m_fake.hotkeys().held.isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(w->captureSetup(), nullptr);
}

TEST_F(CaptureSetup, AnInvisibleCaptureBringsBackOnlyATrayIconThatWasShown) {
    for (bool iconBefore : {true, false}) {
        tray()->setInTray(iconBefore);
        frmCap* waiting = nullptr;
        capture([&](frmCap& s) {
            s.chkGVinvis->setChecked(true);
            s.Text1->setText("2");
            s.cmdOK->click();
            waiting = &s;
        });
        EXPECT_FALSE(w->isVisible());
        EXPECT_FALSE(tray()->inTray());
        quickTimers(*waiting);
        ASSERT_TRUE(waitFor([this] { return captured(); }, 5000));
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(tray()->inTray(), iconBefore);
        appState().ImageIsSaved = true;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(CaptureSetup, ADoubleClickOnItsOwnTrayIconCaptures) {
    frmCap* waiting = nullptr;
    capture([&](frmCap& s) {
        s.optSystray->click();
        s.cmdOK->click();
        waiting = &s;
    });
    ASSERT_TRUE(waiting->sysCapture->inTray());
    EXPECT_FALSE(tray()->inTray());  // the main window's own icon is another one
    waiting->sysCapture->activated(TrayIcon::Activation::DoubleClick);
    ASSERT_TRUE(captured());
    expectScreenArea(QRect(0, 0, 1280, 1024));
}

TEST_F(CaptureSetup, TheRecoveryProgramBringsTheHiddenProgramBack) {
    auto& windows = m_fake.desktop().windows;
    windows[50] = {QRect(0, 0, 200, 80), QRect(0, 0, 200, 80), false, "gvrecover"};
    windows[51] = {QRect(0, 0, 200, 80), QRect(0, 0, 200, 80), false, "xterm"};
    // The recovery program's window; a stale one no longer there; one that another program
    // has since been given.
    for (gv::WindowId recover : {50u, 49u, 51u}) {
        m_dialogs->shown.clear();
        m_fake.desktop().closed.clear();
        tray()->setInTray(true);
        frmCap* waiting = nullptr;
        capture([&](frmCap& s) {
            s.chkGVinvis->setChecked(true);
            s.optHotkey->click();
            s.cmdOK->click();
            waiting = &s;
        });
        ASSERT_FALSE(w->isVisible());
        // The watch must not tick again while its message is open.
        m_dialogs->onMessage = [](const gvtest::ShownMessage&) { QTest::qWait(30); };
        quickTimers(*waiting);
        ChangeSettings("Glimvane2", "Options",
                       {{"gvrechwnd", QString::number(recover)}, {"gvrec", "1"}});
        ASSERT_TRUE(waitFor([this] { return !w->captureSetup(); }, 5000));
        m_dialogs->onMessage = nullptr;
        ASSERT_EQ(m_dialogs->titles(), QStringList({"Setup Capture", "Recovered"}));
        EXPECT_EQ(m_dialogs->shown[1].text, "Glimvane has been recovered.");
        EXPECT_EQ(m_dialogs->shown[1].icon, MsgIcon::Information);
        EXPECT_EQ(m_fake.desktop().closed,
                  recover == 50 ? QList<gv::WindowId>{50} : QList<gv::WindowId>{});
        EXPECT_TRUE(w->isVisible());
        EXPECT_TRUE(tray()->inTray());
        EXPECT_TRUE(m_fake.hotkeys().held.isEmpty());
        EXPECT_EQ(GetSetting(keys::kGvRec), "0");
        EXPECT_EQ(GetSetting(keys::kGvRecHwnd), "0");
        EXPECT_TRUE(w->Toolbar[9]->isEnabled());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(CaptureSetup, ACaptureOverAnUnsavedPictureAsksFirstAndLosesNothingUnasked) {
    const auto captureNow = [this] {
        capture([](frmCap& s) {
            s.optHotkey->click();
            s.cmdOK->click();
        });
        m_fake.hotkeys().press(2, 112);
    };
    captureNow();
    ASSERT_TRUE(captured());
    const QImage first = shownPicture();
    // The second capture is of another screen.
    m_fake.desktop().screen.fill(Qt::red);

    // Cancel: the capture goes, the unsaved picture stays.
    m_dialogs->messageAnswers.enqueue(MsgAnswer::Cancel);
    captureNow();
    EXPECT_EQ(m_dialogs->titles().last(), "Save Image?");
    EXPECT_EQ(shownPicture(), first);
    EXPECT_TRUE(w->Toolbar[9]->isEnabled());

    // Yes, then the save is cancelled: asked again; No then shows the capture.
    m_dialogs->shown.clear();
    m_dialogs->messageAnswers << MsgAnswer::Yes << MsgAnswer::No;
    captureNow();
    ASSERT_EQ(m_dialogs->titles(),
              QStringList({"Setup Capture", "Save Image?", "Save Image as...", "Save Image?"}));
    EXPECT_EQ(shownPicture().pixel(5, 5), qRgb(255, 0, 0));
}

TEST_F(CaptureSetup, ACustomAreaIsDrawnOnTheFrozenScreen) {
    m_dialogs->optOutAnswers.enqueue(true);
    frmCrop* area = nullptr;
    capture([&](frmCap& s) {
        s.optCapCust->click();
        s.optHotkey->click();
        s.cmdOK->click();
    });
    frmCap* setup = w->captureSetup();
    m_fake.hotkeys().press(2, 112);
    ASSERT_TRUE(setup && (area = setup->areaWindow()));
    EXPECT_TRUE(area->isVisible());
    ASSERT_EQ(m_dialogs->titles().last(), "Custom Capture");
    EXPECT_EQ(m_dialogs->shown.last().text,
              "The whole screen has now been captured, you may now draw an area with the mouse "
              "and then press any key to select it.");
    EXPECT_EQ(GetSetting(keys::kScrnNoWarn), "1");

    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(300, 200));
    QMouseEvent drag(QEvent::MouseMove, QPointF(420, 280), area->mapToGlobal(QPointF(420, 280)),
                     Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(area, &drag);
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(420, 280));
    EXPECT_EQ(area->Size->text(), "120x80");
    QTest::keyClick(area, Qt::Key_Space);
    ASSERT_TRUE(captured());
    expectScreenArea(QRect(300, 200, 126, 82));

    // Closed by the window manager instead: the capture ends, the program visible again.
    capture([&](frmCap& s) {
        s.chkGVinvis->setChecked(true);
        s.cmdOK->click();
    });
    ASSERT_FALSE(w->isVisible());
    m_fake.hotkeys().press(2, 112);
    ASSERT_TRUE(w->captureSetup() && (area = w->captureSetup()->areaWindow()));
    area->close();
    EXPECT_EQ(w->captureSetup(), nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->Toolbar[9]->isEnabled());
}

TEST_F(CaptureSetup, ClosingTheProgramWhileACaptureWaitsLetsGoOfTheHotKey) {
    capture([](frmCap& s) {
        s.optHotkey->click();
        s.cmdOK->click();
    });
    ASSERT_EQ(m_fake.hotkeys().held.size(), 1);
    w->close();
    EXPECT_TRUE(m_fake.hotkeys().held.isEmpty());
}
