// The window on a Wayland compositor: an xdg_toplevel decorated by libdecor
// (decorated_toplevel.h), on the outputs that set its scale
// (window_outputs.h), showing the kept picture through wl_shm buffers as
// frame callbacks allow (window_presenter.h). This file ties them to the
// connection and to the event loop.
//
// Listeners run inside libwayland's dispatch: they bind what the registry
// offers and note what the compositor says, and throw nothing. What it asks
// for (a buffer of a configure's size, a new scale, a commit) is done after
// the dispatch returns, so that a configure is always answered by a buffer
// of its size. libdecor's configure alone commits inside it, as libdecor
// wants: it acknowledges the configure with the size it takes.
#include "window/wayland/wayland_platform.h"

#include "form/units.h"
#include "window/quit_signals.h"
#include "window/wayland/decorated_toplevel.h"
#include "window/wayland/wayland_connect.h"
#include "window/wayland/wayland_failure.h"
#include "window/wayland/wayland_globals.h"
#include "window/wayland/wayland_handles.h"
#include "window/wayland/wayland_seat.h"
#include "window/wayland/window_outputs.h"
#include "window/wayland/window_presenter.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

namespace runtime {
namespace {

class WaylandPlatform final : public Platform {
public:
    WaylandPlatform(WlDisplay display, bool fullscreen);
    ~WaylandPlatform() override;

    double dpi() const override { return kDefaultDpi * m_outputs.scale120() / kScaleUnit; }
    void create_window(const WindowSetup& setup) override;
    Status set_window_state(int state) override { return m_toplevel->set_state(state); }
    void show() override;
    Picture picture() const override { return m_presenter->buffers().picture(); }
    bool claim_picture() override { return m_presenter->buffers().claim(); }
    bool claim_released_picture() override { return m_presenter->buffers().claim_released(); }
    int fd() const override { return m_toplevel->fd(); }
    bool prepare_wait() override;
    void dispatch(bool readable, WindowEvents& events) override;
    bool visible() const override { return m_presenter->visible(); }
    std::chrono::nanoseconds frame_interval() const override { return m_outputs.frame_interval(); }
    std::chrono::steady_clock::time_point frame_awaited_until() const override {
        return m_presenter->frame_awaited_until();
    }
    void present(const Damage& damage) override { m_presenter->present(damage); }
    void present_all() override { m_presenter->present_all(); }

private:
    void offered(wl_registry* registry, std::uint32_t name, std::string_view interface, std::uint32_t version);
    void removed(std::uint32_t name);
    void check(int result);
    void resize_picture(int width, int height);

    WlDisplay m_display;
    WaylandGlobals m_globals;
    std::vector<std::unique_ptr<WaylandSeat>> m_seats;
    WindowOutputs m_outputs;
    std::unique_ptr<DecoratedToplevel> m_toplevel;
    WlSurface m_surface;
    std::unique_ptr<WindowPresenter> m_presenter;

