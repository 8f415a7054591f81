#include "capture/frmCap.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "capture/CaptureRules.h"
#include "capture/CaptureSettings.h"
#include "capture/DelayUpDown.h"
#include "capture/clsHotkeys.h"
#include "capture/clsScreen.h"
#include "capture/frmCrop.h"
#include "platform/Artwork.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/Settings.h"
#include "platform/Trace.h"
#include "platform/TrayIcon.h"
#include "platform/X11Capture.h"
#include "startup/AppState.h"

namespace gv {
namespace {

constexpr int kTickMs = 1000;
constexpr int kWindowWaitMs = 100;
constexpr const char* kCaptureKeyName = "cap";
constexpr const char* kTitle = "Setup Capture";
constexpr const char* kMessageTitle = "Screen Capture";
constexpr const char* kTrayRefused =
    "You cannot initiate a capture of a client area, or an active window with the System Tray "
    "Icon activation method. More information is in the Offline Help in the Features Guide.";
constexpr const char* kKeyRefused =
    "Glimvane could not take the hot key CTRL+%1 for the capture. Choose another key, or another "
    "way to start the capture.\n\n%2";
constexpr const char* kRecovered = "Glimvane has been recovered.";

QString trueFalse(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

// Option buttons set one after another as their settings say: a true one takes the choice, a
// false one gives it up if it had it. With none chosen in the end, the default is.
void chooseFromSettings(const QList<QPair<QRadioButton*, const SettingKey*>>& options) {
    int chosen = -1;
    int fallback = 0;
    for (int i = 0; i < options.size(); ++i) {
        const SettingKey& key = *options[i].second;
        const bool byDefault = QString::fromLatin1(key.defaultValue) == QStringLiteral("1");
        if (byDefault) {
            fallback = i;
        }
        if (settingAsBool(GetSetting(key), byDefault)) {
            chosen = i;
        } else if (chosen == i) {
            chosen = -1;
        }
    }
    options[chosen >= 0 ? chosen : fallback].first->setChecked(true);
}

}  // namespace

frmCap::frmCap(CaptureHost host, QWidget* parent) : QDialog(parent), m_host(std::move(host)) {
    setObjectName(QStringLiteral("frmCap"));
    setWindowTitle(QString::fromLatin1(kTitle));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // Loading.
    appState().SecondaryWindowOpen = true;
    Hk = new clsHotkeys(this);
    connect(Hk, &clsHotkeys::HotKeyPress, this, &frmCap::Hk_HotKeyPress);
    buildControls();
    readSettings();
}

frmCap::~frmCap() {
    Unload();
}

void frmCap::buildControls() {
    auto* layout = new QVBoxLayout(this);
    // The window fits its controls, which change with the chosen activation.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    const auto option = [](const char* name, const char* caption, QWidget* parent) {
        auto* o = named(new QRadioButton(QString::fromLatin1(caption), parent), name);
        return o;
    };
    const auto label = [](const char* text, QWidget* parent) {
        return new QLabel(QString::fromLatin1(text), parent);
    };

    Frame1 = named(new QGroupBox(QStringLiteral("Capture"), this), "Frame1");
    auto* kinds = new QVBoxLayout(Frame1);
    OptCapfull = option("OptCapfull", "Capture all the screen", Frame1);
    optCapClient = option("optCapClient", "Client area", Frame1);
    OptCapActWnd = option("OptCapActWnd", "Capture active window", Frame1);
    optCapCust = option("optCapCust", "Custom area", Frame1);
    for (QRadioButton* o : {OptCapfull, optCapClient, OptCapActWnd, optCapCust}) {
        kinds->addWidget(o);
    }

    Frame2 = named(new QGroupBox(QStringLiteral("Activation"), this), "Frame2");
    auto* activation = new QVBoxLayout(Frame2);
    auto* ways = new QHBoxLayout;
    optTimer = option("optTimer", "Timer", Frame2);
    optHotkey = option("optHotkey", "Hotkey", Frame2);
    optSystray = option("optSystray", "System tray icon", Frame2);
    for (QRadioButton* o : {optTimer, optHotkey, optSystray}) {
        ways->addWidget(o);
        connect(o, &QRadioButton::toggled, this, &frmCap::showActivationFrame);
    }
    activation->addLayout(ways);

