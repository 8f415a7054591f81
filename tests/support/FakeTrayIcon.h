#pragma once
// A notification-area icon that only remembers its state, for tests without a tray.

#include "platform/TrayIcon.h"

namespace gvtest {

class FakeTrayIcon final : public gv::TrayIcon {
public:
    using gv::TrayIcon::TrayIcon;
    void setInTray(bool shown) override { m_inTray = shown; }
    bool inTray() const override { return m_inTray; }
    void setToolTipText(const QString& text) override { m_tip = text; }
    QString toolTipText() const override { return m_tip; }
    bool available() const override { return m_available; }
    void setAvailable(bool available) { m_available = available; }

private:
    bool m_inTray = false;
    bool m_available = true;
    QString m_tip;
};

// Makes every tray icon a fake for the lifetime of the object.
class ScopedFakeTray {
public:
    ScopedFakeTray();
    ~ScopedFakeTray();
};

}  // namespace gvtest