    wl_surface* m_window_surface = nullptr; // for the seats, once there is one
    int m_announced120 = kScaleUnit;        // the scale the canvas was last told of
};

WaylandPlatform::WaylandPlatform(WlDisplay display, bool fullscreen)
    : m_display(std::move(display)),
      m_globals(m_display.get(),
                {.offered = [this](wl_registry* registry, std::uint32_t name, std::string_view interface,
                                   std::uint32_t version) { offered(registry, name, interface, version); },
                 .output_added = {},
                 .removed = [this](std::uint32_t name) { removed(name); }}),
      m_outputs(m_globals) {
    // Every round trip here waits for the compositor: a quit signal
    // meanwhile ends the program at once.
    const QuitSignals::MayBlock may_block;
    m_globals.receive();
    check(wl_display_roundtrip(m_display.get())); // what the outputs and seats say of themselves
    m_toplevel = std::make_unique<DecoratedToplevel>(m_display.get(), fullscreen);
    m_presenter = std::make_unique<WindowPresenter>(m_globals.shm(), *m_toplevel);
    m_outputs.start();
    m_announced120 = m_outputs.scale120();
}

WaylandPlatform::~WaylandPlatform() {
    // The compositor unmaps the window with its surface; leaving does not
    // wait for it.
    m_presenter.reset();
    m_toplevel.reset();
    m_outputs.forget_surface();
    m_surface.reset();
    m_seats.clear();
    if (wl_display_get_error(m_display.get()) == 0) wl_display_flush(m_display.get());
}

void WaylandPlatform::offered(wl_registry* registry, std::uint32_t name, std::string_view interface,
                              std::uint32_t version) {
    if (interface == wl_seat_interface.name)
        m_seats.push_back(std::make_unique<WaylandSeat>(registry, name, version, m_window_surface));
    else
        m_outputs.offer(registry, name, interface);
}

void WaylandPlatform::removed(std::uint32_t name) {
    std::erase_if(m_seats, [&](const auto& seat) { return seat->name() == name; });
    m_outputs.output_gone(name);
}

void WaylandPlatform::check(int result) {
    if (result < 0) throw connection_failure(m_display.get());
}

void WaylandPlatform::create_window(const WindowSetup& setup) {
    // The setup's size is in pixels at dpi(): the window's, in surface
    // coordinates, is that at scale 1.
    const int scale120 = m_outputs.scale120();
    const int restored_w = std::max(1, (setup.width * kScaleUnit + scale120 / 2) / scale120);
    const int restored_h = std::max(1, (setup.height * kScaleUnit + scale120 / 2) / scale120);
    m_surface.reset(wl_compositor_create_surface(m_globals.compositor()));
    m_window_surface = m_surface.get();
    m_outputs.follow(m_surface.get());
    m_toplevel->decorate(m_surface.get(), setup.caption, setup.app_id, restored_w, restored_h);
    m_presenter->present_on(m_surface.get());
    resize_picture(restored_w, restored_h);
}

void WaylandPlatform::resize_picture(int width, int height) {
    // The picture is kept at the largest size the window has had, up to the
    // largest output.
    int bound_w = 0, bound_h = 0;
    for (const auto& o : m_globals.outputs()) {
        bound_w = std::max(bound_w, o->width);
        bound_h = std::max(bound_h, o->height);
    }
    m_outputs.show_at(width, height);
    m_presenter->resize(std::max(1, m_outputs.to_pixels(width)), std::max(1, m_outputs.to_pixels(height)), bound_w,
                        bound_h);
    // Every pixel is opaque: the compositor need not draw what lies below.
    wl_region* opaque = wl_compositor_create_region(m_globals.compositor());
    wl_region_add(opaque, 0, 0, width, height);
    wl_surface_set_opaque_region(m_surface.get(), opaque);
    wl_region_destroy(opaque);
}

void WaylandPlatform::show() {
    m_toplevel->map();
    if (wl_display_flush(m_display.get()) < 0 && errno != EAGAIN) throw connection_failure(m_display.get());
}

bool WaylandPlatform::prepare_wait() {
    wl_display* d = m_display.get();
    m_presenter->commit_owed();
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
    // Called on every wake, not only when the connection is readable, so
    // that libdecor's plugin runs its own timers too.
    (void)readable;
    m_toplevel->dispatch();
    // A new scale before the first configure waits for it, which resizes
    // the picture anyway.
    const bool rescaled = m_outputs.rescale();
    if (m_toplevel->configured() && (m_toplevel->take_reconfigured() || rescaled)) {
        // The configure was acknowledged: the next commit carries a buffer
        // of its size, whatever the frame callbacks say.
        const Picture before = m_presenter->buffers().picture();
        resize_picture(m_toplevel->width(), m_toplevel->height());
        if (m_presenter->buffers().picture() != before || m_outputs.scale120() != m_announced120) {
            m_announced120 = m_outputs.scale120();
            events.picture_changed();
        }
        m_presenter->restart();
    }
    if (m_toplevel->take_close()) events.close_requested();
    const int scale120 = m_outputs.scale120();
    for (const auto& seat : m_seats)
        for (const PointerPress& press : seat->take_presses())
            events.mouse_down(press.button, press.shift, static_cast<int>(press.x * scale120 / kScaleUnit),
                              static_cast<int>(press.y * scale120 / kScaleUnit));
    if (m_toplevel->take_commit_request()) m_presenter->commit_requested();
}

} // namespace

std::unique_ptr<Platform> open_wayland_platform(bool fullscreen) {
    keep_wayland_log();
    const QuitSignals::MayBlock may_block;
    WlDisplay display = connect_wayland_display();
    return std::make_unique<WaylandPlatform>(std::move(display), fullscreen);
}

} // namespace runtime
