#pragma once
// "Setup Capture": what to capture (the whole screen, the active window's client area or the
// whole active window, or an area drawn on the frozen screen) and what starts it (a countdown,
// a hot key, a double-click on a notification-area icon of its own). After OK the window hides,
// the whole program too when asked, and waits for its trigger; a recovery watch lets the
// separate recovery program bring a hidden program back.

#include <QDialog>
#include <QPointer>
#include <memory>

#include "capture/CaptureHost.h"
#include "images/Picture.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace gv {

class clsHotkeys;
class DelayUpDown;
class frmCrop;
class TrayIcon;
struct ObjectError;

class frmCap final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 10008;
    static constexpr int kFirstFunctionKey = 112;  // F1
    static constexpr int kCaptureModifiers = 2;    // Ctrl

    explicit frmCap(CaptureHost host, QWidget* parent = nullptr);
    ~frmCap() override;

    // OK was accepted and the trigger is armed.
    bool isWaiting() const { return m_waiting; }
    // Unloaded: gone for the program, though Qt may not have deleted it yet.
    bool isUnloaded() const { return m_unloaded; }
    // The set-up is to be shown again (the hot key could not be taken); asking clears it.
    bool takeReopenRequest();
    const Picture& capturedPicture() const { return m_picture; }
    frmCrop* areaWindow() const;
    clsHotkeys* hotkeys() const { return Hk; }
    int delaySeconds() const { return m_delay; }

    void cmdOK_Click();
    void PerformCapture();
    // The window goes: timers stopped, hot key let go, the capture button enabled again.
    void Unload();

    // Controls, by their names.
    QGroupBox* Frame1 = nullptr;
    QRadioButton* OptCapfull = nullptr;
    QRadioButton* optCapClient = nullptr;
    QRadioButton* OptCapActWnd = nullptr;
    QRadioButton* optCapCust = nullptr;
    QGroupBox* Frame2 = nullptr;
    QRadioButton* optTimer = nullptr;
    QRadioButton* optHotkey = nullptr;
    QRadioButton* optSystray = nullptr;
    QGroupBox* FraTimer = nullptr;
    QLineEdit* Text1 = nullptr;
    DelayUpDown* UpDown1 = nullptr;
    QGroupBox* FraHotkeys = nullptr;
    QComboBox* cboKeys = nullptr;
    QGroupBox* Frasys = nullptr;
    QCheckBox* chkGVinvis = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdHelp = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Rec = nullptr;
    TrayIcon* sysCapture = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void readSettings();
    void writeSettings();
    void showActivationFrame();
    void Timer1_Timer();
    void Rec_Timer();
    void Hk_HotKeyPress(const QString& sName, int eModifiers, int eKey);
    void sysCapture_DblClick();
    void keyRefused(const ObjectError& error);
    // The main window (and its icon) back where an invisible capture hid them.
    void bringProgramBack();
    void restoreTrayIcon();
    void showAreaWindowWhenFree();
    void finishCapture(const Picture& picture);

    CaptureHost m_host;
    clsHotkeys* Hk = nullptr;
    std::unique_ptr<TrayIcon> m_sysCapture;
    QPointer<frmCrop> m_crop;
    QTimer* m_waitForWindows = nullptr;
    Picture m_picture;
    int m_delay = 1;
    int m_ticks = 0;
    bool m_hotkeyMode = false;
    bool m_trayWasVisible = false;
    bool m_hidProgram = false;
    bool m_waiting = false;
    bool m_capturing = false;
    bool m_reopen = false;
    bool m_unloaded = false;
};

}  // namespace gv
