// What the X server and the desktop offer the window, asked together at the
// start so that the answers share one round trip: the atoms, the desktop's
// resolution (Xft.dpi), the display's refresh rate (RandR), MIT-SHM, and
// what the window manager does.
#pragma once

#include "form/units.h"
#include "window/platform.h"
#include "window/x11/window_manager.h"
#include "window/x11/x11_connection.h"

#include <xcb/xcb.h>

#include <chrono>

namespace runtime {

struct ServerOffers {
    Atoms atoms{};
    double dpi = kDefaultDpi;
    std::chrono::nanoseconds frame_interval = kUnknownFrameInterval;
    bool shm = false;
    int shm_completion = -1; // the code of MIT-SHM's completion event
    WindowManager wm;
};

// Asks about `screen` of the connection. Waits for the answers.
ServerOffers ask_server(xcb_connection_t* c, const xcb_screen_t& screen);

} // namespace runtime