    FraTimer = named(new QGroupBox(QStringLiteral("Timer"), Frame2), "FraTimer");
    auto* timerRow = new QHBoxLayout(FraTimer);
    Text1 = named(new QLineEdit(FraTimer), "Text1");
    Text1->setAccessibleName(QStringLiteral("Activate Capture after"));
    Text1->setFixedWidth(48);
    Text1->installEventFilter(this);
    connect(Text1, &QLineEdit::textEdited, this, [this](const QString& text) {
        const QString kept = delayFieldAfterKey(text);
        if (kept != text) {
            Text1->setText(kept);
        }
    });
    UpDown1 =
        named(new DelayUpDown(Text1, kMinDelaySeconds, kMaxDelaySeconds, FraTimer), "UpDown1");
    timerRow->addWidget(label("Activate Capture after", FraTimer));
    timerRow->addWidget(Text1);
    timerRow->addWidget(UpDown1);
    timerRow->addWidget(label("seconds", FraTimer));
    timerRow->addStretch();
    activation->addWidget(FraTimer);

    FraHotkeys = named(new QGroupBox(QStringLiteral("Hotkey"), Frame2), "FraHotkeys");
    auto* keyRow = new QHBoxLayout(FraHotkeys);
    cboKeys = named(new QComboBox(FraHotkeys), "cboKeys");
    cboKeys->setAccessibleName(QStringLiteral("Activate on CTRL +"));
    for (int i = 1; i <= 12; ++i) {
        cboKeys->addItem(QStringLiteral("F%1").arg(i));
    }
    for (const char* text : {"Activate on", "CTRL", "+"}) {
        keyRow->addWidget(label(text, FraHotkeys));
    }
    keyRow->addWidget(cboKeys);
    keyRow->addWidget(label("press", FraHotkeys));
    keyRow->addStretch();
    activation->addWidget(FraHotkeys);

    Frasys = named(new QGroupBox(QStringLiteral("System tray icon"), Frame2), "Frasys");
    auto* trayRow = new QHBoxLayout(Frasys);
    auto* icon = new QLabel(Frasys);
    icon->setPixmap(applicationIcon().pixmap(16, 16));
    trayRow->addWidget(label("Double click the icon", Frasys));
    trayRow->addWidget(icon);
    trayRow->addWidget(label("to activate.", Frasys));
    trayRow->addStretch();
    activation->addWidget(Frasys);

    chkGVinvis = named(new QCheckBox(QStringLiteral("Make Glimvane completely invisible"), this),
                       "chkGVinvis");

    cmdOK = named(new QPushButton(QStringLiteral("OK"), this), "cmdOK");
    cmdOK->setToolTip(QStringLiteral("Initiate Capture"));
    cmdOK->setDefault(true);
    cmdCancel = named(new QPushButton(QStringLiteral("&Cancel"), this), "cmdCancel");
    cmdCancel->setToolTip(QStringLiteral("Cancel Capture"));
    cmdHelp = named(new QPushButton(QStringLiteral("&Help"), this), "cmdHelp");
    cmdHelp->setToolTip(QStringLiteral("View help on screen capture"));
    connect(cmdOK, &QPushButton::clicked, this, &frmCap::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmCap::Unload);
    if (m_host.showHelp) {
        connect(cmdHelp, &QPushButton::clicked, this, [this] { m_host.showHelp(kHelpContext); });
    } else {
        keepDisabled(cmdHelp);
    }

    layout->addWidget(Frame1);
    layout->addWidget(Frame2);
    layout->addWidget(chkGVinvis);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {cmdOK, cmdCancel, cmdHelp}) {
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);

    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(kTickMs);
    connect(Timer1, &QTimer::timeout, this, &frmCap::Timer1_Timer);
    Rec = named(new QTimer(this), "Rec");
    Rec->setInterval(kTickMs);
    connect(Rec, &QTimer::timeout, this, &frmCap::Rec_Timer);
    m_sysCapture = makeTrayIcon(this);
    sysCapture = m_sysCapture.get();
    sysCapture->setObjectName(QStringLiteral("sysCapture"));
    sysCapture->setToolTipText(QStringLiteral("Glimvane - double click to capture"));
    connect(sysCapture, &TrayIcon::doubleClicked, this, &frmCap::sysCapture_DblClick);
}

