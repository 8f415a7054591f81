#pragma once
// The full-screen viewer's rules, free of widgets: where the picture goes on the screen, what
// a navigation click does, and the colours of its backgrounds.

#include <QColor>
#include <QString>
#include <optional>

namespace gv {

// One direction of the layout, in pixels: the viewport's extent, the picture's offset in it,
// and the scroll bar (shown with range 0..barMaximum, or hidden).
struct AxisLayout {
    int viewport = 0;
    int offset = 0;
    bool barShown = false;
    int barMaximum = 0;
};

// A picture smaller than the screen is centred over the whole screen; one exactly as large
// sits at 0; a larger one starts at 0 in a viewport a scroll bar's thickness smaller, with the
// bar ranging over the rest.
AxisLayout fullScreenAxis(int picture, int screen, int barThickness);

struct NavigationSettings {
    bool closeOnClick = false;     // "disfsnav"
    bool closeAfterFirst = false;  // "closeafter1" while the single-image start lasts
    bool swapButtons = false;      // "fsnav"
};

// What one mouse button (1 previous, 2 next) does to the selection of a list of count files.
struct NavigationStep {
    bool close = false;
    int select = -1;      // the row to select, or -1 for none
    QString wrapMessage;  // shown before the wrap-around, when not empty
};
NavigationStep navigationStep(int button, int current, int count, const NavigationSettings& s);

// A background of the "FullScreen" colours and the information line's colour on it.
struct FullScreenColours {
    QString name;
    QColor background;
    QColor information;
};
// The seven colours, in menu order: Black, White, Grey, Green, Blue, Red, Yellow.
const FullScreenColours* fullScreenColours(int* count);
// The colours stored under a name; an unknown name is black.
const FullScreenColours& fullScreenColoursNamed(const QString& name);

// The picture types the viewer reads itself, by type key; others keep the shown picture.
bool fullScreenReads(const QString& typeKey);

}  // namespace gv
