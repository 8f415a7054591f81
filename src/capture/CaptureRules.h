#pragma once
// The arithmetic and the small rules of screen capture, apart from any window: the delay
// field, the settings' words, the area of an active window, the picture fitted to a printed
// page, the rubber band of a custom area and the blink of its recording mark.

#include <QPoint>
#include <QRect>
#include <QSizeF>
#include <QString>

namespace gv {

// The delay field takes only the digits and Backspace.
bool delayFieldAccepts(int qtKey, const QString& typed);
// After each key: a non-empty value above 300 becomes "300", one below 1 becomes "1"; an
// empty field stays empty. Anything but digits is dropped (a paste).
QString delayFieldAfterKey(const QString& text);
inline constexpr int kMinDelaySeconds = 1;
inline constexpr int kMaxDelaySeconds = 300;

// A stored option or check box: "True"/"False" as written, "1"/"0" (and other numbers, 0 being
// false) as the defaults are; anything else keeps the fallback.
bool settingAsBool(const QString& text, bool fallback);
// A stored list index within 0..count-1; anything else gives 0.
int settingAsIndex(const QString& text, int count);

// The part of the active window that is captured, relative to its outer rectangle: all of it,
// or for a maximised window the part from (5, 5) that is 7 pixels narrower and 3 lower.
QRect activeWindowArea(QSize windowSize, bool maximised);

// Printing to fit the page: landscape when the picture is wider than it is tall; the printed
// size fills the printable width (or, for a picture taller than the page's shape, its height)
// and keeps the picture's shape. Sizes in any one unit.
bool printsLandscape(QSizeF picture);
QSizeF fittedToPage(QSizeF picture, QSizeF printable);

// The rubber band drawn over a frozen screen: pressed at a point, dragged right and down. Its
// rectangle starts 1 x 1 at the origin, which means that nothing is selected.
class RubberBand final {
public:
    static constexpr int kLabelGap = 9;
    static constexpr int kExtraWidth = 6;
    static constexpr int kExtraHeight = 2;

    void press(QPoint at);
    // A move with the left button held.
    void drag(QPoint at);
    bool nothingSelected() const { return m_rect.size() == QSize(1, 1); }
    QRect rect() const { return m_rect; }
    bool shown() const { return m_shown; }
    QString sizeText() const;
    // Where the size read-out stands: beyond the bottom-right corner.
    QPoint labelPosition() const;
    // The area cut out of the frozen screen: 6 pixels wider and 2 taller than the rectangle.
    QRect cutArea() const;

private:
    QPoint m_start;
    QRect m_rect{0, 0, 1, 1};
    bool m_shown = false;
};

// The recording mark's blink, by the tick counter before it is increased.
enum class Blink { Show, Hide, Leave, HideAndStop };
Blink blinkStep(int counter);

}  // namespace gv
