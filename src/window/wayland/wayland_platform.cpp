// The window on a Wayland compositor: an xdg_toplevel decorated by libdecor
// (the compositor's decorations where it offers them, libdecor's own
// otherwise), showing the kept picture through wl_shm buffers.
//
// Commits follow frame callbacks: while the compositor has not asked for the
// next frame, damage gathers and goes out with the callback. Every request is
// made outside libwayland's dispatch, after it returns, so that a configure
// is always answered by a buffer of its size and nothing throws through C.
#include "window/wayland/wayland_platform.h"

#include "draw/damage_bands.h"
#include "form/colour.h"
#include "form/form_runtime.h"
#include "form/units.h"
#include "window/quit_signals.h"
#include "window/wayland/address_space.h"
#include "window/timer.h"
#include "window/wayland/shm_buffers.h"
#include "window/wayland/wayland_connect.h"
#include "window/wayland/wayland_failure.h"
#include "window/wayland/wayland_handles.h"
#include "window/wayland/wayland_seat.h"

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace runtime {
namespace {

// Fractional scales come in 120ths.
constexpr int kScaleUnit = 120;

constexpr auto kUnknownFrameInterval = std::chrono::nanoseconds(1'000'000'000 / 60);
// A frame asked for and not given for this long means the compositor does
// not show the window (minimised, on another workspace, an output off):
// the picture goes on changing and is shown whole when frames come again.
constexpr auto kUnseenAfter = std::chrono::milliseconds(500);
// Beyond this many rectangles waiting for a frame (most of a second of
// rays), the whole picture goes instead: the memory they take stays small.
constexpr std::size_t kMaxPendingRects = 4096;

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

struct ViewporterDeleter {
    void operator()(wp_viewporter* p) const { wp_viewporter_destroy(p); }
    void operator()(wp_viewport* p) const { wp_viewport_destroy(p); }
    void operator()(wp_fractional_scale_manager_v1* p) const { wp_fractional_scale_manager_v1_destroy(p); }
    void operator()(wp_fractional_scale_v1* p) const { wp_fractional_scale_v1_destroy(p); }
};
template <typename T>
using ScaleHandle = std::unique_ptr<T, ViewporterDeleter>;

struct Output {
    WlOutput output;
    std::uint32_t name = 0;
    int scale = 1;
    int refresh_mhz = 0;
    int width = 0, height = 0; // pixels of the current mode
};

class WaylandPlatform final : public Platform {
public:
    WaylandPlatform(WlDisplay display, bool fullscreen);
    ~WaylandPlatform() override;

    double dpi() const override { return kDefaultDpi * m_scale120 / kScaleUnit; }
    void create_window(const WindowSetup& setup) override;
    Status set_window_state(int state) override;
    void show() override;
    Picture picture() const override { return m_buffers->picture(); }
    bool claim_picture() override { return m_buffers->claim(); }
    bool claim_released_picture() override { return m_buffers->claim_released(); }
    // libdecor's, which its plugin may watch for more than the compositor's
    // connection (the GTK plugin runs a GLib main loop there).
    int fd() const override { return libdecor_get_fd(m_decor.get()); }
    bool prepare_wait() override;
    void dispatch(bool readable, WindowEvents& events) override;
    bool visible() const override;
    std::chrono::nanoseconds frame_interval() const override;
    std::chrono::steady_clock::time_point frame_awaited_until() const override {
        if (!m_configured || !m_frame_callback) return {};
        return m_frame_asked + kUnseenAfter;
    }
    void present(const Damage& damage) override;
    void present_all() override;

private:
    using Clock = std::chrono::steady_clock;

    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
    static void global_remove(void* data, wl_registry* registry, std::uint32_t name);
    static constexpr wl_registry_listener kRegistryListener = [] {
        wl_registry_listener l{};
        l.global = global;
        l.global_remove = global_remove;
        return l;
    }();

    static void output_geometry(void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                std::int32_t, const char*, const char*, std::int32_t) {}
    static void output_mode(void* data, wl_output* output, std::uint32_t flags, std::int32_t width,
                            std::int32_t height, std::int32_t refresh);
    static void output_done(void*, wl_output*) {}
    static void output_scale(void* data, wl_output* output, std::int32_t factor);
    static void output_name(void*, wl_output*, const char*) {}
    static void output_description(void*, wl_output*, const char*) {}
    static constexpr wl_output_listener kOutputListener = [] {
        wl_output_listener l{};
        l.geometry = output_geometry;
        l.mode = output_mode;
        l.done = output_done;
        l.scale = output_scale;
        l.name = output_name;
        l.description = output_description;
        return l;
    }();

    static void surface_enter(void* data, wl_surface*, wl_output* output);
    static void surface_leave(void* data, wl_surface*, wl_output* output);
    static constexpr wl_surface_listener kSurfaceListener = [] {
        wl_surface_listener l{};
        l.enter = surface_enter;
        l.leave = surface_leave;
        return l;
    }();

    static void preferred_scale(void* data, wp_fractional_scale_v1*, std::uint32_t scale) {
        static_cast<WaylandPlatform*>(data)->m_preferred120 = static_cast<int>(scale);
    }
    static constexpr wp_fractional_scale_v1_listener kFractionalListener = [] {
        wp_fractional_scale_v1_listener l{};
        l.preferred_scale = preferred_scale;
        return l;
    }();

    static void frame_done(void* data, wl_callback*, std::uint32_t);
    static constexpr wl_callback_listener kFrameListener = [] {
        wl_callback_listener l{};
        l.done = frame_done;
        return l;
    }();

    static void configure(libdecor_frame* frame, libdecor_configuration* configuration, void* data);
    static void close(libdecor_frame*, void* data) { static_cast<WaylandPlatform*>(data)->m_close = true; }
    static void commit_requested(libdecor_frame*, void* data) {
        static_cast<WaylandPlatform*>(data)->m_commit_requested = true;
    }
    static void dismiss_popup(libdecor_frame*, const char*, void*) {}

    Output* output_of(wl_output* output);
    [[nodiscard]] int scale() const;
    [[nodiscard]] int wanted_scale120() const;
    [[nodiscard]] int to_pixels(double length) const {
        return static_cast<int>(length * m_scale120 / kScaleUnit + 0.5);
    }
    void roundtrip();
    static void check_room_for_decorations();
    void check(int result);
    void after_dispatch(WindowEvents& events);
    void resize_picture(int width, int height);
    void apply_state();
    void push_whole_picture();
    void commit();
    bool commit_owed() const { return m_configured && !m_frame_callback && !m_pending.empty(); }

    WlDisplay m_display;
    WlRegistry m_registry;
    WlCompositor m_compositor;
    WlShm m_shm;
    ScaleHandle<wp_viewporter> m_viewporter;
    ScaleHandle<wp_fractional_scale_manager_v1> m_fractional_manager;
    std::vector<std::unique_ptr<Output>> m_outputs;
    std::vector<std::unique_ptr<WaylandSeat>> m_seats;
    Libdecor m_decor;
    WlSurface m_surface;
    ScaleHandle<wp_viewport> m_viewport;
    ScaleHandle<wp_fractional_scale_v1> m_fractional;
    LibdecorFrame m_frame;
    WlCallback m_frame_callback;
    std::unique_ptr<ShmBuffers> m_buffers;

    wl_surface* m_window_surface = nullptr; // for the seats, once there is one
    std::vector<wl_output*> m_entered;      // the outputs the window is on

    // The scale the picture is drawn at, in 120ths: the outputs' integer
    // scale as the buffer's, or the compositor's preferred fractional scale
    // through a viewport.
    int m_scale120 = kScaleUnit;
    int m_preferred120 = 0;
    int m_announced120 = kScaleUnit; // the scale the canvas was last told of
    int m_restored_w = 1, m_restored_h = 1; // surface coordinates
    int m_width = 0, m_height = 0;          // surface coordinates, as configured
    int m_shown_w = 0, m_shown_h = 0;       // pixels of the picture the window shows
    std::vector<PixelRect> m_pending;       // not yet committed, rectangle by rectangle
    DamageBands m_bands;                    // m_pending as it is sent
    Clock::time_point m_frame_asked{};

    int m_state = kNormal;
    // Asked for on the command line: the window, unless minimised, covers
    // its output instead of being maximised or restored.
    bool m_fullscreen = false;
    bool m_shown = false, m_configured = false, m_state_applied = false;
    bool m_reconfigured = false, m_close = false, m_commit_requested = false;
    bool m_suspended = false; // the compositor said it does not show the window
};

void WaylandPlatform::check_room_for_decorations() {
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

WaylandPlatform::WaylandPlatform(WlDisplay display, bool fullscreen)
    : m_display(std::move(display)), m_fullscreen(fullscreen) {
    // Every round trip here waits for the compositor: a quit signal
    // meanwhile ends the program at once.
    const QuitSignals::MayBlock may_block;
    m_registry.reset(wl_display_get_registry(m_display.get()));
    wl_registry_add_listener(m_registry.get(), &kRegistryListener, this);
    await_first_answer(m_display.get()); // the globals
    if (!m_compositor || !m_shm)
        throw RuntimeError("Wayland compositor", "offers no wl_compositor of version 4 or no wl_shm");
    roundtrip(); // what the outputs and seats say of themselves
    check_room_for_decorations();
    g_decor_failure.reset();
    m_decor.reset(libdecor_new(m_display.get(), decor_interface()));
    if (!m_decor) throw RuntimeError("Wayland compositor", "libdecor cannot start");
    roundtrip(); // libdecor's globals, so that a frame has its xdg_toplevel at once
    if (g_decor_failure) throw RuntimeError("Wayland compositor", *g_decor_failure);
    m_buffers = std::make_unique<ShmBuffers>(m_shm.get());
    m_scale120 = m_announced120 = scale() * kScaleUnit;
}

WaylandPlatform::~WaylandPlatform() {
    // The compositor unmaps the window with its surface; leaving does not
    // wait for it.
    m_buffers.reset();
    m_frame_callback.reset();
    m_frame.reset();
    m_fractional.reset();
    m_viewport.reset();
    m_surface.reset();
    m_decor.reset();
    m_seats.clear();
    m_outputs.clear();
    if (wl_display_get_error(m_display.get()) == 0) wl_display_flush(m_display.get());
}

void WaylandPlatform::global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                             std::uint32_t version) {
    auto* self = static_cast<WaylandPlatform*>(data);
    const std::string_view which = interface;
    if (which == wl_compositor_interface.name && version >= 4) {
        self->m_compositor.reset(
            static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4)));
    } else if (which == wl_shm_interface.name) {
        self->m_shm.reset(static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1)));
    } else if (which == wl_output_interface.name && version >= 2) {
        auto output = std::make_unique<Output>();
        output->name = name;
        output->output.reset(static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 2)));
        wl_output_add_listener(output->output.get(), &kOutputListener, output.get());
        self->m_outputs.push_back(std::move(output));
    } else if (which == wp_viewporter_interface.name) {
        self->m_viewporter.reset(
            static_cast<wp_viewporter*>(wl_registry_bind(registry, name, &wp_viewporter_interface, 1)));
    } else if (which == wp_fractional_scale_manager_v1_interface.name) {
        self->m_fractional_manager.reset(static_cast<wp_fractional_scale_manager_v1*>(
            wl_registry_bind(registry, name, &wp_fractional_scale_manager_v1_interface, 1)));
    } else if (which == wl_seat_interface.name) {
        self->m_seats.push_back(std::make_unique<WaylandSeat>(registry, name, version, self->m_window_surface));
    }
}