void frmCap::readSettings() {
    chooseFromSettings({{OptCapfull, &keys::kCapFullScreen},
                        {optCapClient, &keys::kCapClient},
                        {optCapCust, &keys::kCapCustomArea},
                        {OptCapActWnd, &keys::kCapActiveWindow}});
    chooseFromSettings({{optTimer, &keys::kCapTimer},
                        {optHotkey, &keys::kCapHotkey},
                        {optSystray, &keys::kCapSysTray}});
    cboKeys->setCurrentIndex(settingAsIndex(GetSetting(keys::kCapKeys), cboKeys->count()));
    Text1->setText(delayFieldAfterKey(GetSetting(keys::kCapTimerVal)));
    chkGVinvis->setChecked(settingAsBool(GetSetting(keys::kCapInvisible), false));
    showActivationFrame();
}

void frmCap::writeSettings() {
    const auto key = [](const SettingKey& k, const QString& text) {
        return SettingChange{QString::fromLatin1(k.key), text};
    };
    ChangeSettings(
        QString::fromLatin1(apps::kMain), QString::fromLatin1(sections::kOptions),
        {key(keys::kGvRec, QStringLiteral("0")), key(keys::kGvRecHwnd, QStringLiteral("0"))});
    ChangeSettings(QString::fromLatin1(apps::kMain), QString::fromLatin1(sections::kScreenCapture),
                   {key(keys::kCapFullScreen, trueFalse(OptCapfull->isChecked())),
                    key(keys::kCapClient, trueFalse(optCapClient->isChecked())),
                    key(keys::kCapCustomArea, trueFalse(optCapCust->isChecked())),
                    key(keys::kCapActiveWindow, trueFalse(OptCapActWnd->isChecked())),
                    key(keys::kCapTimer, trueFalse(optTimer->isChecked())),
                    key(keys::kCapHotkey, trueFalse(optHotkey->isChecked())),
                    key(keys::kCapSysTray, trueFalse(optSystray->isChecked())),
                    key(keys::kCapKeys, QString::number(cboKeys->currentIndex())),
                    key(keys::kCapTimerVal, Text1->text()),
                    key(keys::kCapInvisible,
                        chkGVinvis->isChecked() ? QStringLiteral("1") : QStringLiteral("0"))});
}

void frmCap::showActivationFrame() {
    FraTimer->setVisible(optTimer->isChecked());
    FraHotkeys->setVisible(optHotkey->isChecked());
    Frasys->setVisible(optSystray->isChecked());
}

