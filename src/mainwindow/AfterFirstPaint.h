#pragma once
// Runs a task once, from the event loop, after a widget's first paint: work the first window
// does not need waits until its pixels are on the screen.

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace gv {

class AfterFirstPaint final : public QObject {
public:
    // Owned by the widget: the task is dropped with it.
    AfterFirstPaint(QWidget* widget, std::function<void()> task)
        : QObject(widget), m_task(std::move(task)) {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && m_task) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, watched, std::move(m_task));
            m_task = nullptr;
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> m_task;
};

}  // namespace gv
