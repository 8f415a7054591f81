// The layout procedure run on every resize, and the application of the interface switches.

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QStatusBar>
#include <QTreeView>

#include "mainwindow/LayoutMath.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
#include "platform/Screen.h"
#include "settings/clsIface.h"
#include "startup/AppState.h"
#include "widgets/FileListBox.h"
#include "widgets/ImageBox.h"

namespace gv {

void frmGlimvane::LayoutWindow() {
    if (!m_interface) {
        return;
    }
    LayoutInput in;
    in.innerWidth = inner->width();
    in.innerHeight = inner->height();
    in.panelWidth = FraFiles->width();
    in.panelShown = m_interface->BrowserTools() == 0;
    in.dockRight = m_interface->BrowserToolsDockMode() != 0;
    in.fileseekShown = m_interface->FileseekToggle() != 1;
    in.vScrollWidth = VScroll1->sizeHint().width();
    in.hScrollHeight = HScroll1->sizeHint().height();
    in.logoWidth = Image2->width();
    in.headerButtonWidth = SoftBttn1->width();
    in.fileButtonsHeight = Picture2->height();
    in.fileseekHeaderHeight = 20;
    in.searchBoxHeight = txtSearch->sizeHint().height();
    in.twipsPerPixelX = twipsPerPixelX();
    in.twipsPerPixelY = twipsPerPixelY();
    const LayoutResult r = computeLayout(in);

    FraFiles->setGeometry(r.panel);
    imgSplitter->setGeometry(r.splitter);
    picSplitter->resize(picSplitter->width(), r.splitter.height());
    Picture1->setGeometry(r.view);
    VScroll1->setGeometry(r.vScroll);
    HScroll1->setGeometry(r.hScroll);
    TilePic->move(r.vScroll.left(), r.hScroll.top());
    TilePic->resize(r.vScroll.width(), r.hScroll.height());
    toolbarRow->setGeometry(0, 0, in.innerWidth, kToolbarRowHeight);
    const int statusHeight = SB1->sizeHint().height();
    SB1->setGeometry(0, in.innerHeight - statusHeight, in.innerWidth, statusHeight);
    Line1->setGeometry(0, kToolbarRowHeight, in.innerWidth, 2);
    Line2->setGeometry(0, kToolbarRowHeight + 2, in.innerWidth, 1);

    lblBTfiles->setGeometry(0, 0, r.panel.width(), kPanelHeaderHeight);
    // The caption ends before the header's buttons, shortened where the panel is narrow.
    const QString caption = lblBTfiles->accessibleName();
    const int room = r.dockButtonLeft - lblBTfiles->indent() - 4;
    lblBTfiles->setText(lblBTfiles->fontMetrics().elidedText(caption, Qt::ElideRight, room));
    SoftBttn1->move(r.closeButtonLeft, (kPanelHeaderHeight - SoftBttn1->height()) / 2);
    stbBTRefresh->move(r.refreshButtonLeft, SoftBttn1->y());
    sbtToggleDock->move(r.dockButtonLeft, SoftBttn1->y());
    imgBrowserTools[0]->move(3, 2);
    imgBrowserTools[1]->move(3, 2);
    lblBTCap->setGeometry(r.listWidth > 0 ? 2 : 0, kPanelHeaderHeight + 2, r.listWidth, 18);
    Drive1->setGeometry(0, kPanelHeaderHeight + 22, r.listWidth, 24);
    ftvDirs->setGeometry(0, r.treeTop, r.listWidth, r.treeHeight);
    FavList->setGeometry(ftvDirs->geometry());
    Dir1->setGeometry(ftvDirs->geometry());
    File1->setGeometry(0, r.fileTop, r.listWidth, r.fileHeight);
    Picture2->move(0, r.fileButtonsTop);
    if (in.fileseekShown) {
        lblBTFiles2->setGeometry(0, r.fileseekHeaderTop, r.panel.width(), kFileseekHeaderHeight);
        const int mid = r.fileseekHeaderTop + kFileseekHeaderHeight / 2;
        sbtCloseFileseek->move(r.closeButtonLeft, mid - sbtCloseFileseek->height() / 2);
        imgBrowserTools[2]->move(3, mid - imgBrowserTools[2]->height() / 2);
        Label3->setGeometry(22, mid - 9, qMax(0, r.panel.width() - 60), 18);
        txtSearch->setGeometry(0, r.searchTop, r.listWidth, in.searchBoxHeight);
        List1->setGeometry(0, r.resultsTop, r.listWidth, r.resultsHeight);
    }
    Image2->setVisible(r.logoVisible);
    Image2->move(r.logoLeft, (kToolbarRowHeight - Image2->height()) / 2);
    orderTabsAsLaidOut(r.panel.left() < r.view.left());

    // Scroll ranges and centring wait until an image replaces the logo.
    if (!LogoShown && !TileMode) {
        const ScrollState s = computeScroll(Image1->size(), r.view.size());
        HScroll1->setMaximum(s.hMax);
        HScroll1->setEnabled(s.hEnabled);
        VScroll1->setMaximum(s.vMax);
        VScroll1->setEnabled(s.vEnabled);
        QPointF pos = m_imageRect.topLeft();
        if (s.centreY) {
            pos.setY(s.top);
        }
        if (s.centreX) {
            pos.setX(s.left);
        }
        if (Image1->height() >= r.view.height()) {
            pos.setY(0);
        }
        if (Image1->width() >= r.view.width()) {
            pos.setX(0);
        }
        placeImage(QRectF(pos, m_imageRect.size()));
    }

    ApplyTrayIconState();
    if (isMaximized()) {
        if (!m_secondLayoutPass) {
            m_secondLayoutPass = true;
            LayoutWindow();
        } else {
            m_secondLayoutPass = false;
        }
    }
}

void frmGlimvane::orderTabsAsLaidOut(bool panelAtLeft) {
    // Tab reads the window as it is laid out: the toolbar, then the column at the left (the
    // view's corner button or the panel), then the one at the right. The header buttons stand
    // from right to left in the order they were made.
    QWidget::setTabOrder(sbtToggleDock, stbBTRefresh);
    QWidget::setTabOrder(stbBTRefresh, SoftBttn1);
    QWidget* const toolbarEnd = Toolbar.last();
    QWidget* after = toolbarEnd;
    if (panelAtLeft) {
        for (QWidget* w = toolbarEnd->nextInFocusChain(); w != toolbarEnd;
             w = w->nextInFocusChain()) {
            if (FraFiles->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus)) {
                after = w;
            }
        }
    }
    QWidget::setTabOrder(after, TilePic);
}

