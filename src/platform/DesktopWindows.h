#pragma once
// The desktop's top-level windows as the window manager lists them (_NET_CLIENT_LIST), with
// their titles (_NET_WM_NAME, else WM_NAME) and processes (_NET_WM_PID).

#include <QList>
#include <QString>

namespace gv {

struct DesktopWindow {
    quint32 id = 0;
    QString title;
    qint64 pid = 0;  // 0 when the window does not say
};

// In the window manager's order; empty without an X server or a window manager.
QList<DesktopWindow> topLevelWindows();

}  // namespace gv
