// What this instance does when a later start hands over its command line.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>

#include "mainwindow/HandOverQueue.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/FileAccess.h"
#include "platform/FileNameBytes.h"
#include "platform/Paths.h"
#include "platform/Trace.h"
#include "platform/TrayIcon.h"
#include "startup/AppState.h"
#include "startup/modInstances.h"
#include "widgets/FileListBox.h"
#include "widgets/ImageBox.h"

namespace gv {

void frmGlimvane::QueueHandOver(const QByteArray& bytes) {
    m_handOvers->push(bytes);
    // A question of this program holds the hand-over back until it is answered: the user is
    // shown the question rather than nothing.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && m_loaded) {
        modal->raise();
        modal->activateWindow();
    }
}

void frmGlimvane::HandOver(const QByteArray& bytes) {
    if (bytes.isEmpty()) {
        ActivateFromSecondStart();
    } else {
        ReceiveCommandLine(bytes);
    }
}

void frmGlimvane::ActivateFromSecondStart() {
    ActivatePreviousWindow(this);
}

void frmGlimvane::ReceiveCommandLine(const QByteArray& bytes) {
    // The bytes of the second start's arguments: names that are not UTF-8 stay themselves.
    const QString text = fileNameFromBytes(bytes);
    // No events are let run here: the window's own loop paints and takes the next hand-over
    // once this one has returned.
    if (trayhost->inTray() && !isVisible()) {
        mnuShowGV->setText(QStringLiteral("Show Glimvane"));
        mnuShowGV_Click();
    }
    ActivatePreviousWindow(this);
    if (File1->currentRow() > 0) {
        File1->setSelected(File1->currentRow(), false);
    }
    ProcessCmdLine(text);
}

void frmGlimvane::HandOversAfterLoad() {
    m_handOvers->resume();
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
