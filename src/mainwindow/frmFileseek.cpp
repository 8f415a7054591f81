#include "mainwindow/frmFileseek.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>

#include "mainwindow/FileListBox.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Screen.h"
#include "startup/AppState.h"

namespace gv {

frmFileseek::frmFileseek(frmGlimvane* owner)
    : QWidget(owner, Qt::Tool), m_owner(owner) {
    setObjectName(QStringLiteral("frmFileseek"));
    setWindowTitle(QStringLiteral("Fileseek"));
    setAttribute(Qt::WA_DeleteOnClose);
    Text1 = new QLineEdit(QStringLiteral("Enter search here"), this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAccessibleName(QStringLiteral("Search String"));
    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setAccessibleName(QStringLiteral("Search Results"));
    // The result list looks like the main window's lists.
    List1->setFrameShadow(owner->File1->frameShadow());
    Text1->move(8, 8);
    List1->move(8, 8 + Text1->sizeHint().height() + 6);
    Text1->installEventFilter(this);
    List1->installEventFilter(this);
    connect(List1, &QListWidget::itemClicked, this, &frmFileseek::chooseResult);
    resize(240, 320);
}

void frmFileseek::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const double tx = twipsPerPixelX();
    const double ty = twipsPerPixelY();
    const int listWidth = qMax(0, qRound(width() - 270 / tx));
    List1->resize(listWidth, qMax(0, qRound(height() - 790 / ty)));
    Text1->resize(listWidth, Text1->sizeHint().height());
}

bool frmFileseek::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Text1) {
        if (event->type() == QEvent::FocusIn) {
            Text1->selectAll();
            List1->clear();
        } else if (event->type() == QEvent::FocusOut) {
            m_owner->RunFileseek(Text1->text(), List1);
        } else if (event->type() == QEvent::KeyPress &&
                   (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                    static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter)) {
            List1->setFocus();
            return true;
        }
    } else if (watched == List1 && event->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent*>(event)->key() == Qt::Key_Backspace) {
        Text1->setFocus();
        // The same key also takes the last character off the search text.
        Text1->end(false);
        QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
        QCoreApplication::sendEvent(Text1, &backspace);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmFileseek::chooseResult() {
    QListWidgetItem* item = List1->currentItem();
    if (!item || item->text().isEmpty()) {
        return;
    }
    FileListBox* files = m_owner->File1;
    AppState& state = appState();
    state.SuppressFileClick = true;
    files->clearSelection();
    state.SuppressFileClick = false;
    const int row = item->data(Qt::UserRole).toInt();
    if (row >= 0 && row < files->count()) {
        m_owner->selectRow(row);
    }
}

}  // namespace gv
