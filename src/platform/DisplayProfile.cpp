#include "platform/DisplayProfile.h"

#include <cstdlib>

#include "platform/X11Connection.h"

namespace gv {
namespace {

// Far beyond any display's profile; a larger property is not one.
constexpr uint32_t kMaxProfileUnits = 4 * 1024 * 1024 / 4;

}  // namespace

QByteArray displayIccProfile() {
    xcb_connection_t* c = x11::connection();
    const xcb_atom_t name = x11::atom("_ICC_PROFILE");
    if (!c || name == XCB_ATOM_NONE) {
        return {};
    }
    // The common helper reads 16 KiB at most; a calibrated profile is often larger.
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, x11::root(), name, XCB_ATOM_CARDINAL, 0, kMaxProfileUnits),
        nullptr);
    QByteArray bytes;
    if (r && r->format == 8 && r->bytes_after == 0) {
        bytes = QByteArray(static_cast<const char*>(xcb_get_property_value(r)),
                           xcb_get_property_value_length(r));
    }
    std::free(r);
    return bytes;
}

}  // namespace gv
