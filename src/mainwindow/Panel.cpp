// The browser panel's own behaviour: Fileseek (docked and floating), the header buttons and
// labels, the header highlight, the splitter, and the toolbar and file buttons that only
// route to other commands.

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>
#include <iterator>

#include "listing/FileListing.h"
#include "mainwindow/LayoutMath.h"
#include "mainwindow/frmFileseek.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/FileNameBytes.h"
#include "settings/SettingKeys.h"
#include "settings/clsIface.h"
#include "startup/AppState.h"
#include "widgets/FileListBox.h"
#include "widgets/ImageBox.h"

namespace gv {
namespace {

constexpr const char* kFileseekExplanation =
    "Fileseek will help you find certain image files within the file list box at lightning "
    "speed. Type a small part of a filename you are looking for then press Enter. Press "
    "Backspace to reset the search.  For a full explanation please look in Help under the "
    "Features Guide for Fileseek.";

bool isKey(QEvent* event, std::initializer_list<int> keys) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const int key = static_cast<QKeyEvent*>(event)->key();
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

}  // namespace

void frmGlimvane::connectPanel() {
    for (QObject* o : {static_cast<QObject*>(imgSplitter), static_cast<QObject*>(lblBTCap),
                       static_cast<QObject*>(lblBTfiles), static_cast<QObject*>(Label3),
                       static_cast<QObject*>(lblBTFiles2)}) {
        o->installEventFilter(this);
    }
    for (QLabel* icon : imgBrowserTools) {
        icon->installEventFilter(this);
    }
    onListChoice(List1, [this](QListWidgetItem* item) { ChooseFileseekResult(item); });
    connect(mnuFileseek, &QAction::triggered, this, &frmGlimvane::mnuFileseek_Click);

    // Commands whose windows belong to other parts of the program.
    connect(Toolbar[5], &SoftButton::clicked, this, &frmGlimvane::ShowFullScreen);
    connect(mnuFullscrn, &QAction::triggered, this, &frmGlimvane::ShowFullScreen);
    connect(Toolbar[7], &SoftButton::clicked, this, [this] {
        Toolbar[7]->release(0);
        mnuOptions->trigger();
    });
    connect(mnuOptions, &QAction::triggered, this, [this] {
        ShowOptions();
        ApplyWindowOptions();
    });
    connect(mnuEditLinks, &QAction::triggered, this,
            [this] { ShowOptions(QStringLiteral("links")); });
    connect(Toolbar[8], &SoftButton::clicked, this, [this] {
        Toolbar[8]->release(0);
        mnuHelpcont->trigger();
    });
    connect(Toolbar[9], &SoftButton::clicked, this, [this] {
        Toolbar[9]->release(0);
        ShowCaptureSetup();
    });
    QAction* const fileCommands[kFileButtonCount] = {mnuDel, mnuCopyFile, mnuMove, mnuRename};
    for (int i = 0; i < kFileButtonCount; ++i) {
        connect(Fbts[i], &SoftButton::clicked, this, [this, i, fileCommands] {
            Fbts[i]->release(0);
            fileCommands[i]->trigger();
            if (appState().CurrentImagePath.isEmpty()) {
                for (SoftButton* b : Fbts) {
                    b->setEnabled(false);
                }
            }
        });
    }
    connectHelpCommands();
    connect(mnuAboutItem, &QAction::triggered, this, &frmGlimvane::ShowAbout);
    connect(mnuAboutGV, &QAction::triggered, this, [this] {
        mnuShowGV->setText(QStringLiteral("Show Glimvane"));
        mnuShowGV_Click();
        ShowAbout();
    });
    connect(mnuOpenGVStud, &QAction::triggered, this, &frmGlimvane::OpenStudio);
}

void frmGlimvane::highlightHeader(QLabel* header, bool active) {
    QPalette pal = header->palette();
    const QPalette system = QApplication::palette();
    pal.setColor(QPalette::Window, active ? system.color(QPalette::Active, QPalette::Highlight)
                                          : system.color(QPalette::Inactive, QPalette::Mid));
    pal.setColor(QPalette::WindowText,
                 active ? system.color(QPalette::Active, QPalette::HighlightedText)
                        : system.color(QPalette::Inactive, QPalette::WindowText));
    header->setPalette(pal);
    header->setProperty("active", active);
}

bool frmGlimvane::isToolbarOrFileButton(const SoftButton* button) const {
    return std::find(std::begin(Toolbar), std::end(Toolbar), button) != std::end(Toolbar) ||
           std::find(std::begin(Fbts), std::end(Fbts), button) != std::end(Fbts);
}

bool frmGlimvane::handlePanelEvent(QWidget* widget, QEvent* event) {
    const QEvent::Type type = event->type();
    // The header shows which of the panel's lists has the keyboard focus.
    if (type == QEvent::FocusIn || type == QEvent::FocusOut) {
        const bool in = type == QEvent::FocusIn;
        if (widget == File1 || widget == ftvDirs || widget == FavList) {
            highlightHeader(lblBTfiles, in);
        } else if (widget == List1) {
            highlightHeader(lblBTFiles2, in);
        } else if (in && (widget == VScroll1 || widget == HScroll1)) {
            Picture1->setFocus();
        } else if (auto* b = qobject_cast<SoftButton*>(widget);
                   b && (b->parentWidget() == FraFiles || isToolbarOrFileButton(b))) {
            highlightHeader(lblBTfiles, in);
        }
        return false;
    }
    if (type == QEvent::MouseButtonPress && widget == File1->viewport()) {
        txtSearch->setText(QStringLiteral("Enter search here"));
        return false;
    }
    if (widget == imgSplitter) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        switch (type) {
            case QEvent::MouseButtonPress:
                splitterPressed(qRound(mouse->position().x()));
                return true;
            case QEvent::MouseMove:
                splitterMoved(qRound(mouse->position().x()));
                return true;
            case QEvent::MouseButtonRelease:
                splitterReleased();
                return true;
            default:
                return false;
        }
    }
    if (type == QEvent::MouseButtonRelease) {
        if (widget == lblBTCap || widget == lblBTfiles || widget == imgBrowserTools[0] ||
            widget == imgBrowserTools[1]) {
            ftvDirs->setFocus();
            return true;
        }
        if (widget == Label3 || widget == lblBTFiles2 || widget == imgBrowserTools[2]) {
            txtSearch->setFocus();
            return true;
        }
    }
    return false;
}

