#include "platform/Controls.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QTabBar>
#include <utility>

namespace gv {

SoftButton::SoftButton(QWidget* parent) : QToolButton(parent) {
    setAutoRaise(true);
    setFocusPolicy(Qt::TabFocus);
    setIconSize(QSize(24, 24));
    connect(this, &QToolButton::clicked, this, [this] { Q_EMIT clickedIndex(m_index); });
}

void SoftButton::setToolTipText(const QString& tip) {
    setToolTip(tip);
    // Picture-only buttons are found by their tooltip.
    setAccessibleName(tip);
}

void SoftButton::release(int /*how*/) {
    setDown(false);
    update();
}

void SoftButton::focusInEvent(QFocusEvent* event) {
    QToolButton::focusInEvent(event);
    Q_EMIT gotFocus();
}

void SoftButton::focusOutEvent(QFocusEvent* event) {
    QToolButton::focusOutEvent(event);
    Q_EMIT lostFocus();
}

void SoftButton::paintEvent(QPaintEvent* event) {
    QToolButton::paintEvent(event);
    if (!hasFocus()) {
        return;
    }
    // A flat button has no frame that the style would mark, so keyboard users would not see
    // where Tab has got to: the focus gets a ring of the desktop's highlight colour.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
    p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 2, 2);
}

namespace {

// A panel keeps its set width, or more where the desktop's font needs it for the text, while
// the bar has room, and gives way, clipped, when it has not, so that panels never overlap in
// a narrow window.
class PanelLabel final : public QLabel {
public:
    using QLabel::QLabel;
    void setPanelWidth(int width) {
        m_width = width;
        updateGeometry();
    }
    int panelWidth() const { return m_width; }
    QSize sizeHint() const override {
        const QSize hint = QLabel::sizeHint();
        return {m_width > 0 ? qMax(m_width, hint.width()) : hint.width(), hint.height()};
    }
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

private:
    int m_width = 0;
};

}  // namespace

KeyedStatusBar::KeyedStatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(true);
}

void KeyedStatusBar::addPanel(const QString& key) {
    if (m_panels.contains(key)) {
        return;
    }
    auto* label = new PanelLabel(this);
    label->setObjectName(QStringLiteral("SB1_") + key);
    label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    label->setFrameShape(QFrame::StyledPanel);
    label->setFrameShadow(QFrame::Sunken);
    label->setTextFormat(Qt::PlainText);
    label->setMinimumWidth(0);
    addWidget(label);
    m_panels.insert(key, label);
    m_order << key;
}

void KeyedStatusBar::setPanelText(const QString& key, const QString& text) {
    if (QLabel* l = m_panels.value(key)) {
        l->setText(text);
    }
}

QString KeyedStatusBar::panelText(const QString& key) const {
    const QLabel* l = m_panels.value(key);
    return l ? l->text() : QString();
}

void KeyedStatusBar::setPanelWidth(const QString& key, int widthPx) {
    if (auto* l = static_cast<PanelLabel*>(m_panels.value(key))) {
        l->setPanelWidth(widthPx);
    }
}

int KeyedStatusBar::panelWidth(const QString& key) const {
    const auto* l = static_cast<const PanelLabel*>(m_panels.value(key));
    return l ? l->panelWidth() : 0;
}

void KeyedStatusBar::clearPanel(const QString& key) {
    setPanelText(key, QString());
}

TabControl::TabControl(QWidget* parent) : QTabWidget(parent) {
    connect(this, &QTabWidget::tabBarClicked, this,
            [this](int i) { Q_EMIT tabClicked(tabBar()->tabData(i).toString()); });
}

void TabControl::addKeyedTab(const QString& caption, const QString& key) {
    auto* page = new QWidget(this);
    page->setObjectName(key);
    const int i = addTab(page, caption);
    tabBar()->setTabData(i, key);
}

QString TabControl::selectedKey() const {
    return tabBar()->tabData(currentIndex()).toString();
}

QRect TabControl::clientArea() const {
    const QWidget* page = currentWidget();
    if (!page) {
        return contentsRect();
    }
    return QRect(page->mapTo(this, QPoint(0, 0)), page->size());
}

UpDown::UpDown(QWidget* parent) : QSpinBox(parent) {
    setRange(1, 6);
}

