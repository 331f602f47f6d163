// The desktop's background on a Wayland compositor that offers wlroots'
// layer shell (sway, KWin, Hyprland...): what `--root` draws on where
// there is no root window.
#pragma once

#include "window/platform.h"

#include <memory>

namespace runtime {

// Connects to the compositor that WAYLAND_DISPLAY names and covers every
// output, as outputs come and go, with a surface in the background layer.
// Raises the run-time error when it does not answer or offers no layer shell.
std::unique_ptr<Platform> open_layer_background();

} // namespace runtime