bool frmGlimvane::handleFileseekEvent(QWidget* widget, QEvent* event) {
    if (widget == txtSearch) {
        // Leaving for another window or the box's own pop-up menu, and coming back from
        // them, is not the user moving between the search box and the results.
        if ((event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) &&
            !isFocusMoveWithinWindow(txtSearch, static_cast<QFocusEvent*>(event))) {
            return false;
        }
        switch (event->type()) {
            case QEvent::FocusIn:
                selectAllOnEntry(txtSearch, event, m_selectSearchOnRelease);
                List1->clear();
                highlightHeader(lblBTFiles2, true);
                return false;
            case QEvent::FocusOut:
                selectAllOnEntry(txtSearch, event, m_selectSearchOnRelease);
                highlightHeader(lblBTFiles2, false);
                RunFileseek(txtSearch->text(), List1);
                return false;
            case QEvent::MouseButtonRelease:
                // A click: once the box has handled it, explain Fileseek (a message box
                // opened in the middle of the click would leave the box's cursor handling half
                // done).
                if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                    selectAllOnEntry(txtSearch, event, m_selectSearchOnRelease);
                    QMetaObject::invokeMethod(this, &frmGlimvane::ExplainFileseek,
                                              Qt::QueuedConnection);
                }
                return false;
            default:
                if (isKey(event, {Qt::Key_Return, Qt::Key_Enter})) {
                    List1->setFocus();
                    return true;
                }
                return false;
        }
    }
    if (widget == List1 && isKey(event, {Qt::Key_Backspace})) {
        txtSearch->setFocus();
        return true;
    }
    return false;
}

void frmGlimvane::ExplainFileseek() {
    if (m_fileseekExplained || GetSetting(keys::kNoFileseekExp) != QStringLiteral("0")) {
        return;
    }
    const bool dontShowAgain =
        dialogs().messageWithOptOut(QString::fromLatin1(kFileseekExplanation),
                                    QStringLiteral("Fileseek Quick Explanation"), this);
    m_fileseekExplained = true;
    if (dontShowAgain) {
        SaveSetting(keys::kNoFileseekExp, QStringLiteral("1"));
    }
}

