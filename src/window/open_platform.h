// Picks the window system the program runs on from the environment, and
// connects to it.
#pragma once

#include "window/platform.h"
#include "form/window_target.h"

#include <memory>
#include <string>
#include <string_view>

namespace runtime {

// The window the program asked for, as the environment has it: under a
// screen saver that names its window in XSCREENSAVER_WINDOW, the root is
// that window. `refusal` says why the environment cannot have it (a window
// that another program made is an X window, and needs DISPLAY); the program
// then ends as for a command line it does not understand.
struct TargetChoice {
    WindowTarget target{};
    std::string refusal{};
};
TargetChoice choose_target(WindowTarget asked, std::string_view option);

// Wayland when WAYLAND_DISPLAY names a compositor that answers; X11
// otherwise, and X11 too when the Wayland connection fails but DISPLAY is
// set. A window that another program made is always an X window: X11 then.
// Raises the run-time error, saying why, when neither opens.
std::unique_ptr<Platform> open_platform(const WindowTarget& target);

} // namespace runtime
