#include "support/X11Helpers.h"

#include <QProcess>
#include <QTest>

namespace gvtest {

bool waitFor(const std::function<bool()>& condition, int ms) {
    return QTest::qWaitFor(condition, ms);
}

QString runTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QStringList visibleWindows(const QString& titlePattern) {
    const QString out = runTool("xdotool", {"search", "--onlyvisible", "--name", titlePattern});
    return out.isEmpty() ? QStringList() : out.split('\n');
}

}  // namespace gvtest
