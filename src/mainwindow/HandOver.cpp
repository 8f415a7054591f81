// What this instance does when a later start hands over its command line.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <utility>

#include "mainwindow/frmGlimvane.h"
#include "platform/FileAccess.h"
#include "platform/Paths.h"
#include "platform/Trace.h"
#include "platform/TrayIcon.h"
#include "startup/AppState.h"
#include "startup/modInstances.h"
#include "widgets/FileListBox.h"
#include "widgets/ImageBox.h"

namespace gv {

void frmGlimvane::ActivateFromSecondStart() {
    // A window still loading (a start-up question open) is not shown half-built: the
    // activation waits for the end of the load.
    if (!m_loaded) {
        m_handOversWaiting << QByteArray();
        return;
    }
    ActivatePreviousWindow(this);
}

void frmGlimvane::ReceiveCommandLine(const QByteArray& bytes) {
    if (!m_loaded) {
        m_handOversWaiting << bytes;
        return;
    }
    if (bytes.isEmpty()) {
        activateWindow();
        ActivatePreviousWindow(this);
        return;
    }
    const QString text = QString::fromUtf8(bytes);
    if (trayhost->inTray() && !isVisible()) {
        mnuShowGV->setText(QStringLiteral("Show Glimvane"));
        mnuShowGV_Click();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    activateWindow();
    ActivatePreviousWindow(this);
    raise();
    QCoreApplication::processEvents();
    if (File1->currentRow() > 0) {
        File1->setSelected(File1->currentRow(), false);
    }
    ProcessCmdLine(text);
    QCoreApplication::processEvents();
}

void frmGlimvane::HandOversAfterLoad() {
    const QList<QByteArray> waiting = std::exchange(m_handOversWaiting, {});
    for (const QByteArray& bytes : waiting) {
        if (bytes.isEmpty()) {
            ActivateFromSecondStart();
        } else {
            ReceiveCommandLine(bytes);
        }
    }
}

void frmGlimvane::ProcessCmdLine(const QString& command) {
    AppState& state = appState();
    const bool startUpCall = command.isEmpty();
    QString path = startUpCall ? state.pendingCommandLine : command;
    if (path.startsWith(QLatin1Char('"'))) {
        path.remove(0, 1);
    }
    if (path.endsWith(QLatin1Char('"'))) {
        path.chop(1);
    }
    trace(QStringLiteral("ProcessCmdLine: ") + path);
    if (path.isEmpty() || !isRegularFile(path)) {
        return;
    }
    if (startUpCall) {
        SetSplashStatus(QStringLiteral("Loading Image..."));
    }
    Image1->hide();
    const QString file = QFileInfo(path).absoluteFilePath();
    // At start-up the image comes first and its folder once the image is on the screen: a
    // folder of many thousand files would otherwise keep the user waiting for the listing.
    const int row = startUpCall ? OpenFileFirst(file) : OpenFileInList(file);
    if (row >= 0) {
        SelectAndLoad(row);
    }
    Image1->show();
}

}  // namespace gv