void WaylandPlatform::global_remove(void* data, wl_registry*, std::uint32_t name) {
    auto* self = static_cast<WaylandPlatform*>(data);
    std::erase_if(self->m_seats, [&](const auto& seat) { return seat->name() == name; });
    std::erase_if(self->m_outputs, [&](const auto& output) {
        if (output->name != name) return false;
        std::erase(self->m_entered, output->output.get());
        return true;
    });
}

void WaylandPlatform::output_mode(void* data, wl_output*, std::uint32_t flags, std::int32_t width,
                                  std::int32_t height, std::int32_t refresh) {
    if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
    auto* output = static_cast<Output*>(data);
    output->refresh_mhz = refresh;
    output->width = width;
    output->height = height;
}

void WaylandPlatform::output_scale(void* data, wl_output*, std::int32_t factor) {
    static_cast<Output*>(data)->scale = std::max(1, factor);
}

Output* WaylandPlatform::output_of(wl_output* output) {
    for (const auto& o : m_outputs)
        if (o->output.get() == output) return o.get();
    return nullptr;
}

void WaylandPlatform::surface_enter(void* data, wl_surface*, wl_output* output) {
    auto* self = static_cast<WaylandPlatform*>(data);
    if (self->output_of(output) && std::find(self->m_entered.begin(), self->m_entered.end(), output) ==
                                       self->m_entered.end())
        self->m_entered.push_back(output);
}