namespace {

// Follows one list's mouse presses: during a press the selection moves with the mouse, and the
// choice is made once, by the click or, after a drag to another item, on release.
class ListChoiceWatcher final : public QObject {
public:
    ListChoiceWatcher(QListWidget* list, std::function<void(QListWidgetItem*)> choose)
        : QObject(list), m_list(list), m_choose(std::move(choose)) {
        list->viewport()->installEventFilter(this);
        connect(list, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
            m_clicked = true;
            m_choose(item);
        });
        connect(list, &QListWidget::itemSelectionChanged, this, [this] {
            if (m_pressed) {
                m_movedWhilePressed = true;
            } else {
                chooseSelectedCurrent();
            }
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress ||
            event->type() == QEvent::MouseButtonDblClick) {
            m_pressed = true;
            m_movedWhilePressed = false;
            m_clicked = false;
        } else if (event->type() == QEvent::MouseButtonRelease && m_pressed) {
            // The view handles the release (and its click) after this filter.
            QMetaObject::invokeMethod(
                this, [this] { pressEnded(); }, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void pressEnded() {
        m_pressed = false;
        if (m_movedWhilePressed && !m_clicked) {
            chooseSelectedCurrent();
        }
    }

    void chooseSelectedCurrent() {
        QListWidgetItem* item = m_list->currentItem();
        if (item && item->isSelected()) {
            m_choose(item);
        }
    }

    QListWidget* m_list;
    std::function<void(QListWidgetItem*)> m_choose;
    bool m_pressed = false;
    bool m_movedWhilePressed = false;
    bool m_clicked = false;
};

}  // namespace

void VolumeComboBox::showPopup() {
    Q_EMIT aboutToShowPopup();
    QComboBox::showPopup();
}

bool isFocusMoveWithinWindow(QWidget* widget, const QFocusEvent* event) {
    static constexpr const char* kAway = "gvFocusAway";
    const Qt::FocusReason reason = event->reason();
    const bool windowReason =
        reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
    if (event->type() == QEvent::FocusOut) {
        widget->setProperty(kAway, windowReason);
        return !windowReason;
    }
    const bool returning = windowReason && widget->property(kAway).toBool();
    widget->setProperty(kAway, false);
    return !returning;
}

void selectAllOnEntry(QLineEdit* box, const QEvent* event, bool& afterClick) {
    switch (event->type()) {
        case QEvent::FocusIn:
            if (static_cast<const QFocusEvent*>(event)->reason() == Qt::MouseFocusReason) {
                afterClick = true;
            } else {
                QMetaObject::invokeMethod(box, &QLineEdit::selectAll, Qt::QueuedConnection);
            }
            break;
        case QEvent::FocusOut:
            afterClick = false;
            break;
        case QEvent::MouseButtonRelease:
            if (std::exchange(afterClick, false)) {
                QMetaObject::invokeMethod(box, &QLineEdit::selectAll, Qt::QueuedConnection);
            }
            break;
        default:
            break;
    }
}

void onListChoice(QListWidget* list, const std::function<void(QListWidgetItem*)>& choose) {
    new ListChoiceWatcher(list, choose);
}

namespace {

class RightButtonFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
                // The context-menu event still follows the press.
                return static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
            default:
                return QObject::eventFilter(watched, event);
        }
    }
};

}  // namespace

void rightClickShowsMenuOnly(QAbstractItemView* view) {
    view->viewport()->installEventFilter(new RightButtonFilter(view));
}

void keepDisabled(QAction* action) {
    action->setEnabled(false);
    QObject::connect(action, &QAction::changed, action, [action] {
        if (action->isEnabled()) {
            action->setEnabled(false);
        }
    });
}

namespace {

class StayDisabled final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange) {
            auto* control = static_cast<QWidget*>(watched);
            if (control->isEnabled()) {
                control->setEnabled(false);
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

void keepDisabled(QWidget* control) {
    control->setEnabled(false);
    control->installEventFilter(new StayDisabled(control));
}

QPalette desktopPalette() {
    const QPalette desktop = QApplication::palette();
    QPalette p = desktop;
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto r = static_cast<QPalette::ColorRole>(role);
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            p.setColor(group, r, desktop.color(group, r));
        }
    }
    return p;
}

}  // namespace gv
