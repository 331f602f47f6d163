// Picks the window system the program runs on, and connects to it.
#pragma once

#include "window/platform.h"
#include "window/window_target.h"

#include <memory>

namespace runtime {

// Wayland when WAYLAND_DISPLAY names a compositor that answers; X11
// otherwise, and X11 too when the Wayland connection fails but DISPLAY is
// set. A window that another program made is always an X window: X11 then.
// Raises the run-time error, saying why, when neither opens.
std::unique_ptr<Platform> open_platform(const WindowTarget& target);

} // namespace runtime
