#pragma once
// Runs a task once, from the event loop, after a widget's first paint: work the first window
// does not need waits until its pixels are on the screen (the display has drawn them).

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "platform/Screen.h"

namespace gv {

class AfterFirstPaint final : public QObject {
public:
    // Whether the first paint of a modal window (a question asked while the widget is still
    // being built, a viewer opened before it) counts too: the user then sees the program and
    // may be kept there for a while.
    enum class Modal { Ignore, Counts };

    // Owned by the widget: the task is dropped with it.
    AfterFirstPaint(QWidget* widget, std::function<void()> task, Modal modal = Modal::Ignore)
        : QObject(widget), m_widget(widget), m_task(std::move(task)) {
        m_watched = modal == Modal::Counts ? static_cast<QObject*>(qApp) : widget;
        m_watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && m_task && counts(watched)) {
            m_watched->removeEventFilter(this);
            // The task waits until the display has drawn the frame, so that neither delays
            // the other.
            QTimer::singleShot(0, m_widget, [task = std::move(m_task)] {
                waitForDisplay();
                task();
            });
            m_task = nullptr;
            deleteLater();
        }
        return false;
    }

private:
    bool counts(QObject* watched) const {
        return watched == m_widget || (m_watched == qApp && watched->isWidgetType() &&
                                       static_cast<QWidget*>(watched)->window()->isModal());
    }

    QWidget* m_widget;
    QObject* m_watched = nullptr;
    std::function<void()> m_task;
};

}  // namespace gv
