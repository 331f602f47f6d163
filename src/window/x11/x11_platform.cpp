// The window on an X server through xcb: requests are queued and go out in
// one write when the loop is about to sleep or a picture is shown; no reply
// is waited for after the start, except once when a window manager without
// EWMH puts a frame round the window, and when a window manager arrives.
//
// This is where the parts meet: what the server offers, asked once at the
// start (server_offers.h); the window, our own (managed_window.h), lent by
// another program (lent_window.h) or a desktop window in place of the root
// (desktop_window.h); the picture and its puts (x11_presenter.h); and the
// events the server sends, each to the part it concerns, the user's input
// to the form (x11_input.h).
#include "window/x11/x11_platform.h"

#include "form/colour.h"
#include "form/form_runtime.h"
#include "window/quit_signals.h"
#include "window/x11/desktop_window.h"
#include "window/x11/lent_window.h"
#include "window/x11/managed_window.h"
#include "window/x11/pixel_format.h"
#include "window/x11/server_offers.h"
#include "window/x11/x11_connection.h"
#include "window/x11/x11_input.h"
#include "window/x11/x11_picture.h"
#include "window/x11/x11_presenter.h"
#include "window/x11/x11_visual.h"

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace runtime {
namespace {

class X11Platform final : public Platform {
public:
    explicit X11Platform(const WindowTarget& target);
    ~X11Platform() override;

    double dpi() const override { return m_offers.dpi; }
    void create_window(const WindowSetup& setup) override;
    Status set_window_state(int state) override;
    void show() override;
    Picture picture() const override { return m_presenter->picture().picture(); }
    int fd() const override { return xcb_get_file_descriptor(m_c.get()); }
    bool prepare_wait() override;
    void dispatch(bool readable, WindowEvents& events) override;
    bool visible() const override { return m_mapped && !m_obscured && !(m_managed && m_managed->hidden()); }
    std::chrono::nanoseconds frame_interval() const override { return m_offers.frame_interval; }
    bool wants_to_write() const override { return m_presenter->wants_to_write(); }
    void present(const Damage& damage) override { m_presenter->present(damage); }
    void present_all() override { m_presenter->present_all(); }
    void log_presents(std::FILE* log) override { m_presenter->log_to(log); }

private:
    void make_desktop_window(const WindowSetup& setup);
    void make_picture(int width, int height);
    void window_gone(WindowEvents& events) const;
    void handle(const xcb_generic_event_t& event, WindowEvents& events);
    void fail_on_error(const xcb_generic_error_t& error, WindowEvents& events) const;

    XcbConnection m_c;
    WindowTarget m_target;
    // The desktop window made in place of the root: ours to destroy, not
    // the user's to move.
    bool m_desktop = false;
    int m_screen_number = 0;
    xcb_screen_t* m_screen = nullptr;
    ServerOffers m_offers;
    PixelFormat m_format;
    ChosenVisual m_visual;
    // Our own window and the window manager; none for a window lent to us.
    std::optional<ManagedWindow> m_managed;
    std::optional<X11Presenter> m_presenter;

    xcb_window_t m_window = 0;
    xcb_gcontext_t m_gc = 0;
    bool m_mapped = false, m_obscured = false;
    XcbReply<xcb_generic_event_t> m_waiting; // read by xcb while it wrote
};

X11Platform::X11Platform(const WindowTarget& target) : m_target(target) {
    // Every request here waits for its answer: a quit signal meanwhile ends
    // the program at once, even if the server has stopped answering.
    const QuitSignals::MayBlock may_block;
    m_c = connect_to_display(m_screen_number);
    xcb_connection_t* c = m_c.get();
    m_screen = screen_of(c, m_screen_number);
    if (!m_screen) throw RuntimeError("open display", "the X server has no screen " + std::to_string(m_screen_number));
    m_visual = choose_visual(m_screen);
    if (!m_visual.visual)
        throw RuntimeError("open display", "the screen offers no TrueColor visual of depth 15, 16, 24 or 30");
    m_format = pixel_format_of(c, m_visual);

    m_offers = ask_server(c, *m_screen);
    if (target.own())
        m_managed.emplace(c, *m_screen, m_offers.atoms, m_offers.wm,
                          target.kind == WindowTarget::Kind::kFullScreenWindow);
    m_presenter.emplace(c, m_offers.shm_completion);
    check_connection(c);
}

X11Platform::~X11Platform() {
    m_presenter.reset();
    if (m_gc && !xcb_connection_has_error(m_c.get())) {
        xcb_free_gc(m_c.get(), m_gc);
        if (m_managed || m_desktop) xcb_destroy_window(m_c.get(), m_window);
        // The server may have stopped reading: leaving does not wait for it.
        if (server_reads(m_c.get())) xcb_flush(m_c.get());
    }
}

void X11Platform::create_window(const WindowSetup& setup) {
    if (m_managed) {
        m_window = m_managed->create(setup, m_visual, m_format.pixel(kBackground));
        make_picture(setup.width, setup.height);
        return;
    }
    const QuitSignals::MayBlock may_block; // every request here waits for its answer
    if (m_target.kind == WindowTarget::Kind::kRootWindow && compositing_manager_runs(m_c.get(), m_screen_number)) {
        make_desktop_window(setup);
        return;
    }
    const LentWindow lent = borrow_window(m_c.get(), m_screen, m_target);
    m_window = lent.window;
    m_screen = lent.screen;
    m_visual = lent.visual;
    m_format = lent.format;
    m_mapped = lent.mapped;
    make_picture(lent.width, lent.height);
}

void X11Platform::make_desktop_window(const WindowSetup& setup) {
    m_desktop = true;
    const std::uint32_t events =
        XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_VISIBILITY_CHANGE;
    m_window = runtime::make_desktop_window(m_c.get(), *m_screen, m_offers.atoms, m_visual,
                                            {setup.caption, setup.app_id, m_format.pixel(kBackground), events});
    make_picture(m_screen->width_in_pixels, m_screen->height_in_pixels);
}

void X11Platform::make_picture(int width, int height) {
    xcb_connection_t* c = m_c.get();
    m_gc = xcb_generate_id(c);
    const std::uint32_t no_exposures = 0;
    xcb_create_gc(c, m_gc, m_window, XCB_GC_GRAPHICS_EXPOSURES, &no_exposures);
    {
        const QuitSignals::MayBlock may_block; // the shared memory is attached with a round trip
        m_presenter->set_picture(std::make_unique<X11Picture>(c, m_window, m_gc, m_format, m_screen->width_in_pixels,
                                                              m_screen->height_in_pixels, m_offers.shm));
    }
    m_presenter->picture().resize(width, height, kBackground);
    check_connection(c);
}

Status X11Platform::set_window_state(int state) {
    if (state != kNormal && state != kMinimised && state != kMaximised) return Status::failure("unknown window state");
    // How a lent window is shown is for the program that made it.
    if (m_managed) m_managed->set_state(state);
    return Status::ok();
}

void X11Platform::show() {
    if (m_managed) {
        m_managed->map();
        m_presenter->flush();
    } else if (m_desktop) {
        map_desktop_window(m_c.get(), m_window);
        m_presenter->flush();
    }
    m_presenter->picture().fill(kBackground);
}

void X11Platform::window_gone(WindowEvents& events) const {
    // A lent window going is how a screen saver's hack is usually told to
    // stop: that ends the program as closing it would.
    if (m_managed || m_desktop) throw RuntimeError("window", "destroyed by another program");
    events.close_requested();
}

void X11Platform::fail_on_error(const xcb_generic_error_t& error, WindowEvents& events) const {
    // Errors about the window or its drawing mean it is gone: another client
    // destroyed it. A put of the picture that failed would leave the window
    // blank: that is said. Others concern requests we can do without.
    const bool ours = error.resource_id == m_window || error.resource_id == m_gc;
    if ((error.error_code == XCB_WINDOW || error.error_code == XCB_DRAWABLE || error.error_code == XCB_G_CONTEXT) &&
        ours) {
        window_gone(events);
        return;
    }
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(m_c.get(), &xcb_shm_id);
    const bool shm_put = shm && shm->present && error.major_code == shm->major_opcode &&
                         error.minor_code == XCB_SHM_PUT_IMAGE;
    if (shm_put || error.major_code == XCB_PUT_IMAGE)
        throw RuntimeError("window picture", "the X server could not show it: " + describe_x_error(error));
}

void X11Platform::handle(const xcb_generic_event_t& event, WindowEvents& events) {
    if (m_managed && m_managed->handle(event)) return;
    if (m_presenter->completes_put(event)) return;
    if (deliver_input(event, m_offers.atoms, events)) return;
    switch (event.response_type & 0x7F) {
    case 0: fail_on_error(reinterpret_cast<const xcb_generic_error_t&>(event), events); break;
    // Exposed pixels are damage like any other: shown whole with the next
    // put, however many exposes came.
    case XCB_EXPOSE: m_presenter->damage_all(); break;
    case XCB_MAP_NOTIFY: m_mapped = true; m_presenter->damage_all(); break;
    case XCB_UNMAP_NOTIFY: m_mapped = false; break;
    case XCB_VISIBILITY_NOTIFY:
        m_obscured = reinterpret_cast<const xcb_visibility_notify_event_t&>(event).state ==
                     XCB_VISIBILITY_FULLY_OBSCURED;
        break;
    case XCB_CONFIGURE_NOTIFY: {
        const auto& configure = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
        if (configure.window == m_window &&
            m_presenter->picture().resize(configure.width, configure.height, kBackground))
            events.picture_changed();
        break;
    }
    case XCB_DESTROY_NOTIFY:
        if (reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window == m_window) window_gone(events);
        break;
    default: break;
    }
}

bool X11Platform::prepare_wait() {
    m_presenter->write_pieces();
    m_presenter->flush();
    // xcb reads whatever has arrived while it writes: such events and
    // replies are already off the socket, and poll() would not wake for them.
    const bool state_came = m_managed && m_managed->take_state();
    if (!m_waiting) m_waiting.reset(xcb_poll_for_queued_event(m_c.get()));
    return m_waiting != nullptr || state_came;
}

void X11Platform::dispatch(bool readable, WindowEvents& events) {
    xcb_connection_t* c = m_c.get();
    if (const XcbReply<xcb_generic_event_t> waiting = std::move(m_waiting)) handle(*waiting, events);
    while (true) {
        const XcbReply<xcb_generic_event_t> event(readable ? xcb_poll_for_event(c) : xcb_poll_for_queued_event(c));
        if (!event) break;
        handle(*event, events);
    }
    if (m_managed) m_managed->take_state();
    check_connection(c);
    if (m_managed) m_managed->follow_window_manager();
    m_presenter->check_put_done();
    m_presenter->write_pieces();
    // Damage waits for the loop's next present, once a frame at most; what
    // no present carries goes on its own.
    if (visible()) m_presenter->put_held_back(m_offers.frame_interval);
}

} // namespace

std::unique_ptr<Platform> open_x11_platform(const WindowTarget& target) {
    return std::make_unique<X11Platform>(target);
}

} // namespace runtime
