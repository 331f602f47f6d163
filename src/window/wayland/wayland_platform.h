// The window on a Wayland compositor, through libwayland-client and libdecor.
// No Wayland header is needed to use it.
#pragma once

#include "window/platform.h"

#include <memory>

namespace runtime {

// Connects to the compositor that WAYLAND_DISPLAY names. Raises the run-time
// error, with the reason, when it does not answer or lacks what the window
// needs. A `fullscreen` window covers its output whenever it is not minimised.
std::unique_ptr<Platform> open_wayland_platform(bool fullscreen);

} // namespace runtime
