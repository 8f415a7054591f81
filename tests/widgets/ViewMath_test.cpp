#include <gtest/gtest.h>

#include "mainwindow/LayoutMath.h"
#include "mainwindow/frmGlimvane.h"
#include "widgets/ViewMath.h"

using namespace gv;

TEST(BestFit, SizesAndPositionsInTheView) {
    struct Case {
        QSize image, view, size;
        QPointF origin;
        bool scaled;
    };
    const Case cases[] = {
        // Small enough: unscaled and centred.
        {{100, 100}, {400, 300}, {100, 100}, {150, 100}, false},
        {{400, 300}, {400, 300}, {400, 300}, {0, 0}, false},
        // Only one side too large.
        {{1600, 400}, {800, 600}, {800, 200}, {0, 200}, true},
        {{900, 1800}, {800, 600}, {300, 600}, {250, 0}, true},
        // Both too large: the larger excess is tried first, unless the other side overflows.
        {{1000, 760}, {800, 600}, {789, 600}, {5.5, 0}, true},
        {{2000, 700}, {800, 600}, {800, 280}, {0, 160}, true},
        {{700, 2000}, {800, 600}, {210, 600}, {295, 0}, true},
        {{6000, 4000}, {800, 600}, {800, 533}, {0, 33.5}, true},
        // Equal excesses try the height first.
        {{1000, 800}, {800, 600}, {750, 600}, {25, 0}, true},
    };
    for (const Case& c : cases) {
        const FitResult r = bestFit(c.image, c.view);
        EXPECT_EQ(r.size, c.size) << c.image.width() << "x" << c.image.height();
        EXPECT_EQ(r.origin, c.origin) << c.image.width() << "x" << c.image.height();
        EXPECT_EQ(r.scaled, c.scaled);
        EXPECT_LE(r.size.width(), c.view.width());
        EXPECT_LE(r.size.height(), c.view.height());
    }
}

TEST(ActualSize, OneImagePixelPerDevicePixelAtEachScale) {
    struct Case {
        QSize image;
        double ratio;
        QSize units;
    } const cases[] = {
        {{64, 48}, 1.0, {64, 48}},
        {{65, 49}, 2.0, {33, 25}},    // a last odd pixel takes a whole unit
        {{100, 50}, 1.25, {80, 40}},  // no unit added by the ratio's rounding
        {{101, 1}, 1.5, {68, 1}},
        {{0, 0}, 2.0, {0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(actualSizeInView(c.image, c.ratio), c.units) << c.ratio;
    }
}

TEST(Tiles, GridCoversTheViewWithClippedLastTiles) {
    EXPECT_EQ(tileGrid({64, 64}, {200, 130}), QSize(4, 3));
    EXPECT_EQ(tileGrid({100, 65}, {200, 130}), QSize(2, 2));
    EXPECT_EQ(tileGrid({300, 300}, {200, 130}), QSize(1, 1));
    EXPECT_EQ(tileGrid({0, 10}, {200, 130}), QSize(0, 0));
}

TEST(Drag, EveryMoveShiftsByTheDistanceOverTheDivisor) {
    // Divisor 2: ten pixels below the start lowers the value by five.
    EXPECT_EQ(dragScrollValue(50, 0, 100, 20, 30, 2), 45);
    EXPECT_EQ(dragScrollValue(50, 0, 100, 30, 20, 2), 55);
    EXPECT_EQ(dragScrollValue(50, 0, 100, 20, 30, 40), 50);
    EXPECT_EQ(dragScrollValue(50, 0, 100, 0, 400, 10), 10);
    // A value outside the range is not applied.
    EXPECT_EQ(dragScrollValue(3, 0, 100, 20, 30, 2), 3);
    EXPECT_EQ(dragScrollValue(98, 0, 100, 30, 20, 2), 98);
    EXPECT_EQ(dragScrollValue(50, 0, 100, 20, 30, 0), 50);
}

TEST(Selection, RectangleEndsAtTheImageEdge) {
    EXPECT_EQ(selectionRect({10, 20}, {130, 100}, {400, 300}), QRect(10, 20, 120, 80));
    EXPECT_EQ(selectionRect({10, 20}, {900, 700}, {400, 300}), QRect(10, 20, 390, 280));
    EXPECT_EQ(selectionRect({10, 20}, {5, 8}, {400, 300}).normalized(), QRect(5, 8, 5, 12));
}

TEST(Layout, PanelSplitterViewAndLogo) {
    LayoutInput in;
    in.innerWidth = 800;
    in.innerHeight = 500;
    in.panelWidth = 200;
    in.dockRight = false;
    LayoutResult r = computeLayout(in);
    EXPECT_EQ(r.panel.left(), 2);
    EXPECT_EQ(r.splitter.left(), 200);
    EXPECT_EQ(r.view.left(), 206);
    EXPECT_EQ(r.view.width(), 800 - 200 - 17 - 8);
    EXPECT_EQ(r.view.height(), 500 - 17 - 70);
    EXPECT_EQ(r.vScroll.left(), r.view.right() + 2);
    EXPECT_EQ(r.hScroll.top(), r.view.bottom() + 2);
    EXPECT_EQ(r.panel.height(), 430);

    in.dockRight = true;
    r = computeLayout(in);
    EXPECT_EQ(r.panel.left(), 800 - 200 - 2);
    EXPECT_EQ(r.splitter.left(), r.panel.left() - 3);
    EXPECT_EQ(r.view.left(), 2);

    in.innerWidth = 647;
    EXPECT_FALSE(computeLayout(in).logoVisible);
    in.innerWidth = 648;
    EXPECT_TRUE(computeLayout(in).logoVisible);
}

TEST(Layout, PanelListsShareTheHeightInHalvesOrThirds) {
    LayoutInput in;
    in.innerWidth = 900;
    in.innerHeight = 700;
    in.panelWidth = 180;
    in.fileseekShown = false;
    LayoutResult halves = computeLayout(in);
    EXPECT_EQ(halves.treeHeight, halves.fileHeight);
    in.fileseekShown = true;
    LayoutResult thirds = computeLayout(in);
    EXPECT_EQ(thirds.treeHeight, thirds.fileHeight);
    // Thirds of what the Fileseek header and search box leave.
    const int seek = in.fileseekHeaderHeight + in.searchBoxHeight;
    EXPECT_NEAR(thirds.treeHeight * 3, halves.treeHeight * 2 - seek, 6);
    // The result list is 135 twips (9 pixels at 15 twips a pixel) shorter, and ends inside
    // the panel.
    EXPECT_EQ(thirds.resultsHeight, thirds.fileHeight - 9);
    EXPECT_GT(thirds.resultsTop, thirds.searchTop);
    EXPECT_LE(thirds.resultsTop + thirds.resultsHeight, thirds.panel.bottom());
}

TEST(InformationPanel, SizeTextTruncatesKilobytes) {
    EXPECT_EQ(fileSizeText(0), "0 Bytes");
    EXPECT_EQ(fileSizeText(512), "512 Bytes");
    EXPECT_EQ(fileSizeText(1023), "1023 Bytes");
    EXPECT_EQ(fileSizeText(1024), "1Kb");
    EXPECT_EQ(fileSizeText(2047), "1Kb");
    EXPECT_EQ(fileSizeText(10239), "9Kb");
    EXPECT_EQ(fileSizeText(10240), "10Kb");
}