void frmGlimvane::RunFileseek(const QString& text, QListWidget* results) {
    if (text.isEmpty()) {
        return;
    }
    const FileNames& names = File1->fileNames();
    const QList<int> matches = fileseekMatches(names, text);
    QStringList texts;
    texts.reserve(matches.size());
    for (int index : matches) {
        texts << fileNameForDisplay(names.at(index));
    }
    results->setUpdatesEnabled(false);
    // All rows in one insertion; the file-list indexes are not shown, so the view need not
    // hear of them one by one.
    const int first = results->count();
    results->addItems(texts);
    {
        const QSignalBlocker quiet(results->model());
        for (qsizetype i = 0; i < matches.size(); ++i) {
            results->item(first + int(i))->setData(Qt::UserRole, matches[i]);
        }
    }
    // No current result until the user picks one: the first Down arrow then picks the first.
    results->QAbstractItemView::setCurrentIndex(QModelIndex());
    results->setUpdatesEnabled(true);
}

void frmGlimvane::ChooseFileseekResult(QListWidgetItem* item) {
    if (!item || item->text().isEmpty()) {
        return;
    }
    RefreshFileList();
    const int row = item->data(Qt::UserRole).toInt();
    if (row >= 0 && row < File1->count()) {
        selectRow(row);
    }
}

void frmGlimvane::mnuFileseek_Click() {
    if (!m_fileseekWindow) {
        m_fileseekWindow = new frmFileseek(this);
    }
    m_fileseekWindow->show();
    m_fileseekWindow->raise();
    m_fileseekWindow->activateWindow();
}

void frmGlimvane::splitterPressed(int /*x*/) {
    highlightHeader(lblBTfiles, true);
    picSplitter->setGeometry(imgSplitter->x(), FraFiles->y(), 3, FraFiles->height());
    picSplitter->show();
    picSplitter->raise();
    m_splitterDragging = true;
}

void frmGlimvane::splitterMoved(int x) {
    if (!m_splitterDragging || !m_interface) {
        return;
    }
    const int W = inner->width();
    const int P = imgSplitter->x() + x;
    if (P == imgSplitter->x()) {
        m_splitterHeld = true;
        m_splitterLimit = -1;  // released here, the width stays as it is
        return;
    }
    m_splitterHeld = false;
    const int ninety = widestPanel(W);
    if (m_interface->BrowserToolsDockMode() == 0) {
        if (P < kMinBrowserToolsWidth) {
            picSplitter->move(kMinBrowserToolsWidth, picSplitter->y());
            m_splitterHeld = true;
            m_splitterLimit = 1;
        } else if (P > ninety) {
            picSplitter->move(ninety - 1, picSplitter->y());
            m_splitterHeld = true;
            m_splitterLimit = 0;
        }
    } else {
        const int w = W - P;
        if (w < kMinBrowserToolsWidth) {
            picSplitter->move(W - kMinBrowserToolsWidth, picSplitter->y());
            m_splitterHeld = true;
            m_splitterLimit = 1;
        } else if (w > ninety) {
            picSplitter->move(W - (ninety - 1), picSplitter->y());
            m_splitterHeld = true;
            m_splitterLimit = 0;
        }
    }
    if (!m_splitterHeld) {
        picSplitter->move(P, picSplitter->y());
    }
}

void frmGlimvane::splitterReleased() {
    if (!m_splitterDragging || !m_interface) {
        return;
    }
    const int W = inner->width();
    const int ninety = widestPanel(W);
    const bool left = m_interface->BrowserToolsDockMode() == 0;
    bool unchanged = false;
    if (m_splitterHeld) {
        m_splitterHeld = false;
        if (m_splitterLimit == 1) {
            picSplitter->move(left ? kMinBrowserToolsWidth : W - kMinBrowserToolsWidth,
                              picSplitter->y());
        } else if (m_splitterLimit == 0) {
            picSplitter->move(left ? ninety : W - ninety, picSplitter->y());
        } else {
            unchanged = true;
        }
    }
    if (!unchanged) {
        const int width = left ? picSplitter->x() - 4 : W - (picSplitter->x() + 4);
        FraFiles->resize(width, FraFiles->height());
        imgSplitter->move(picSplitter->x(), imgSplitter->y());
    }
    picSplitter->hide();
    m_splitterDragging = false;
    File1->setFocus();
    LayoutWindow();
}

}  // namespace gv
