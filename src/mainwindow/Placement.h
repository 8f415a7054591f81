#pragma once
// The stored window placement and the corrections applied before it is used.

namespace gv {

inline constexpr double kMinWindowTwips = 2000;
inline constexpr double kOffscreenFixTwips = 100;

struct WindowPlacement {
    int state = 0;  // 0 normal, 2 maximised (a stored 1, minimised, opens normal)
    double left = 0;
    double top = 0;
    double width = 8690;
    double height = 6050;
};

inline WindowPlacement correctedPlacement(int state, double left, double top, double width,
                                          double height) {
    WindowPlacement p{state == 1 ? 0 : state, left, top, width, height};
    if (p.width < kMinWindowTwips) {
        p.width = kMinWindowTwips;
    }
    if (p.height < kMinWindowTwips) {
        p.height = kMinWindowTwips;
    }
    if (p.left < 0) {
        p.left = kOffscreenFixTwips;
    }
    if (p.top < 0) {
        p.top = kOffscreenFixTwips;
    }
    return p;
}

}  // namespace gv
