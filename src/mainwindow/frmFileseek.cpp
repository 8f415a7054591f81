#include "mainwindow/frmFileseek.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScopedValueRollback>

#include "widgets/FileListBox.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
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
    List1->setUniformItemSizes(true);  // as the docked result list
    List1->setObjectName(QStringLiteral("List1"));
    List1->setAccessibleName(QStringLiteral("Search Results"));
    // The result list looks like the main window's lists.
    List1->setFrameShadow(owner->File1->frameShadow());
    Text1->move(8, 8);
    List1->move(8, 8 + Text1->sizeHint().height() + 6);
    Text1->installEventFilter(this);
    List1->installEventFilter(this);
    onListChoice(List1, [this](QListWidgetItem* item) { chooseResult(item); });
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
        const bool focusMove =
            (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) &&
            isFocusMoveWithinWindow(Text1, static_cast<QFocusEvent*>(event));
        if (event->type() == QEvent::FocusIn && focusMove && !m_backspacing) {
            selectAllOnEntry(Text1, event, m_selectOnRelease);
            List1->clear();
        } else if (event->type() == QEvent::FocusOut && focusMove) {
            selectAllOnEntry(Text1, event, m_selectOnRelease);
            m_owner->RunFileseek(Text1->text(), List1);
        } else if (event->type() == QEvent::MouseButtonRelease) {
            selectAllOnEntry(Text1, event, m_selectOnRelease);
        } else if (event->type() == QEvent::KeyPress &&
                   (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                    static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter)) {
            List1->setFocus();
            return true;
        }
    } else if (watched == List1 && event->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent*>(event)->key() == Qt::Key_Backspace) {
        {
            const QScopedValueRollback backspacing(m_backspacing, true);
            Text1->setFocus();
        }
        List1->clear();
        // The same key also takes the last character off the search text.
        Text1->end(false);
        QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
        QCoreApplication::sendEvent(Text1, &backspace);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmFileseek::chooseResult(QListWidgetItem* item) {
    if (!item || item->text().isEmpty()) {
        return;
    }
    // The current file gives way to the choice; other selected files stay selected.
    FileListBox* files = m_owner->File1;
    AppState& state = appState();
    state.SuppressFileClick = true;
    if (files->currentRow() >= 0) {
        files->setSelected(files->currentRow(), false);
    }
    state.SuppressFileClick = false;
    const int row = item->data(Qt::UserRole).toInt();
    if (row >= 0 && row < files->count()) {
        m_owner->selectRow(row);
    }
}

}  // namespace gv
