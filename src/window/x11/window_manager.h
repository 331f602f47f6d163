// The window manager of a screen as its root window describes it: whether
// it maximises windows and shows them full screen the EWMH way, and the work
// area it leaves free. Desktop sessions start programs and window managers
// in either order, and a window manager may be replaced while we run: the
// root's properties say when one arrives, and the window's state is then
// asked for again.
#pragma once

#include "draw/damage.h"
#include "window/x11/x11_connection.h"

#include <xcb/xcb.h>

namespace runtime {

struct WindowManager {
    bool maximises = false;   // _NET_WM_STATE_MAXIMIZED_VERT and _HORZ
    bool fullscreens = false; // _NET_WM_STATE_FULLSCREEN
    PixelRect work_area{};    // the whole screen without a window manager
};

// The requests that ask about the window manager, sent at once; answer()
// collects the replies, so that they share a round trip with others.
class WindowManagerQuery {
public:
    WindowManagerQuery(xcb_connection_t* c, const xcb_screen_t& screen, const Atoms& atoms);
    WindowManager answer();

private:
    xcb_connection_t* m_c;
    PixelRect m_screen;
    const Atoms& m_atoms;
    xcb_get_property_cookie_t m_check, m_supported, m_workarea;
};

// Asks to hear of changes to the root's properties, where a window manager
// announces itself (_NET_SUPPORTING_WM_CHECK, _NET_SUPPORTED).
void watch_for_window_managers(xcb_connection_t* c, xcb_window_t root);

// Whether `event` is one of those announcements.
bool announces_window_manager(const xcb_generic_event_t& event, xcb_window_t root, const Atoms& atoms);

} // namespace runtime
