#pragma once
// Helpers for tests that drive real program windows on an X server.

#include <QString>
#include <QStringList>
#include <functional>

namespace gvtest {

// Waits (running events) until the condition holds; false on time-out.
bool waitFor(const std::function<bool()>& condition, int ms);
// Runs a tool and returns its trimmed standard output.
QString runTool(const QString& program, const QStringList& args);
// Ids of the visible top-level windows whose title matches the pattern (xdotool).
QStringList visibleWindows(const QString& titlePattern);

}  // namespace gvtest
