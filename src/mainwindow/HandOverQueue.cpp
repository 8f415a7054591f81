#include "mainwindow/HandOverQueue.h"

#include <QApplication>
#include <QScopedValueRollback>
#include <QThread>
#include <QWidget>

#include "platform/Trace.h"

namespace gv {
namespace {

// While a loop of its own runs (a question, a menu, a file operation), what waits is looked at
// again this often; nothing runs while the queue is empty.
constexpr int kBlockedRetryMs = 100;

}  // namespace

HandOverQueue::HandOverQueue(Handler handler, std::function<bool()> ready, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_ready(std::move(ready)) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &HandOverQueue::handleNext);
}

void HandOverQueue::push(const QByteArray& bytes) {
    m_waiting.push_back(bytes);
    m_bytes += bytes.size();
    while (m_waiting.size() > 1 &&
           (qsizetype(m_waiting.size()) > kMaxWaiting || m_bytes > kMaxWaitingBytes)) {
        m_bytes -= m_waiting.front().size();
        m_waiting.pop_front();
        trace(QStringLiteral("hand-over: too many waiting, the oldest given up"));
    }
    schedule(0);
}

void HandOverQueue::resume() {
    if (!m_waiting.empty()) {
        schedule(0);
    }
}

bool HandOverQueue::canHandleNow() const {
    // Level 1 is the program's own loop; a deeper one belongs to code that waits for it to end.
    return m_ready() && QThread::currentThread()->loopLevel() <= 1 &&
           !QApplication::activeModalWidget() && !QApplication::activePopupWidget();
}

void HandOverQueue::schedule(int ms) {
    // The hand-over being handled schedules the next one when it returns.
    if (!m_handling && (!m_timer.isActive() || m_timer.remainingTime() > ms)) {
        m_timer.start(ms);
    }
}

void HandOverQueue::handleNext() {
    if (m_handling || m_waiting.empty()) {
        return;
    }
    if (!canHandleNow()) {
        if (m_ready()) {
            schedule(kBlockedRetryMs);
        }
        return;  // not loaded yet: resume() comes at the end of the load
    }
    const QByteArray bytes = std::move(m_waiting.front());
    m_waiting.pop_front();
    m_bytes -= bytes.size();
    {
        const QScopedValueRollback handling(m_handling, true);
        m_handler(bytes);
    }
    // One per turn of the loop: input and other senders are served in between.
    if (!m_waiting.empty()) {
        schedule(0);
    }
}

}  // namespace gv
