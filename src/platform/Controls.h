#pragma once
// The program's custom controls: soft button, keyed status bar, tab control, up-down, and
// the choice made in a list box.

#include <QComboBox>
#include <QMap>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <functional>

class QAbstractItemView;
class QAction;
class QFocusEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace gv {

// A control made with its name: controls carry their program name as objectName.
template <typename T>
T* named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// A flat push button with a picture and a tooltip.
class SoftButton final : public QToolButton {
    Q_OBJECT
public:
    explicit SoftButton(QWidget* parent = nullptr);
    // Control arrays carry their index; -1 outside an array.
    void setIndex(int index) { m_index = index; }
    int index() const { return m_index; }
    void setToolTipText(const QString& tip);
    // Restores the unpressed look (called with 0 before a command starts its work).
    void release(int how = 0);

Q_SIGNALS:
    void clickedIndex(int index);
    void gotFocus();
    void lostFocus();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int m_index = -1;
};

// A status bar whose panels are addressed by a text key.
class KeyedStatusBar final : public QStatusBar {
    Q_OBJECT
public:
    explicit KeyedStatusBar(QWidget* parent = nullptr);
    void addPanel(const QString& key);
    bool hasPanel(const QString& key) const { return m_panels.contains(key); }
    void setPanelText(const QString& key, const QString& text);
    QString panelText(const QString& key) const;
    // Width in pixels.
    void setPanelWidth(const QString& key, int widthPx);
    int panelWidth(const QString& key) const;
    void clearPanel(const QString& key);
    QStringList panelKeys() const { return m_order; }

private:
    QMap<QString, QLabel*> m_panels;
    QStringList m_order;
};

// Tabs with captions and keys, and the client area in which a dialog places its frames.
class TabControl final : public QTabWidget {
    Q_OBJECT
public:
    explicit TabControl(QWidget* parent = nullptr);
    void addKeyedTab(const QString& caption, const QString& key);
    QString selectedKey() const;
    QRect clientArea() const;

Q_SIGNALS:
    void tabClicked(const QString& key);
};

// An up-down control stepping its own number box between a minimum and a maximum.
class UpDown final : public QSpinBox {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);
};

// A drop-down list that says when it is about to open, so its items can be brought up to
// date (the mounted volumes change while the program runs).
class VolumeComboBox final : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;

Q_SIGNALS:
    void aboutToShowPopup();
};

// For a focus event of widget: true when the focus moved between the controls of a window
// (or first came to the window); false when it went away to another window or a pop-up menu,
// or came back from there, which the window's own controls do not react to.
bool isFocusMoveWithinWindow(QWidget* widget, const QFocusEvent* event);

// A search box's whole text is selected when the focus comes to it, after whatever would place
// the cursor: the focus change itself, or the click that brought the focus. Give it the box's
// focus-in, focus-out and mouse-release events; afterClick remembers a click still to end.
void selectAllOnEntry(QLineEdit* box, const QEvent* event, bool& afterClick);

// Calls choose once for each choice the user makes in the list: a click on an item, the
// keyboard moving the selection to an item, or a drag of the selection that ends on another
// item. Clearing or refilling the list is not a choice.
void onListChoice(QListWidget* list, const std::function<void(QListWidgetItem*)>& choose);

// A right-click on the view only asks for its pop-up menu: the pressed row does not become
// current or selected (which would load a file or enter a folder first).
void rightClickShowsMenuOnly(QAbstractItemView* view);

// The desktop's own colours, every role set, so that a background colour a window hands down
// to its children does not reach a control that should keep the desktop's look.
QPalette desktopPalette();

// A command whose work is not part of this build stays disabled, whatever enables the
// commands around it.
void keepDisabled(QAction* action);
void keepDisabled(QWidget* control);

}  // namespace gv
