// Screen capture from the main window: the set-up shown from the toolbar, the captured
// picture taken in, and the capture windows unloaded with the main window.

#include "capture/clsScreen.h"
#include "capture/frmCap.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/Memory.h"
#include "platform/Screen.h"
#include "platform/Trace.h"
#include "platform/TrayIcon.h"
#include "startup/AppState.h"

namespace gv {

clsScreen& frmGlimvane::screenEngine() {
    if (!m_screenEngine) {
        QSize size(ScreenWidthPx, ScreenHeightPx);
        if (size.isEmpty()) {
            size = screenSizePx();
        }
        m_screenEngine = std::make_shared<clsScreen>(QRect(monitorOf(this).topLeft(), size));
    }
    return *m_screenEngine;
}

frmCap* frmGlimvane::captureSetup() const {
    return m_capture && !m_capture->isUnloaded() ? m_capture.data() : nullptr;
}

void frmGlimvane::ShowCaptureSetup() {
    if (captureSetup()) {
        return;
    }
    CaptureHost host;
    host.mainWindow = this;
    host.trayIcon = trayhost;
    host.captureButton = Toolbar[9];
    host.screen = &screenEngine();
    host.getCapture = [this](const Picture& picture) { GetCapture(picture); };
    host.showHelp = [this](int context) { ShowHelpTopic(context); };
    auto* setup = new frmCap(std::move(host), this);
    m_capture = setup;
    // A hot key that could not be taken brings the set-up back for another choice.
    do {
        dialogs().execModal(*setup);
    } while (captureSetup() && setup->takeReopenRequest());
    if (captureSetup() && !setup->isWaiting()) {
        setup->Unload();
    }
}

void frmGlimvane::GetCapture(const Picture& picture) {
    if (m_capture) {
        m_capture->Unload();
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    // A save that does not happen (cancelled, failed) asks again: neither the shown picture
    // nor the capture goes without the user's No or Cancel.
    while (!appState().ImageIsSaved) {
        const auto answer = static_cast<MsgAnswer>(AskSaveImage());
        if (answer == MsgAnswer::Yes) {
            mnuSave_Click();
        } else if (answer == MsgAnswer::No) {
            break;
        } else {
            trace(QStringLiteral("capture: discarded"));
            return;
        }
    }
    LoadAndShowImage(picture);
    // The picture this one replaced was as large: its memory goes back now, so that captures
    // in a row keep one screen's raster, not two.
    returnFreedMemory();
    trace(QStringLiteral("capture: shown"));
}

void frmGlimvane::UnloadSecondaryWindows() {
    if (m_capture) {
        m_capture->Unload();
    }
}

}  // namespace gv
