#include "window/open_platform.h"

#include "form/printable.h"
#if RAYS_WAYLAND
#include "window/wayland/layer_background.h"
#include "window/wayland/wayland_platform.h"
#endif
#if RAYS_X11
#include "window/x11/x11_platform.h"
#endif

#include <cstdlib>
#include <string>

namespace runtime {
namespace {

bool is_set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// The platforms this build has; a packager may leave either out.
std::unique_ptr<Platform> open_x11(const WindowTarget& target) {
#if RAYS_X11
    return open_x11_platform(target);
#else
    (void)target;
    throw RuntimeError("open display", "this build of rays has no X11");
#endif
}

std::unique_ptr<Platform> open_wayland(const WindowTarget& target) {
#if RAYS_WAYLAND
    // On Wayland the background is the layer shell's.
    if (target.kind == WindowTarget::Kind::kRootWindow) return open_layer_background();
    return open_wayland_platform(target.kind == WindowTarget::Kind::kFullScreenWindow);
#else
    (void)target;
    throw RuntimeError("open display", "this build of rays has no Wayland");
#endif
}

// A build without Wayland in a session that names both goes to X, as
// through XWayland.
bool on_wayland() { return is_set("WAYLAND_DISPLAY") && (RAYS_WAYLAND || !is_set("DISPLAY")); }

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
    const bool background = asked.kind == WindowTarget::Kind::kRootWindow && on_wayland();
    if (!asked.own() && !background && !RAYS_X11)
        return {.refusal = std::string(option) + " draws into an X window, and this build of rays has no X11"};
    if (!asked.own() && !background && !is_set("DISPLAY"))
        return {.refusal = std::string(option) + " draws into an X window and needs X11, but DISPLAY is not set"};
    return {.target = asked};
}

std::unique_ptr<Platform> open_platform(const WindowTarget& target) {
    // The background on Wayland (a screen saver's X window is a given one).
    if (target.kind == WindowTarget::Kind::kRootWindow && on_wayland()) return open_wayland(target);
    // A window lent by another program is an X window.
    if (!target.own()) return open_x11(target);
    if (on_wayland()) {
        try {
            return open_wayland(target);
        } catch (const RuntimeError&) {
            // A desktop that names both runs XWayland: the window still opens.
            if (!is_set("DISPLAY") || !RAYS_X11) throw;
        }
    }
    if (is_set("DISPLAY")) return open_x11(target);
    throw RuntimeError("open display", "no display: neither DISPLAY nor WAYLAND_DISPLAY is set");
}

} // namespace runtime