void frmGlimvane::mInterface_Change() {
    if (!m_interface) {
        return;
    }
    if (m_interface->BrowserTools() == 1) {
        mnuBrowseTools->setChecked(false);
        if (FraFiles->width() > 0) {
            m_interface->setBrowserToolsWidth(FraFiles->width());
        }
        FraFiles->resize(0, FraFiles->height());
        imgSplitter->setEnabled(false);
        imgSplitter->hide();
        picSplitter->setEnabled(false);
        picSplitter->hide();
        mnuBTDock->setEnabled(false);
        mnuFileseekToggle->setEnabled(false);
    } else if (m_interface->BrowserTools() == 0) {
        mnuBrowseTools->setChecked(true);
        if (m_interface->BrowserToolsWidth() >= 11) {
            FraFiles->resize(m_interface->BrowserToolsWidth(), FraFiles->height());
        }
        imgSplitter->setEnabled(true);
        imgSplitter->show();
        picSplitter->setEnabled(true);
        mnuBTDock->setEnabled(true);
        mnuFileseekToggle->setEnabled(true);
    }
    if (m_interface->BrowserToolsDockMode() == 0) {
        imgSplitter->move(FraFiles->width() + 1, imgSplitter->y());
        mnuBTDock->setText(QStringLiteral("Dock Browser Right"));
    } else if (m_interface->BrowserToolsDockMode() == 1) {
        imgSplitter->move(FraFiles->x() - 3, imgSplitter->y());
        mnuBTDock->setText(QStringLiteral("Dock Browser Left"));
    }
    const bool hide = m_interface->FileseekToggle() == 1;
    for (QWidget* w : {static_cast<QWidget*>(List1), static_cast<QWidget*>(txtSearch),
                       static_cast<QWidget*>(sbtCloseFileseek), static_cast<QWidget*>(lblBTFiles2),
                       static_cast<QWidget*>(Label3), static_cast<QWidget*>(imgBrowserTools[2])}) {
        w->setVisible(!hide);
    }
    mnuFileseekToggle->setChecked(!hide);
    if (!hide) {
        txtSearch->setFocus();
    }
    LayoutWindow();
}

}  // namespace gv
