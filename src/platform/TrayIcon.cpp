#include "platform/TrayIcon.h"

#include <QApplication>
#include <QSystemTrayIcon>

namespace gv {
namespace {

class SystemTrayIcon final : public TrayIcon {
public:
    explicit SystemTrayIcon(QObject* parent) : TrayIcon(parent), m_icon(this) {
        m_icon.setIcon(QApplication::windowIcon());
        connect(&m_icon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    switch (reason) {
                        case QSystemTrayIcon::DoubleClick: Q_EMIT doubleClicked(); break;
                        case QSystemTrayIcon::Context: Q_EMIT mouseButton(2); break;
                        case QSystemTrayIcon::Trigger: Q_EMIT mouseButton(1); break;
                        case QSystemTrayIcon::MiddleClick: Q_EMIT mouseButton(4); break;
                        default: break;
                    }
                });
    }
    void setInTray(bool shown) override { m_icon.setVisible(shown); }
    bool inTray() const override { return m_icon.isVisible(); }
    void setToolTipText(const QString& text) override { m_icon.setToolTip(text); }
    QString toolTipText() const override { return m_icon.toolTip(); }
    bool available() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }

private:
    QSystemTrayIcon m_icon;
};

std::unique_ptr<TrayIcon> makeSystemTrayIcon(QObject* parent) {
    return std::make_unique<SystemTrayIcon>(parent);
}

std::unique_ptr<TrayIcon> (*g_factory)(QObject*) = &makeSystemTrayIcon;

}  // namespace

std::unique_ptr<TrayIcon> makeTrayIcon(QObject* parent) {
    return g_factory(parent);
}

void setTrayIconFactory(std::unique_ptr<TrayIcon> (*factory)(QObject*)) {
    g_factory = factory ? factory : &makeSystemTrayIcon;
}

}  // namespace gv
