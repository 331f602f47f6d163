// Owning handles for the Wayland objects the window and the background keep:
// each proxy is destroyed through its own request, in the order the members
// are declared.
#pragma once

#include <libdecor.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

#include <memory>

namespace runtime {

// The protocol's destructors are static inline in its headers: one deleter
// type calls each of them.
struct WaylandDeleter {
    void operator()(wl_display* p) const { wl_display_disconnect(p); }
    void operator()(wl_registry* p) const { wl_registry_destroy(p); }
    void operator()(wl_compositor* p) const { wl_compositor_destroy(p); }
    void operator()(wl_shm* p) const { wl_shm_destroy(p); }
    void operator()(wl_surface* p) const { wl_surface_destroy(p); }
    void operator()(wl_callback* p) const { wl_callback_destroy(p); }
    void operator()(wl_shm_pool* p) const { wl_shm_pool_destroy(p); }
    void operator()(wl_buffer* p) const { wl_buffer_destroy(p); }
    void operator()(wl_output* p) const { wl_output_destroy(p); }
    // Released where the compositor knows the request, so that it lets go too.
    void operator()(wl_seat* p) const {
        if (wl_seat_get_version(p) >= WL_SEAT_RELEASE_SINCE_VERSION) wl_seat_release(p);
        else wl_seat_destroy(p);
    }
    void operator()(wl_pointer* p) const {
        if (wl_pointer_get_version(p) >= WL_POINTER_RELEASE_SINCE_VERSION) wl_pointer_release(p);
        else wl_pointer_destroy(p);
    }
    void operator()(wl_keyboard* p) const {
        if (wl_keyboard_get_version(p) >= WL_KEYBOARD_RELEASE_SINCE_VERSION) wl_keyboard_release(p);
        else wl_keyboard_destroy(p);
    }
    void operator()(wp_viewporter* p) const { wp_viewporter_destroy(p); }
    void operator()(wp_viewport* p) const { wp_viewport_destroy(p); }
    void operator()(wp_fractional_scale_manager_v1* p) const { wp_fractional_scale_manager_v1_destroy(p); }
    void operator()(wp_fractional_scale_v1* p) const { wp_fractional_scale_v1_destroy(p); }
    void operator()(zwlr_layer_shell_v1* p) const { zwlr_layer_shell_v1_destroy(p); }
    void operator()(zwlr_layer_surface_v1* p) const { zwlr_layer_surface_v1_destroy(p); }
    void operator()(libdecor* p) const { libdecor_unref(p); }
    void operator()(libdecor_frame* p) const { libdecor_frame_unref(p); }
    void operator()(xkb_context* p) const { xkb_context_unref(p); }
    void operator()(xkb_keymap* p) const { xkb_keymap_unref(p); }
    void operator()(xkb_state* p) const { xkb_state_unref(p); }
};

using WlDisplay = std::unique_ptr<wl_display, WaylandDeleter>;
using WlRegistry = std::unique_ptr<wl_registry, WaylandDeleter>;
using WlCompositor = std::unique_ptr<wl_compositor, WaylandDeleter>;
using WlShm = std::unique_ptr<wl_shm, WaylandDeleter>;
using WlSurface = std::unique_ptr<wl_surface, WaylandDeleter>;
using WlCallback = std::unique_ptr<wl_callback, WaylandDeleter>;
using WlShmPool = std::unique_ptr<wl_shm_pool, WaylandDeleter>;
using WlBuffer = std::unique_ptr<wl_buffer, WaylandDeleter>;
using WlOutput = std::unique_ptr<wl_output, WaylandDeleter>;
using WlSeat = std::unique_ptr<wl_seat, WaylandDeleter>;
using WlPointer = std::unique_ptr<wl_pointer, WaylandDeleter>;
using WlKeyboard = std::unique_ptr<wl_keyboard, WaylandDeleter>;
using WpViewporter = std::unique_ptr<wp_viewporter, WaylandDeleter>;
using WpViewport = std::unique_ptr<wp_viewport, WaylandDeleter>;
using WpFractionalScaleManager = std::unique_ptr<wp_fractional_scale_manager_v1, WaylandDeleter>;
using WpFractionalScale = std::unique_ptr<wp_fractional_scale_v1, WaylandDeleter>;
using LayerShell = std::unique_ptr<zwlr_layer_shell_v1, WaylandDeleter>;
using LayerSurface = std::unique_ptr<zwlr_layer_surface_v1, WaylandDeleter>;
using Libdecor = std::unique_ptr<libdecor, WaylandDeleter>;
using LibdecorFrame = std::unique_ptr<libdecor_frame, WaylandDeleter>;
using XkbContext = std::unique_ptr<xkb_context, WaylandDeleter>;
using XkbKeymap = std::unique_ptr<xkb_keymap, WaylandDeleter>;
using XkbState = std::unique_ptr<xkb_state, WaylandDeleter>;

} // namespace runtime
