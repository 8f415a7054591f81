#pragma once
// The notification-area icon: shown or removed, a tooltip, double-click and mouse buttons.

#include <QObject>
#include <QString>
#include <memory>

class QMenu;
class QTimer;

namespace gv {

class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override = default;

    virtual void setInTray(bool shown) = 0;
    virtual bool inTray() const = 0;
    virtual void setToolTipText(const QString& text) = 0;
    virtual QString toolTipText() const = 0;
    // False when the desktop shows no notification area at all.
    virtual bool available() const = 0;

    // What the desktop reports of the icon. StatusNotifier hosts report a single click only,
    // XEmbed trays a click and then the double-click: both become one doubleClicked(), the
    // icon's show-or-hide action, so the window can always be brought back.
    enum class Activation { Click, DoubleClick, Context, Middle };
    void activated(Activation activation);

Q_SIGNALS:
    void doubleClicked();
    // Button codes as the program uses them: 1 left, 2 right, 4 middle.
    void mouseButton(int button);

private:
    QTimer* m_click;  // a click that may yet become a double-click
};

// The factory the program uses; tests replace it with one that makes fakes.
std::unique_ptr<TrayIcon> makeTrayIcon(QObject* parent);
void setTrayIconFactory(std::unique_ptr<TrayIcon> (*factory)(QObject*));

}  // namespace gv
