// A live background under a compositing manager. The compositing manager
// paints the screen from the windows it redirects and its own idea of the
// background, never from what is drawn on the root: there `rays --root`
// would go on drawing unseen. So where one runs, rays makes a window of its
// own to be the desktop: typed _NET_WM_WINDOW_TYPE_DESKTOP, kept below the
// others on every workspace, listed in no taskbar or pager, covering the
// screen, and with an empty input shape, so that clicks and the pointer
// reach the root and the window manager's desktop menus as they would
// without it.
#pragma once

#include "window/x11/x11_connection.h"
#include "window/x11/x11_visual.h"

#include <xcb/xcb.h>

#include <cstdint>
#include <string_view>

namespace runtime {

// Whether a compositing manager owns _NET_WM_CM_S<screen_number>. Waits
// for the answer.
bool compositing_manager_runs(xcb_connection_t* c, int screen_number);

struct DesktopWindowSetup {
    std::string_view caption, app_id;
    std::uint32_t background; // the pixel shown before anything is drawn
    std::uint32_t events;     // what the window itself is to report
};

// Makes the window, not mapped yet, and lets input pass through it where
// the server can (XFixes 2 and SHAPE). Its button presses are asked for
// where they land: on the root when they pass through, unless the window
// manager already takes them there (then the right-click is the window
// manager's and we go on without it). Waits for answers.
xcb_window_t make_desktop_window(xcb_connection_t* c, const xcb_screen_t& screen, const Atoms& atoms,
                                 const ChosenVisual& visual, const DesktopWindowSetup& setup);

// Maps the window below every other; a window manager keeps it there by its
// type from then on.
void map_desktop_window(xcb_connection_t* c, xcb_window_t window);

} // namespace runtime
