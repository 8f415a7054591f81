#pragma once
// The title of an X window, for the benchmarks that wait for a program's window to appear.

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>

inline std::string windowTitle(xcb_connection_t* c, xcb_window_t w) {
    for (const char* atomName : {"_NET_WM_NAME", "WM_NAME"}) {
        auto atomCookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(atomName)), atomName);
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, atomCookie, nullptr);
        if (!atom) {
            continue;
        }
        auto cookie = xcb_get_property(c, 0, w, atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
        free(atom);
        xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
        if (reply) {
            const int len = xcb_get_property_value_length(reply);
            std::string title(static_cast<const char*>(xcb_get_property_value(reply)), len);
            free(reply);
            if (!title.empty()) {
                return title;
            }
        }
    }
    return {};
}
