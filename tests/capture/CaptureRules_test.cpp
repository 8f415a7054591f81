// The capture's rules apart from its windows: the delay field, stored words, the active
// window's area, fitting a page, the rubber band and the blink.

#include <gtest/gtest.h>

#include "capture/AtomTable.h"
#include "capture/CaptureRules.h"
#include "support/TestEnvironment.h"

using namespace gv;

TEST(DelayField, KeepsOneToThreeHundredSeconds) {
    const struct {
        const char* typed;
        const char* kept;
    } cases[] = {
        {"0", "1"},
        {"00", "1"},
        {"1", "1"},
        {"7", "7"},
        {"300", "300"},
        {"301", "300"},
        {"999", "300"},
        {"0300", "0300"},
        {"0301", "300"},
        {"", ""},
        // Far beyond any integer: still 300, never a wrapped-around number.
        {"99999999999999999999", "300"},
        // A paste of anything else keeps its digits only.
        {"1a2", "12"},
        {"abc", ""},
        {"-5", "5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(delayFieldAfterKey(QString::fromLatin1(c.typed)), QString::fromLatin1(c.kept))
            << c.typed;
    }
    EXPECT_TRUE(delayFieldAccepts(Qt::Key_5, "5"));
    EXPECT_TRUE(delayFieldAccepts(Qt::Key_Backspace, "\b"));
    EXPECT_FALSE(delayFieldAccepts(Qt::Key_A, "a"));
    EXPECT_FALSE(delayFieldAccepts(Qt::Key_Minus, "-"));
    EXPECT_FALSE(delayFieldAccepts(Qt::Key_V, "\x16"));  // Ctrl+V
}

TEST(StoredWords, OptionsAndListIndexes) {
    const struct {
        const char* text;
        bool fallback;
        bool value;
    } words[] = {
        {"True", false, true}, {"true", false, true},   {"False", true, false}, {"1", false, true},
        {"0", true, false},    {"-1", false, true},     {"", true, true},       {"", false, false},
        {"maybe", true, true}, {" True ", false, true},
    };
    for (const auto& w : words) {
        EXPECT_EQ(settingAsBool(QString::fromLatin1(w.text), w.fallback), w.value) << w.text;
    }
    EXPECT_EQ(settingAsIndex("11", 12), 11);
    EXPECT_EQ(settingAsIndex("12", 12), 0);
    EXPECT_EQ(settingAsIndex("-1", 12), 0);
    EXPECT_EQ(settingAsIndex("F5", 12), 0);
}

TEST(ActiveWindowArea, MaximisedWindowsLoseTheirOverhang) {
    EXPECT_EQ(activeWindowArea({800, 600}, false), QRect(0, 0, 800, 600));
    EXPECT_EQ(activeWindowArea({1288, 1000}, true), QRect(5, 5, 1281, 997));
}

TEST(PrintFit, FillsTheWidthOrTheHeightInThePicturesShape) {
    const struct {
        QSizeF picture, printable, printed;
        bool landscape;
    } cases[] = {
        // Wider than the page's shape: the whole width.
        {{4000, 2000}, {28700, 19000}, {28700, 14350}, true},
        // Taller than the page's shape: the whole height.
        {{1000, 3000}, {19000, 27700}, {9233.333, 27700}, false},
        // Square on a portrait page: as wide as the page.
        {{500, 500}, {19000, 27700}, {19000, 19000}, false},
        // The same shape as the page fills it.
        {{1900, 2770}, {19000, 27700}, {19000, 27700}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(printsLandscape(c.picture), c.landscape);
        const QSizeF printed = fittedToPage(c.picture, c.printable);
        EXPECT_NEAR(printed.width(), c.printed.width(), 0.01);
        EXPECT_NEAR(printed.height(), c.printed.height(), 0.01);
    }
    EXPECT_TRUE(fittedToPage({0, 100}, {100, 100}).isEmpty());
}

TEST(RubberBandDrag, SizeReadOutAndCutOut) {
    RubberBand band;
    EXPECT_TRUE(band.nothingSelected());
    band.press({100, 50});
    band.drag({220, 130});
    EXPECT_TRUE(band.shown());
    EXPECT_EQ(band.rect(), QRect(100, 50, 120, 80));
    EXPECT_EQ(band.sizeText(), "120x80");
    EXPECT_EQ(band.labelPosition(), QPoint(229, 139));
    EXPECT_EQ(band.cutArea(), QRect(100, 50, 126, 82));
    EXPECT_FALSE(band.nothingSelected());

    // Up or left of the start hides it, and keeps the last size.
    band.drag({90, 140});
    EXPECT_FALSE(band.shown());
    EXPECT_EQ(band.rect(), QRect(100, 50, 120, 80));

    // A click elsewhere moves the corner and keeps the size: a key then cuts that out.
    band.press({10, 20});
    EXPECT_FALSE(band.shown());
    EXPECT_EQ(band.cutArea(), QRect(10, 20, 126, 82));

    // A drag back to exactly 1 x 1 is no selection.
    band.drag({11, 21});
    EXPECT_TRUE(band.nothingSelected());
}

TEST(RecordBlink, TwoBlinksThenStops) {
    const Blink expected[] = {Blink::Show, Blink::Hide,  Blink::Show,
                              Blink::Hide, Blink::Leave, Blink::HideAndStop};
    for (int counter = 0; counter < 6; ++counter) {
        EXPECT_EQ(blinkStep(counter), expected[counter]) << counter;
    }
}

TEST(Atoms, SameNameSameIdCountedUntilLastDelete) {
    AtomTable atoms;
    const int a = atoms.add("cap_glimvane_1");
    ASSERT_GE(a, AtomTable::kFirstId);
    EXPECT_EQ(atoms.add("CAP_glimvane_1"), a);
    const int b = atoms.add("cap_glimvane_2");
    EXPECT_NE(b, a);
    EXPECT_TRUE(atoms.remove(a));
    EXPECT_EQ(atoms.nameOf(a), "cap_glimvane_1");
    EXPECT_TRUE(atoms.remove(a));
    EXPECT_FALSE(atoms.remove(a));
    EXPECT_EQ(atoms.count(), 1);
    EXPECT_EQ(atoms.add(""), 0);
    EXPECT_EQ(atoms.add(QString(256, 'x')), 0);
}
