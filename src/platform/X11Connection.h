#pragma once
// The program's connection to the X server, for the platform files that speak xcb: Qt's own
// where the program's windows are on X11, so that grabs and window ids are the program's; else
// one of its own, opened on first use (programs and tests without windows on X).

#include <xcb/xcb.h>

#include <QByteArray>
#include <QRect>

namespace gv::x11 {

// nullptr when there is no X server.
xcb_connection_t* connection();
// The program's own connection, apart from Qt's even where Qt has one: its replies are read by
// the thread that asks for them (Qt's reader thread would take large replies, such as a
// screen's pixels, into memory of its own that the program cannot give back).
xcb_connection_t* ownConnection();
// True when the connection is Qt's, whose events Qt reads and hands to native event filters.
bool sharedWithQt();
xcb_window_t root();
QSize rootSize();
// The atom of the name, made when missing; XCB_ATOM_NONE without an X server.
xcb_atom_t atom(const char* name);
// A property's bytes, at most 4096 32-bit units; empty when the window or property is missing.
QByteArray property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type,
                    xcb_connection_t* c = connection());
// Waits until the server has done everything sent before (one round trip).
void sync(xcb_connection_t* c = connection());

}  // namespace gv::x11
