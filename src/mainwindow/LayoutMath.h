#pragma once
// The arithmetic of the main window's layout, free of widgets so that it can be checked
// directly. Positions are pixels of the window's inner area; the panel's inner spacing is
// defined in twips and converted with the screen's twips per pixel.

#include <QRect>
#include <QSize>

namespace gv {

inline constexpr int kToolbarRowHeight = 38;
inline constexpr int kViewTop = 41;
inline constexpr int kPanelHeaderHeight = 20;
inline constexpr int kFileseekHeaderHeight = 20;
// The panel's header block above the folder tree: header, caption and drive list.
inline constexpr int kTreeTop = kPanelHeaderHeight + 22 + 26;

// The splitter keeps the panel at most 90 % of the inner width (to the nearest pixel).
inline int widestPanel(int innerWidth) {
    return (innerWidth * 9 + 5) / 10;
}

struct LayoutInput {
    int innerWidth = 0;
    int innerHeight = 0;
    int panelWidth = 0;  // the panel frame's width, 0 while hidden
    bool panelShown = true;
    bool dockRight = true;
    bool fileseekShown = true;
    int vScrollWidth = 17;
    int hScrollHeight = 17;
    int logoWidth = 120;
    int headerButtonWidth = 18;
    int fileButtonsHeight = 28;
    int fileseekHeaderHeight = kFileseekHeaderHeight;
    int searchBoxHeight = 22;
    double twipsPerPixelX = 15;
    double twipsPerPixelY = 15;
};

struct LayoutResult {
    QRect panel;
    QRect splitter;
    QRect view;
    QRect vScroll;
    QRect hScroll;
    int closeButtonLeft = 0;
    int refreshButtonLeft = 0;
    int dockButtonLeft = 0;
    int listWidth = 0;
    int treeTop = kTreeTop;
    int treeHeight = 0;
    int fileTop = 0;
    int fileHeight = 0;
    int fileButtonsTop = 0;
    int fileseekHeaderTop = 0;
    int searchTop = 0;
    int resultsTop = 0;
    int resultsHeight = 0;
    bool logoVisible = false;
    int logoLeft = 0;
};

LayoutResult computeLayout(const LayoutInput& in);

struct ScrollState {
    int hMax = 0;
    bool hEnabled = false;
    int vMax = 0;
    bool vEnabled = false;
    bool centreX = false;  // the picture is narrower than the view
    bool centreY = false;
    double left = 0;
    double top = 0;
};

ScrollState computeScroll(const QSize& picture, const QSize& view);

}  // namespace gv
