#include "platform/TrayIcon.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <QTimer>

namespace gv {
namespace {

class SystemTrayIcon final : public TrayIcon {
public:
    explicit SystemTrayIcon(QObject* parent) : TrayIcon(parent), m_icon(this) {
        m_icon.setIcon(QApplication::windowIcon());
        connect(&m_icon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    switch (reason) {
                        case QSystemTrayIcon::DoubleClick: activated(Activation::DoubleClick); break;
                        case QSystemTrayIcon::Context: activated(Activation::Context); break;
                        case QSystemTrayIcon::Trigger: activated(Activation::Click); break;
                        case QSystemTrayIcon::MiddleClick: activated(Activation::Middle); break;
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

TrayIcon::TrayIcon(QObject* parent) : QObject(parent), m_click(new QTimer(this)) {
    m_click->setSingleShot(true);
    connect(m_click, &QTimer::timeout, this, &TrayIcon::doubleClicked);
}

void TrayIcon::activated(Activation activation) {
    switch (activation) {
        case Activation::Click:
            Q_EMIT mouseButton(1);
            // Acted on once it is clear that no double-click follows.
            m_click->start(QApplication::doubleClickInterval());
            break;
        case Activation::DoubleClick:
            if (m_click->isActive()) {
                m_click->stop();
            }
            Q_EMIT doubleClicked();
            break;
        case Activation::Context: Q_EMIT mouseButton(2); break;
        case Activation::Middle: Q_EMIT mouseButton(4); break;
    }
}

std::unique_ptr<TrayIcon> makeTrayIcon(QObject* parent) {
    return g_factory(parent);
}

void setTrayIconFactory(std::unique_ptr<TrayIcon> (*factory)(QObject*)) {
    g_factory = factory ? factory : &makeSystemTrayIcon;
}

}  // namespace gv
