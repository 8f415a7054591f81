#pragma once
// Helpers for tests that drive real program windows on an X server.

#include <QString>
#include <QStringList>
#include <functional>

class QProcess;

namespace gvtest {

// Waits (running events) until the condition holds; false on time-out.
bool waitFor(const std::function<bool()>& condition, int ms);
// Runs a tool and returns its trimmed standard output.
QString runTool(const QString& program, const QStringList& args);
// Ids of the visible top-level windows whose title matches the pattern (xdotool).
QStringList visibleWindows(const QString& titlePattern);

// Programs a test starts on a private session bus of their own (a dbus-daemon on the test's
// runtime folder), every one ended however the test ends: one left running would spoil the
// tests after it.
class SessionProcesses {
public:
    SessionProcesses();
    ~SessionProcesses();
    SessionProcesses(const SessionProcesses&) = delete;
    SessionProcesses& operator=(const SessionProcesses&) = delete;

    // True once the bus takes connections (within 5 s).
    bool busReady() const;
    QString busAddress() const { return m_busAddress; }
    // Started with the test's environment for children as it is now, the bus's address and
    // `extraEnv`.
    QProcess* start(const QString& program, const QStringList& args,
                    const QStringList& extraEnv = {});

private:
    QString m_busPath;
    QString m_busAddress;
    QList<QProcess*> m_processes;
};

}  // namespace gvtest
