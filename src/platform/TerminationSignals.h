#pragma once
// The signals that ask a program to end (SIGTERM when the session logs out or from `kill`,
// SIGHUP when its terminal closes, SIGINT from Ctrl+C), delivered as a Qt signal on the thread
// that made the object, so that the program can end as a close of its window does: its lock and
// socket released and its settings written, rather than left for the next start to clean up.

#include <QObject>

class QSocketNotifier;

namespace gv {

class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    // Catches the signals until destroyed. Only one may exist at a time. A second signal of the
    // same kind ends the process at once, as if nothing caught it.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace gv
