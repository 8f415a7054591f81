#include "mainwindow/LayoutMath.h"

#include <QtGlobal>

namespace gv {

LayoutResult computeLayout(const LayoutInput& in) {
    LayoutResult r;
    const int W = in.innerWidth;
    const int H = in.innerHeight;
    const int FW = in.panelWidth;
    const double tx = in.twipsPerPixelX > 0 ? in.twipsPerPixelX : 15;
    const double ty = in.twipsPerPixelY > 0 ? in.twipsPerPixelY : 15;
    auto px = [ty](double twips) { return qRound(twips / ty); };

    // Horizontal placement.
    int panelLeft = 2;
    int viewLeft = 2;
    int splitterLeft = 0;
    if (in.panelShown) {
        if (!in.dockRight) {
            panelLeft = 2;
            splitterLeft = panelLeft + FW - 2;
            viewLeft = panelLeft + FW + 4;
        } else {
            panelLeft = W - FW - 2;
            splitterLeft = panelLeft - 3;
            viewLeft = 2;
        }
    }
    const int viewWidth = qMax(0, W - FW - in.vScrollWidth - 8);
    const int viewHeight = qMax(0, H - in.hScrollHeight - 70);
    const int panelHeight = qMax(0, H - 70);
    r.view = QRect(viewLeft, kViewTop, viewWidth, viewHeight);
    r.vScroll = QRect(viewLeft + viewWidth + 1, kViewTop, in.vScrollWidth, viewHeight);
    r.hScroll = QRect(viewLeft, kViewTop + viewHeight + 1, viewWidth, in.hScrollHeight);
    r.panel = QRect(panelLeft, kViewTop, FW, panelHeight);
    r.splitter = QRect(splitterLeft, kViewTop, 5, panelHeight);

    // Header buttons, right-aligned with gaps of 45 twips.
    const int gap = qRound(45 / tx);
    r.closeButtonLeft = FW - in.headerButtonWidth - gap;
    r.refreshButtonLeft = r.closeButtonLeft - in.headerButtonWidth - gap;
    r.dockButtonLeft = r.refreshButtonLeft - in.headerButtonWidth - gap;
    r.listWidth = qMax(0, FW - 2);

    // Vertical split of the panel, in twips.
    const double a = viewHeight * ty - kTreeTop * ty - in.fileButtonsHeight * ty - 10;
    // With Fileseek shown, its header and search box come out of the height first, so that
    // the result list ends inside the panel instead of below its edge.
    const double seek = (in.fileseekHeaderHeight + in.searchBoxHeight) * ty + 50;
    const double tree = in.fileseekShown ? qMax(0.0, a - seek) / 3 : a / 2;
    r.treeTop = kTreeTop;
    r.treeHeight = qMax(0, px(tree));
    r.fileTop = r.treeTop + r.treeHeight + px(70);
    r.fileHeight = r.treeHeight;
    r.fileButtonsTop = r.fileTop + r.fileHeight + px(30);
    if (in.fileseekShown) {
        r.fileseekHeaderTop = r.fileButtonsTop + in.fileButtonsHeight + px(15);
        r.searchTop = r.fileseekHeaderTop + in.fileseekHeaderHeight + px(30);
        r.resultsTop = r.searchTop + in.searchBoxHeight + px(30);
        r.resultsHeight = qMax(0, px(tree - 135));
    }

    r.logoVisible = W > 647;
    r.logoLeft = W - in.logoWidth - 10;
    return r;
}

ScrollState computeScroll(const QSize& picture, const QSize& view) {
    ScrollState s;
    s.hEnabled = picture.width() > view.width();
    s.hMax = s.hEnabled ? picture.width() - view.width() : 0;
    s.vEnabled = picture.height() > view.height();
    s.vMax = s.vEnabled ? picture.height() - view.height() : 0;
    if (picture.height() < view.height()) {
        s.centreY = true;
        s.top = (view.height() - picture.height()) / 2.0;
    }
    if (picture.width() < view.width()) {
        s.centreX = true;
        s.left = (view.width() - picture.width()) / 2.0;
    }
    return s;
}

}  // namespace gv
