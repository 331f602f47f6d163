#include "window/x11/lent_window.h"

#include "form/status.h"
#include "window/x11/x11_connection.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace runtime {
namespace {

std::string window_name(xcb_window_t window) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", window);
    return text;
}

} // namespace

LentWindow borrow_window(xcb_connection_t* c, xcb_screen_t* screen, const WindowTarget& target) {
    LentWindow lent;
    lent.window = target.kind == WindowTarget::Kind::kRootWindow ? screen->root : target.window;
    const auto attributes_asked = xcb_get_window_attributes(c, lent.window);
    const auto geometry_asked = xcb_get_geometry(c, lent.window);
    const XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, attributes_asked, nullptr));
    const XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometry_asked, nullptr));
    check_connection(c);
    const std::string name = "window " + window_name(lent.window);
    if (!attributes || !geometry) throw RuntimeError(name, "no such window on this display");
    // The window may be on another screen of the display than DISPLAY names.
    lent.screen = screen;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem > 0; xcb_screen_next(&it))
        if (it.data->root == geometry->root) lent.screen = it.data;
    lent.visual = visual_of(lent.screen, attributes->visual);
    if (attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT || !lent.visual.visual)
        throw RuntimeError(name, "cannot be drawn in: it needs a TrueColor visual of depth 15, 16, 24 or 30");
    lent.format = pixel_format_of(c, lent.visual);
    // An unviewable window (its parent unmapped) is drawn in all the same.
    lent.mapped = attributes->map_state != XCB_MAP_STATE_UNMAPPED;
    lent.width = geometry->width;
    lent.height = geometry->height;

    const std::uint32_t events =
        XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_VISIBILITY_CHANGE;
    // Only one client may hear a window's button presses, and the one that
    // made it, or the window manager on the root, often does: then the
    // right-click is theirs and we go on without it.
    const std::uint32_t with_presses = events | XCB_EVENT_MASK_BUTTON_PRESS;
    const XcbReply<xcb_generic_error_t> refused(xcb_request_check(
        c, xcb_change_window_attributes_checked(c, lent.window, XCB_CW_EVENT_MASK, &with_presses)));
    if (refused) xcb_change_window_attributes(c, lent.window, XCB_CW_EVENT_MASK, &events);
    return lent;
}

} // namespace runtime