void WaylandPlatform::surface_leave(void* data, wl_surface*, wl_output* output) {
    std::erase(static_cast<WaylandPlatform*>(data)->m_entered, output);
}

int WaylandPlatform::scale() const {
    // The sharpest of the outputs the window is on; before it is on any,
    // the sharpest there is.
    int scale = 1;
    for (const auto& o : m_outputs)
        if (m_entered.empty() || std::find(m_entered.begin(), m_entered.end(), o->output.get()) != m_entered.end())
            scale = std::max(scale, o->scale);
    return scale;
}

int WaylandPlatform::wanted_scale120() const {
    if (m_fractional && m_preferred120 > 0) return m_preferred120;
    return scale() * kScaleUnit;
}

std::chrono::nanoseconds WaylandPlatform::frame_interval() const {
    int refresh = 0;
    for (const auto& o : m_outputs)
        if (m_entered.empty() || std::find(m_entered.begin(), m_entered.end(), o->output.get()) != m_entered.end())
            refresh = std::max(refresh, o->refresh_mhz);
    if (refresh <= 0) return kUnknownFrameInterval;
    return std::chrono::nanoseconds(1'000'000'000'000LL / refresh);
}

void WaylandPlatform::check(int result) {
    if (result < 0) throw connection_failure(m_display.get());
}

