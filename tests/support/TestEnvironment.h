#pragma once
// Every test process runs with its own settings, data, runtime and program folders, so
// that no test ever touches the user's files or another test's.

#include <QString>
#include <QStringList>
#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace gvtest {

struct TestFolders {
    QString root;
    QString config;   // XDG_CONFIG_HOME
    QString data;     // XDG_DATA_HOME
    QString runtime;  // XDG_RUNTIME_DIR
    QString program;  // GLIMVANE_PROGRAM_DIR
    QString home;     // HOME
};

// Made once per process by the test main, and emptied before each test, so a test sees the
// same fresh folders whether it runs in a process of its own or after others.
const TestFolders& testFolders();
void setUpTestFolders();
void emptyTestFolders();

// Environment for a child process that shares this test's folders.
QStringList childEnvironment(const QString& traceFile = QString());

// The built program and the recovery program.
QString glimvaneBinary();
QString gvrecoverBinary();

}  // namespace gvtest
