#pragma once
// Hand-overs from later starts wait here and are handled one at a time, in the order they
// came, each from the program's own event loop: never inside another hand-over, nor inside a
// question, a menu, a viewer or a file operation that runs a loop of its own while it waits.
// A handler that took the next hand-over inside it would nest once per hand-over, and a
// flood of them would exhaust the stack.

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>

namespace gv {

class HandOverQueue final : public QObject {
public:
    using Handler = std::function<void(const QByteArray&)>;

    // At most this many wait, holding at most this much; beyond that the oldest give way
    // (each hand-over replaces what the one before it showed).
    static constexpr qsizetype kMaxWaiting = 256;
    static constexpr qsizetype kMaxWaitingBytes = 1024 * 1024;

    // `ready` says whether the receiver can take a hand-over at all (its window is loaded).
    HandOverQueue(Handler handler, std::function<bool()> ready, QObject* parent = nullptr);

    void push(const QByteArray& bytes);
    // Handles what waits as soon as the event loop is free (after the receiver became ready).
    void resume();
    qsizetype waiting() const { return qsizetype(m_waiting.size()); }

private:
    bool canHandleNow() const;
    void handleNext();
    void schedule(int ms);

    Handler m_handler;
    std::function<bool()> m_ready;
    std::deque<QByteArray> m_waiting;
    qsizetype m_bytes = 0;
    bool m_handling = false;
    QTimer m_timer;
};

}  // namespace gv
