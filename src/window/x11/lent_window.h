// A window that another program made and lends us: a screen saver's, or the
// root. It is drawn in as it is, at its size and in its visual, and nothing
// of ours is set on it; how it is shown is for the program that made it.
// (Under a compositing manager the root is replaced by a desktop window of
// our own: desktop_window.h.)
#pragma once

#include "form/window_target.h"
#include "window/x11/pixel_format.h"
#include "window/x11/x11_visual.h"

#include <xcb/xcb.h>

namespace runtime {

struct LentWindow {
    xcb_window_t window = 0;
    xcb_screen_t* screen = nullptr; // the one it is on
    ChosenVisual visual;
    PixelFormat format;
    bool mapped = false;
    int width = 0, height = 0;
};

// Takes on the window `target` names, or the root of `screen`, and asks for
// its events. Raises the run-time error when there is no such window or it
// cannot be drawn in. Waits for answers.
LentWindow borrow_window(xcb_connection_t* c, xcb_screen_t* screen, const WindowTarget& target);

} // namespace runtime