void WaylandPlatform::roundtrip() { check(wl_display_roundtrip(m_display.get())); }


void WaylandPlatform::create_window(const WindowSetup& setup) {
    // The setup's size is in pixels at dpi(): the window's, in surface
    // coordinates, is that at scale 1.
    m_restored_w = std::max(1, (setup.width * kScaleUnit + m_scale120 / 2) / m_scale120);
    m_restored_h = std::max(1, (setup.height * kScaleUnit + m_scale120 / 2) / m_scale120);
    m_surface.reset(wl_compositor_create_surface(m_compositor.get()));
    m_window_surface = m_surface.get();
    wl_surface_add_listener(m_surface.get(), &kSurfaceListener, this);
    if (m_viewporter && m_fractional_manager) {
        m_viewport.reset(wp_viewporter_get_viewport(m_viewporter.get(), m_surface.get()));
        m_fractional.reset(
            wp_fractional_scale_manager_v1_get_fractional_scale(m_fractional_manager.get(), m_surface.get()));
        wp_fractional_scale_v1_add_listener(m_fractional.get(), &kFractionalListener, this);
    } else {
        wl_surface_set_buffer_scale(m_surface.get(), m_scale120 / kScaleUnit);
    }

    static libdecor_frame_interface frame_interface = [] {
        libdecor_frame_interface i{};
        i.configure = configure;
        i.close = close;
        i.commit = commit_requested;
        i.dismiss_popup = dismiss_popup;
        return i;
    }();
    m_frame.reset(libdecor_decorate(m_decor.get(), m_surface.get(), &frame_interface, this));
    if (!m_frame) throw RuntimeError("Wayland compositor", "libdecor cannot decorate the window");
    const std::string caption(setup.caption), app_id(setup.app_id);
    libdecor_frame_set_title(m_frame.get(), caption.c_str());
    libdecor_frame_set_app_id(m_frame.get(), app_id.c_str());
    resize_picture(m_restored_w, m_restored_h);
}