bool frmCap::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Text1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Keys that type something: only digits and Backspace. Moving and Delete stay free.
        if (!key->text().isEmpty() && key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab &&
            key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter &&
            key->key() != Qt::Key_Escape && !delayFieldAccepts(key->key(), key->text())) {
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

frmCrop* frmCap::areaWindow() const {
    return m_crop;
}

bool frmCap::takeReopenRequest() {
    const bool reopen = m_reopen;
    m_reopen = false;
    return reopen;
}

void frmCap::cmdOK_Click() {
    if (optSystray->isChecked() && (optCapClient->isChecked() || OptCapActWnd->isChecked())) {
        dialogs().message(QString::fromLatin1(kTrayRefused), MsgButtons::Ok, MsgIcon::Exclamation,
                          QString::fromLatin1(kMessageTitle), this);
        return;
    }
    if (Text1->text().isEmpty()) {
        Text1->setText(QStringLiteral("1"));
    }
    writeSettings();
    m_delay = Text1->text().toInt();
    m_ticks = 0;

    setResult(QDialog::Accepted);
    hide();
    AppState& state = appState();
    state.SecondaryWindowOpen = false;
    Rec->start();
    m_waiting = true;

    if (chkGVinvis->isChecked()) {
        m_trayWasVisible = m_host.trayIcon && m_host.trayIcon->inTray();
        if (m_host.mainWindow) {
            m_host.mainWindow->hide();
        }
        if (m_host.trayIcon) {
            m_host.trayIcon->setInTray(false);
        }
        m_hidProgram = true;
    }

    if (optTimer->isChecked()) {
        Timer1->start();
    } else if (optHotkey->isChecked()) {
        Hk->Attach(static_cast<quintptr>(winId()));
        m_hotkeyMode = true;
        try {
            Hk->RegisterKey(QString::fromLatin1(kCaptureKeyName),
                            kFirstFunctionKey + cboKeys->currentIndex(), kCaptureModifiers);
        } catch (const ObjectError& error) {
            keyRefused(error);
            return;
        }
    } else if (optSystray->isChecked()) {
        sysCapture->setInTray(true);
    }
    if (m_host.captureButton) {
        m_host.captureButton->setEnabled(false);
    }
    trace(QStringLiteral("capture: waiting"));
}

void frmCap::keyRefused(const ObjectError& error) {
    // Nothing waits: the program comes back as it was, the user is told which key failed,
    // and the set-up opens again for another choice.
    Rec->stop();
    m_waiting = false;
    m_hotkeyMode = false;
    Hk->Clear();
    bringProgramBack();
    trace(QStringLiteral("capture: hot key refused"));
    dialogs().message(
        QString::fromLatin1(kKeyRefused).arg(cboKeys->currentText()).arg(error.description),
        MsgButtons::Ok, MsgIcon::Exclamation, QString::fromLatin1(kMessageTitle),
        m_host.mainWindow);
    appState().SecondaryWindowOpen = true;
    m_reopen = true;
}

void frmCap::bringProgramBack() {
    if (m_hidProgram && m_host.mainWindow && m_host.mainWindow->isHidden()) {
        m_host.mainWindow->show();
    }
    restoreTrayIcon();
    m_hidProgram = false;
}

void frmCap::restoreTrayIcon() {
    if (m_trayWasVisible && m_host.trayIcon) {
        m_host.trayIcon->setInTray(true);
    }
    m_trayWasVisible = false;
}

void frmCap::Timer1_Timer() {
    ++m_ticks;
    if (m_ticks == m_delay) {
        Timer1->stop();
        m_ticks = 0;
        PerformCapture();
    }
}

void frmCap::Hk_HotKeyPress(const QString&, int, int) {
    try {
        Hk->UnregisterKey(QString::fromLatin1(kCaptureKeyName));
    } catch (const ObjectError&) {
        // Already let go: the capture goes ahead all the same.
    }
    PerformCapture();
}

void frmCap::sysCapture_DblClick() {
    if (!m_waiting) {
        return;
    }
    sysCapture->setInTray(false);
    QCoreApplication::processEvents();
    PerformCapture();
}

void frmCap::PerformCapture() {
    if (m_capturing || m_unloaded || !m_host.screen) {
        return;
    }
    // One trigger, one capture: nothing else fires while this one finishes.
    m_capturing = true;
    m_waiting = false;
    Timer1->stop();
    Rec->stop();
    clsScreen& screen = *m_host.screen;
    DesktopCapture& desktop = desktopCapture();
    Picture picture;
    if (optCapClient->isChecked()) {
        const WindowId window = desktop.foregroundWindow();
        const QSize client = desktop.clientRect(window).size();
        picture = screen.CaptureWindow(window, true, 0, 0, client.width(), client.height());
    } else if (OptCapfull->isChecked()) {
        picture = screen.CaptureScreen();
    } else if (optCapCust->isChecked()) {
        picture = screen.CaptureScreen();
        m_picture = picture;
        // Closed without a choice, it ends the capture: nothing is left waiting or hidden.
        CropHost cropHost{m_host.mainWindow,
                          [this](const Picture& chosen) { finishCapture(chosen); },
                          [this] {
                              bringProgramBack();
                              Unload();
                          }};
        m_crop = new frmCrop(std::move(cropHost), screen.screenAtStart());
        m_crop->Load();
        m_crop->SetPic(picture);
        showAreaWindowWhenFree();
        return;
    } else if (OptCapActWnd->isChecked()) {
        const WindowId window = desktop.foregroundWindow();
        const QRect outer = desktop.windowRect(window);
        const QRect area = activeWindowArea(outer.size(), desktop.isMaximised(window));
        picture =
            screen.CaptureWindow(window, false, area.x(), area.y(), area.width(), area.height());
    }
    m_picture = picture;
    QCoreApplication::processEvents();
    restoreTrayIcon();
    finishCapture(picture);
}

void frmCap::showAreaWindowWhenFree() {
    // Another of the program's windows may be open (a dialog the user started meanwhile):
    // the frozen screen comes once it has closed.
    if (!appState().SecondaryWindowOpen) {
        m_crop->Show();
        return;
    }
    if (!m_waitForWindows) {
        m_waitForWindows = new QTimer(this);
        m_waitForWindows->setInterval(kWindowWaitMs);
        connect(m_waitForWindows, &QTimer::timeout, this, [this] {
            if (!appState().SecondaryWindowOpen && m_crop) {
                m_waitForWindows->stop();
                m_crop->Show();
            }
        });
    }
    m_waitForWindows->start();
}

void frmCap::finishCapture(const Picture& picture) {
    m_picture = picture;
    trace(QStringLiteral("capture: taken %1x%2")
              .arg(picture.sizePixels().width())
              .arg(picture.sizePixels().height()));
    if (m_host.getCapture) {
        m_host.getCapture(picture);
    } else {
        Unload();
    }
}

void frmCap::Rec_Timer() {
    // Both keys in one read: the recovery program writes them together.
    const QHash<QString, QString> options =
        GetAllSettings(QString::fromLatin1(apps::kMain), QString::fromLatin1(sections::kOptions));
    if (options.value(QStringLiteral("gvrec"), QStringLiteral("0")).trimmed() !=
        QStringLiteral("1")) {
        return;
    }
    // No second tick, and no trigger, while the user reads the message.
    Rec->stop();
    Timer1->stop();
    sysCapture->setInTray(false);
    m_waiting = false;
    const WindowId recoverWindow =
        options.value(QStringLiteral("gvrechwnd"), QStringLiteral("0")).trimmed().toUInt();
    DesktopCapture& desktop = desktopCapture();
    // A window id left from an earlier run may since belong to another program.
    if (desktop.isWindow(recoverWindow) &&
        desktop.programOf(recoverWindow) == QString::fromLatin1(kRecoverName)) {
        desktop.closeWindow(recoverWindow);
    }
    trace(QStringLiteral("capture: recovered"));
    dialogs().message(QString::fromLatin1(kRecovered), MsgButtons::Ok, MsgIcon::Information,
                      QStringLiteral("Recovered"));
    if (m_hotkeyMode) {
        try {
            Hk->UnregisterKey(QString::fromLatin1(kCaptureKeyName));
        } catch (const ObjectError&) {
        }
    }
    ChangeSettings(QString::fromLatin1(apps::kMain), QString::fromLatin1(sections::kOptions),
                   {{QString::fromLatin1(keys::kGvRec.key), QStringLiteral("0")},
                    {QString::fromLatin1(keys::kGvRecHwnd.key), QStringLiteral("0")}});
    if (m_host.mainWindow && m_host.mainWindow->isHidden()) {
        m_host.mainWindow->show();
    }
    restoreTrayIcon();
    Unload();
}

void frmCap::Unload() {
    if (m_unloaded) {
        return;
    }
    m_unloaded = true;
    m_waiting = false;
    Timer1->stop();
    Rec->stop();
    if (m_waitForWindows) {
        m_waitForWindows->stop();
    }
    sysCapture->setInTray(false);
    Hk->Clear();
    if (m_crop) {
        m_crop->hide();
        m_crop->SetPic(Picture());
        m_crop->deleteLater();
    }
    // The main window holds the picture now; a copy here would keep a second screen's raster
    // until Qt deletes this window.
    m_picture = Picture();
    // Whatever ended the wait, an icon the capture hid comes back.
    restoreTrayIcon();
    if (m_host.captureButton) {
        m_host.captureButton->setEnabled(true);
    }
    appState().SecondaryWindowOpen = false;
    hide();
    deleteLater();
}

}  // namespace gv
