#pragma once
// The colour profile of the display, as the desktop publishes it: on X11 the ICC profile in the
// root window's _ICC_PROFILE property (what colour managers such as colord's session daemon
// set for the first monitor).

#include <QByteArray>

namespace gv {

// The profile's bytes; empty where the desktop names none (it is then taken as sRGB), and
// where there is no X server.
QByteArray displayIccProfile();

}  // namespace gv
