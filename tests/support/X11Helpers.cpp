#include "support/X11Helpers.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include "support/TestEnvironment.h"

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

SessionProcesses::SessionProcesses()
    : m_busPath(testFolders().runtime + "/bus"), m_busAddress("unix:path=" + m_busPath) {
    start("dbus-daemon", {"--session", "--nofork", "--address=" + m_busAddress});
}

SessionProcesses::~SessionProcesses() {
    // The newest first: the bus ends last.
    for (QProcess* p : m_processes) {
        p->terminate();
        if (!p->waitForFinished(3000)) {
            p->kill();
            p->waitForFinished(3000);
        }
        delete p;
    }
}

bool SessionProcesses::busReady() const {
    return waitFor([this] { return QFile::exists(m_busPath); }, 5000);
}

QProcess* SessionProcesses::start(const QString& program, const QStringList& args,
                                  const QStringList& extraEnv) {
    auto* p = new QProcess;
    p->setEnvironment(childEnvironment() + QStringList{"DBUS_SESSION_BUS_ADDRESS=" + m_busAddress} +
                      extraEnv);
    p->start(program, args);
    m_processes.prepend(p);
    return p;
}

}  // namespace gvtest
