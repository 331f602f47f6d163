// The window on an X server, through xcb. No X header is needed to use it.
#pragma once

#include "window/platform.h"
#include "form/window_target.h"

#include <memory>

namespace runtime {

// Connects to the X server that DISPLAY names, on the screen it names, to
// draw on `target`. Raises the run-time error, with the reason, when that
// fails.
std::unique_ptr<Platform> open_x11_platform(const WindowTarget& target);

} // namespace runtime