void WaylandPlatform::resize_picture(int width, int height) {
    m_width = width;
    m_height = height;
    m_shown_w = std::max(1, to_pixels(width));
    m_shown_h = std::max(1, to_pixels(height));
    // The picture is kept at the largest size the window has had, up to the
    // largest output: a window that shrinks and grows back shows its rays.
    int bound_w = 0, bound_h = 0;
    for (const auto& o : m_outputs) {
        bound_w = std::max(bound_w, o->width);
        bound_h = std::max(bound_h, o->height);
    }
    const Picture kept = m_buffers->picture();
    // The viewport shows the buffer, whatever its pixels, on the window's size.
    if (m_viewport) wp_viewport_set_destination(m_viewport.get(), width, height);
    m_buffers->resize(kept_extent(kept.width, m_shown_w, bound_w), kept_extent(kept.height, m_shown_h, bound_h),
                      kBackground | kOpaque);
    // Every pixel is opaque: the compositor need not draw what lies below.
    wl_region* opaque = wl_compositor_create_region(m_compositor.get());
    wl_region_add(opaque, 0, 0, width, height);
    wl_surface_set_opaque_region(m_surface.get(), opaque);
    wl_region_destroy(opaque);
}

Status WaylandPlatform::set_window_state(int state) {
    if (state != kNormal && state != kMinimised && state != kMaximised) return Status::failure("unknown window state");
    m_state = state;
    m_state_applied = false;
    if (m_shown) apply_state();
    return Status::ok();
}

