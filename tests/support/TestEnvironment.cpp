#include "support/TestEnvironment.h"

#include <QDir>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

namespace gvtest {
namespace {

TestFolders g_folders;
std::unique_ptr<QTemporaryDir> g_root;

QString makeFolder(const QString& name) {
    const QString path = g_root->path() + QLatin1Char('/') + name;
    QDir().mkpath(path);
    return path;
}

}  // namespace

const TestFolders& testFolders() {
    return g_folders;
}

void setUpTestFolders() {
    g_root = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/gvtest-XXXXXX"));
    g_folders.root = g_root->path();
    g_folders.config = makeFolder(QStringLiteral("config"));
    g_folders.data = makeFolder(QStringLiteral("data"));
    g_folders.runtime = makeFolder(QStringLiteral("runtime"));
    QFile::setPermissions(g_folders.runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner);
    g_folders.program = makeFolder(QStringLiteral("program"));
    g_folders.home = makeFolder(QStringLiteral("home"));
    setenv("XDG_CONFIG_HOME", qPrintable(g_folders.config), 1);
    setenv("XDG_DATA_HOME", qPrintable(g_folders.data), 1);
    setenv("XDG_RUNTIME_DIR", qPrintable(g_folders.runtime), 1);
    setenv("GLIMVANE_PROGRAM_DIR", qPrintable(g_folders.program), 1);
    setenv("HOME", qPrintable(g_folders.home), 1);
    unsetenv("GLIMVANE_TRACE");
}

void emptyTestFolders() {
    // Files beside the folders (the traces of real program runs) go too.
    for (const QFileInfo& file : QDir(g_folders.root).entryInfoList(QDir::Files | QDir::Hidden)) {
        QFile::remove(file.absoluteFilePath());
    }
    for (const QString& folder :
         {g_folders.config, g_folders.data, g_folders.runtime, g_folders.program, g_folders.home}) {
        QDir dir(folder);
        for (const QFileInfo& entry :
             dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            if (entry.isDir() && !entry.isSymLink()) {
                QDir(entry.absoluteFilePath()).removeRecursively();
            } else {
                QFile::remove(entry.absoluteFilePath());
            }
        }
    }
}

QStringList childEnvironment(const QString& traceFile) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (!traceFile.isEmpty()) {
        env.insert(QStringLiteral("GLIMVANE_TRACE"), traceFile);
    }
    return env.toStringList();
}

QString glimvaneBinary() {
    return QStringLiteral(GLIMVANE_BINARY_DIR "/glimvane");
}

QString gvrecoverBinary() {
    return QStringLiteral(GLIMVANE_BINARY_DIR "/gvrecover");
}

}  // namespace gvtest
