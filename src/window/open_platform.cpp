#include "window/open_platform.h"

#include "form/printable.h"
#include "window/wayland/layer_background.h"
#include "window/wayland/wayland_platform.h"
#include "window/x11/x11_platform.h"

#include <cstdlib>
#include <string>

namespace runtime {
namespace {

bool is_set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

} // namespace

TargetChoice choose_target(WindowTarget asked, std::string_view option) {
    if (asked.kind == WindowTarget::Kind::kRootWindow && is_set("XSCREENSAVER_WINDOW")) {
        const char* named = std::getenv("XSCREENSAVER_WINDOW");
        const auto id = parse_window_id(named);
        if (!id) return {.refusal = "XSCREENSAVER_WINDOW='" + printable(named) + "' is not a window id"};
        asked = {WindowTarget::Kind::kGivenWindow, *id};
    }
    // Only X lets a program draw into a window another one made; a Wayland
    // compositor hands out no such thing, but may let it be the background.
    const bool background = asked.kind == WindowTarget::Kind::kRootWindow && is_set("WAYLAND_DISPLAY");
    if (!asked.own() && !background && !is_set("DISPLAY"))
        return {.refusal = std::string(option) + " draws into an X window and needs X11, but DISPLAY is not set"};
    return {.target = asked};
}

std::unique_ptr<Platform> open_platform(const WindowTarget& target) {
    // On Wayland the background is the layer shell's (a screen saver's X
    // window is a given one).
    if (target.kind == WindowTarget::Kind::kRootWindow && is_set("WAYLAND_DISPLAY")) return open_layer_background();
    // A window lent by another program is an X window.
    if (!target.own()) return open_x11_platform(target);
    if (is_set("WAYLAND_DISPLAY")) {
        try {
            return open_wayland_platform(target.kind == WindowTarget::Kind::kFullScreenWindow);
        } catch (const RuntimeError&) {
            // A desktop that names both runs XWayland: the window still opens.
            if (!is_set("DISPLAY")) throw;
        }
    }
    if (is_set("DISPLAY")) return open_x11_platform(target);
    throw RuntimeError("open display", "no display: neither DISPLAY nor WAYLAND_DISPLAY is set");
}

} // namespace runtime