void WaylandPlatform::apply_state() {
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

void WaylandPlatform::show() {
    m_shown = true;
    apply_state(); // before the map, so that the first configure is maximised
    libdecor_frame_map(m_frame.get());
    if (wl_display_flush(m_display.get()) < 0 && errno != EAGAIN) throw connection_failure(m_display.get());
}

void WaylandPlatform::configure(libdecor_frame* frame, libdecor_configuration* configuration, void* data) {
    auto* self = static_cast<WaylandPlatform*>(data);
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

void WaylandPlatform::frame_done(void* data, wl_callback*, std::uint32_t) {
    static_cast<WaylandPlatform*>(data)->m_frame_callback.reset();
}

bool WaylandPlatform::prepare_wait() {
    wl_display* d = m_display.get();
    // What no tick presented (a configure's answer, damage that waited for
    // the frame) goes out before the wait.
    if (commit_owed()) commit();
    // Events already read (by a round trip) are dispatched here; what they
    // ask for is done in dispatch(), without a sleep first.
    const int dispatched = wl_display_dispatch_pending(d);
    check(dispatched);
    // A compositor that has stopped reading fills the socket: what does
    // not fit goes with a later flush.
    if (wl_display_flush(d) < 0 && errno != EAGAIN) throw connection_failure(d);
    return dispatched > 0;
}

void WaylandPlatform::dispatch(bool readable, WindowEvents& events) {
    // libdecor reads and dispatches the connection itself, and gives its
    // plugin its turn; with no wait, it never blocks. Called on every wake,
    // not only when the connection is readable, so that the plugin's own
    // timers run too.
    (void)readable;
    if (libdecor_dispatch(m_decor.get(), 0) < 0 || wl_display_get_error(m_display.get()) != 0)
        throw connection_failure(m_display.get());
    after_dispatch(events);
}

void WaylandPlatform::after_dispatch(WindowEvents& events) {
    if (g_decor_failure) throw RuntimeError("Wayland compositor", *g_decor_failure);
    if (m_shown && !m_state_applied) apply_state();
    if (const int wanted = wanted_scale120(); wanted != m_scale120 && m_surface) {
        m_scale120 = wanted;
        if (!m_viewport) wl_surface_set_buffer_scale(m_surface.get(), wanted / kScaleUnit);
        m_reconfigured = true;
    }
    if (m_reconfigured && m_configured) {
        // The configure was acknowledged: the next commit carries a buffer
        // of its size, whatever the frame callbacks say.
        m_reconfigured = false;
        const Picture before = m_buffers->picture();
        resize_picture(m_width, m_height);
        if (m_buffers->picture() != before || m_scale120 != m_announced120) {
            m_announced120 = m_scale120;
            events.picture_changed();
        }
        // It goes out with the ticks this wake draws (present()), or
        // before the next wait.
        push_whole_picture();
        m_frame_callback.reset();
    }
    if (m_close) {
        m_close = false;
        events.close_requested();
    }
    for (const auto& seat : m_seats)
        for (const PointerPress& press : seat->take_presses())
            events.mouse_down(press.button, press.shift, static_cast<int>(press.x * m_scale120 / kScaleUnit),
                              static_cast<int>(press.y * m_scale120 / kScaleUnit));
    if (m_commit_requested) {
        m_commit_requested = false;
        // A commit with a buffer is coming anyway: a bare one now would
        // carry an acknowledged configure without a buffer of its size.
        if (m_configured && !commit_owed()) wl_surface_commit(m_surface.get());
    }
}

bool WaylandPlatform::visible() const {
    if (!m_configured || m_suspended) return false;
    return !m_frame_callback || Clock::now() - m_frame_asked < kUnseenAfter;
}

void WaylandPlatform::present(const Damage& damage) {
    const Picture picture = m_buffers->picture();
    for (const PixelRect& r : damage) {
        const int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
        const int x1 = std::min(r.x + r.w, picture.width), y1 = std::min(r.y + r.h, picture.height);
        if (x1 > x0 && y1 > y0) m_pending.push_back({x0, y0, x1 - x0, y1 - y0});
    }
    if (m_pending.size() > kMaxPendingRects) push_whole_picture();
    if (!m_frame_callback) commit();
}

void WaylandPlatform::present_all() {
    push_whole_picture();
    if (!m_frame_callback) commit();
}

void WaylandPlatform::push_whole_picture() {
    const Picture picture = m_buffers->picture();
    m_pending.clear();
    m_pending.push_back({0, 0, picture.width, picture.height});
}

void WaylandPlatform::commit() {
    if (!m_configured || m_pending.empty()) return;
    wl_buffer* buffer = m_buffers->hand_over(m_pending, m_shown_w, m_shown_h);
    if (!buffer) return; // nothing would be left to draw on: the damage waits for a release
    wl_surface* surface = m_surface.get();
    wl_surface_attach(surface, buffer, 0, 0);
    // The buffers take what they missed rectangle by rectangle, beyond the
    // window too, but the compositor is told of fewer, larger ones within it.
    for (const PixelRect& r : m_bands.merge(m_pending))
        if (r.x < m_shown_w && r.y < m_shown_h)
            wl_surface_damage_buffer(surface, r.x, r.y, std::min(r.w, m_shown_w - r.x), std::min(r.h, m_shown_h - r.y));
    if (!m_frame_callback) {
        m_frame_callback.reset(wl_surface_frame(surface));
        wl_callback_add_listener(m_frame_callback.get(), &kFrameListener, this);
        m_frame_asked = Clock::now();
    }
    wl_surface_commit(surface);
    m_pending.clear();
}

} // namespace

std::unique_ptr<Platform> open_wayland_platform(bool fullscreen) {
    keep_wayland_log();
    const QuitSignals::MayBlock may_block;
    WlDisplay display = connect_wayland_display();
    return std::make_unique<WaylandPlatform>(std::move(display), fullscreen);
}

} // namespace runtime
