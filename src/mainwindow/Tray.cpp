// When the notification-area icon is shown, and hiding into it.

#include "mainwindow/frmGlimvane.h"
#include "platform/Trace.h"
#include "platform/TrayIcon.h"

namespace gv {

void frmGlimvane::ApplyTrayIconState() {
    if (m_trayOnly && m_minimiseMode == 0) {
        // Without a notification area the window would vanish for good: it stays minimised.
        if (isMinimized() && trayhost->available()) {
            trayhost->setInTray(true);
            if (isVisible()) {
                trace(QStringLiteral("tray: window hidden"));
            }
            hide();
        } else {
            trayhost->setInTray(false);
            if (m_loaded && !isVisible()) {
                show();
            }
        }
        return;
    }
    if (m_trayOnly && m_minimiseMode == 1) {
        trayhost->setInTray(true);
        return;
    }
    if (!m_trayOnly) {
        trayhost->setInTray(false);
    }
}

}  // namespace gv
