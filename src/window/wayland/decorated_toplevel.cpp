#include "window/wayland/decorated_toplevel.h"

#include "window/wayland/address_space.h"
#include "window/wayland/wayland_failure.h"

#include <optional>
#include <string>

namespace runtime {
namespace {

// libdecor's error callback carries no user data; one window at a time.
std::optional<std::string> g_decor_failure;

void decor_error(libdecor*, libdecor_error, const char* message) {
    g_decor_failure = message ? message : "libdecor cannot decorate the window";
}

libdecor_interface* decor_interface() {
    static libdecor_interface interface = [] {
        libdecor_interface i{};
        i.error = decor_error;
        return i;
    }();
    return &interface;
}

void check_room_for_decorations() {
    // libdecor's cairo plugin starts threads through GLib, which aborts the
    // program (SIGTRAP) when one cannot be made, and fontconfig faults when
    // memory runs out. Measured on weston: with 50 MiB left it aborted, with
    // 69 MiB it ran.
    constexpr std::size_t kDecorationsRoom = std::size_t{64} << 20;
    if (const auto left = address_space_left(); left && *left < kDecorationsRoom)
        throw RuntimeError("Wayland compositor",
                           "the address-space limit (ulimit -v) leaves " + std::to_string(*left >> 20) +
                               " MiB, too little for the title bar's library (" +
                               std::to_string(kDecorationsRoom >> 20) + " MiB)");
}

} // namespace

DecoratedToplevel::DecoratedToplevel(wl_display* display, bool fullscreen)
    : m_display(display), m_fullscreen(fullscreen) {
    check_room_for_decorations();
    g_decor_failure.reset();
    m_decor.reset(libdecor_new(display, decor_interface()));
    if (!m_decor) throw RuntimeError("Wayland compositor", "libdecor cannot start");
    // libdecor's globals, so that a frame has its xdg_toplevel at once.
    if (wl_display_roundtrip(display) < 0) throw connection_failure(display);
    if (g_decor_failure) throw RuntimeError("Wayland compositor", *g_decor_failure);
}

DecoratedToplevel::~DecoratedToplevel() {
    m_frame.reset();
    m_decor.reset();
}

void DecoratedToplevel::dispatch() {
    if (libdecor_dispatch(m_decor.get(), 0) < 0 || wl_display_get_error(m_display) != 0)
        throw connection_failure(m_display);
    if (g_decor_failure) throw RuntimeError("Wayland compositor", *g_decor_failure);
    if (m_shown && !m_state_applied) apply_state();
}

void DecoratedToplevel::decorate(wl_surface* surface, std::string_view caption, std::string_view app_id, int width,
                                 int height) {
    m_restored_w = width;
    m_restored_h = height;
    static libdecor_frame_interface frame_interface = [] {
        libdecor_frame_interface i{};
        i.configure = configure;
        i.close = close;
        i.commit = commit_requested;
        i.dismiss_popup = dismiss_popup;
        return i;
    }();
    m_frame.reset(libdecor_decorate(m_decor.get(), surface, &frame_interface, this));
    if (!m_frame) throw RuntimeError("Wayland compositor", "libdecor cannot decorate the window");
    const std::string title(caption), id(app_id);
    libdecor_frame_set_title(m_frame.get(), title.c_str());
    libdecor_frame_set_app_id(m_frame.get(), id.c_str());
}

Status DecoratedToplevel::set_state(int state) {
    if (state != kNormal && state != kMinimised && state != kMaximised) return Status::failure("unknown window state");
    m_state = state;
    m_state_applied = false;
    if (m_shown) apply_state();
    return Status::ok();
}

void DecoratedToplevel::apply_state() {
    // libdecor's frame has its toplevel once libdecor is ready; asking for a
    // state before that would touch a null one.
    if (m_state_applied || !libdecor_frame_get_xdg_toplevel(m_frame.get())) return;
    // A window is first shown as it is asked to be, never minimised: that
    // waits for the first configure.
    if (m_state == kMinimised && !m_configured) return;
    m_state_applied = true;
    if (m_fullscreen && m_state != kMinimised) {
        libdecor_frame_set_fullscreen(m_frame.get(), nullptr); // the output the compositor chooses
        return;
    }
    switch (m_state) {
    case kMaximised: libdecor_frame_set_maximized(m_frame.get()); break;
    case kMinimised: libdecor_frame_set_minimized(m_frame.get()); break;
    default:
        if (m_shown && m_configured) libdecor_frame_unset_maximized(m_frame.get());
        break;
    }
}

void DecoratedToplevel::map() {
    m_shown = true;
    apply_state(); // before the map, so that the first configure is maximised
    libdecor_frame_map(m_frame.get());
}

void DecoratedToplevel::configure(libdecor_frame* frame, libdecor_configuration* configuration, void* data) {
    auto* self = static_cast<DecoratedToplevel*>(data);
    int w = 0, h = 0;
    if (!libdecor_configuration_get_content_size(configuration, frame, &w, &h) || w <= 0 || h <= 0) {
        // The compositor leaves the size to us: the restored one.
        w = self->m_restored_w;
        h = self->m_restored_h;
    }
    auto commit_size = [&](libdecor_configuration* acknowledged) {
        libdecor_state* state = libdecor_state_new(w, h);
        libdecor_frame_commit(frame, state, acknowledged);
        libdecor_state_free(state);
    };
    commit_size(configuration);
    // libdecor 0.1.1 counts its title bar only once the decorations are
    // up: at the first configure the content size includes it, and a
    // maximised window would claim more than the compositor gave it.
    if (int fit_w = 0, fit_h = 0; libdecor_configuration_get_content_size(configuration, frame, &fit_w, &fit_h) &&
                                  (fit_w != w || fit_h != h)) {
        w = fit_w;
        h = fit_h;
        commit_size(nullptr);
    }
    self->m_width = w;
    self->m_height = h;
#ifdef RAYS_LIBDECOR_SUSPENDED
    libdecor_window_state state = LIBDECOR_WINDOW_STATE_NONE;
    if (libdecor_configuration_get_window_state(configuration, &state))
        self->m_suspended = (state & LIBDECOR_WINDOW_STATE_SUSPENDED) != 0;
#endif
    self->m_configured = true;
    self->m_reconfigured = true;
}

} // namespace runtime
