// The window on an X server through xcb: requests are queued and go out in
// one write when the loop is about to sleep or a picture is shown; no reply
// is waited for after the start, except once when a window manager without
// EWMH puts a frame round the window, and when a window manager arrives.
//
// One put of the picture is in flight at a time: a shared-memory put asks
// for the server's completion event, a plain one is followed by a cheap
// request whose reply says the server has read it. Damage shown meanwhile
// (ticks, exposes) gathers and goes out in the next put. A server that
// stops reading only holds the picture back: nothing is written that the
// socket would not take at once.
//
// The window is our own, or one that another program made and lends us (a
// screen saver's, the root): that one is drawn in as it is, at its size and
// in its visual, and nothing of ours is set on it. Under a compositing
// manager the root is replaced by a desktop window of our own.
#include "window/x11/x11_platform.h"

#include "form/colour.h"
#include "form/form_runtime.h"
#include "form/units.h"
#include "window/quit_signals.h"
#include "window/x11/desktop_window.h"
#include "window/x11/pixel_format.h"
#include "window/x11/window_manager.h"
#include "window/x11/x11_connection.h"
#include "window/x11/x11_picture.h"
#include "window/x11/x11_visual.h"
#include "window/x11/xft_dpi.h"

#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h> // xcb_poll_for_reply

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <linux/sockios.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace runtime {
namespace {

constexpr auto kUnknownFrameInterval = std::chrono::nanoseconds(1'000'000'000 / 60);

// X's pointer buttons, as the form numbers them; the wheel (4 to 7) and
// others are not buttons to the form.
std::int16_t button_code(xcb_button_t detail) {
    switch (detail) {
    case 1: return kLeftButton;
    case 2: return kMiddleButton;
    case 3: return kRightButton;
    default: return 0;
    }
}

std::int16_t shift_state(std::uint16_t state) {
    return static_cast<std::int16_t>(((state & XCB_MOD_MASK_SHIFT) ? 1 : 0) |
                                     ((state & XCB_MOD_MASK_CONTROL) ? 2 : 0) | ((state & XCB_MOD_MASK_1) ? 4 : 0));
}

std::string window_name(xcb_window_t window) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", window);
    return text;
}

std::string property_text(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 8) return {};
    return {static_cast<const char*>(xcb_get_property_value(reply)),
            static_cast<std::size_t>(xcb_get_property_value_length(reply))};
}

xcb_get_property_cookie_t get_property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                       xcb_atom_t type, std::uint32_t longs = 4096) {
    return xcb_get_property(c, 0, window, property, type, 0, longs);
}

class X11Platform final : public Platform {
public:
    explicit X11Platform(const WindowTarget& target);
    ~X11Platform() override;

    double dpi() const override { return m_dpi; }
    void create_window(const WindowSetup& setup) override;
    Status set_window_state(int state) override;
    void show() override;
    Picture picture() const override { return m_picture->picture(); }
    int fd() const override { return xcb_get_file_descriptor(m_c.get()); }
    bool prepare_wait() override;
    void dispatch(bool readable, WindowEvents& events) override;
    // Minimised, a window manager may leave the window mapped (mutter, for
    // its thumbnails): _NET_WM_STATE_HIDDEN says so.
    bool visible() const override { return m_mapped && !m_obscured && !m_wm_hidden; }
    std::chrono::nanoseconds frame_interval() const override { return m_frame_interval; }
    bool wants_to_write() const override { return m_unflushed || (m_picture && m_picture->pieces_left()); }
    void present(const Damage& damage) override;
    void present_all() override;
    void log_presents(std::FILE* log) override { m_log = log; }

private:
    void adopt_window();
    void make_desktop_window(const WindowSetup& setup);
    void make_picture(int width, int height);
    void window_gone(WindowEvents& events) const;
    void handle(const xcb_generic_event_t& event, WindowEvents& events);
    void fail_on_error(const xcb_generic_error_t& error, WindowEvents& events) const;
    void check_connection() const;
    void flush();
    bool server_reads() const;
    void put_pending();
    void write_pieces();
    void check_put_done();
    void set_property(xcb_atom_t property, xcb_atom_t type, int format, std::size_t count, const void* data);
    void set_size_hints(bool position_given);
    std::vector<xcb_atom_t> wm_states(int state) const;
    bool wm_shows(int state) const;
    void cover_work_area();
    void fit_frame_on_screen();
    void send_wm_state(bool add, const std::vector<xcb_atom_t>& states);
    void window_manager_arrived();
    void ask_wm_state();
    bool take_wm_state();

    XcbConnection m_c;
    WindowTarget m_target;
    // A window that another program made is not ours to set up or destroy.
    bool m_owned = true;
    // Shown over the whole screen rather than maximised.
    bool m_fullscreen = false;
    // The desktop window made in place of the root: ours to destroy, not
    // the user's to move.
    bool m_desktop = false;
    int m_screen_number = 0;
    xcb_screen_t* m_screen = nullptr;
    Atoms m_atoms{};
    double m_dpi = kDefaultDpi;
    std::chrono::nanoseconds m_frame_interval = kUnknownFrameInterval;
    PixelFormat m_format;
    ChosenVisual m_visual;
    bool m_shm = false;
    int m_shm_completion = -1; // the completion event's code
    // What the window manager does the EWMH way; what it does not, the
    // window does itself: it covers the work area, or the screen.
    WindowManager m_wm;
    bool m_wm_announced = false; // since the last look at the root

    xcb_window_t m_window = 0;
    xcb_gcontext_t m_gc = 0;
    std::unique_ptr<X11Picture> m_picture;
    int m_state = kNormal;
    bool m_shown = false, m_mapped = false, m_obscured = false, m_wm_hidden = false;
    // The request for _NET_WM_STATE whose reply is still to come.
    std::optional<unsigned int> m_wm_state_asked;
    // What is to be shown and has not been put yet: exposes show it whole.
    Damage m_pending;
    bool m_pending_all = false;
    bool m_put_in_flight = false;
    bool m_unflushed = false; // requests that wait for the socket to be writable
    std::optional<unsigned int> m_put_marker; // the reply that ends a plain put
    std::chrono::steady_clock::time_point m_last_put{};
    std::FILE* m_log = nullptr;
    XcbReply<xcb_generic_event_t> m_waiting; // read by xcb while it wrote
};

X11Platform::X11Platform(const WindowTarget& target)
    : m_target(target), m_owned(target.own()), m_fullscreen(target.kind == WindowTarget::Kind::kFullScreenWindow) {
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

    // Everything the window needs to know, asked at once.
    xcb_prefetch_extension_data(c, &xcb_shm_id);
    xcb_prefetch_extension_data(c, &xcb_randr_id);
    xcb_prefetch_maximum_request_length(c);
    m_atoms = intern_atoms(c);
    xcb_screen_t* first = screen_of(c, 0);
    const auto resources = get_property(c, first->root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 65536);
    WindowManagerQuery window_manager(c, *m_screen, m_atoms);
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    std::optional<xcb_randr_get_screen_info_cookie_t> screen_info;
    if (randr && randr->present) screen_info = xcb_randr_get_screen_info(c, m_screen->root);

    const XcbReply<xcb_get_property_reply_t> resources_reply(xcb_get_property_reply(c, resources, nullptr));
    m_dpi = parse_xft_dpi(property_text(resources_reply.get())).value_or(kDefaultDpi);
    m_wm = window_manager.answer();
    if (screen_info) {
        const XcbReply<xcb_randr_get_screen_info_reply_t> info(xcb_randr_get_screen_info_reply(c, *screen_info, nullptr));
        if (info && info->rate > 0) m_frame_interval = std::chrono::nanoseconds(1'000'000'000 / info->rate);
    }
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    m_shm = shm && shm->present;
    m_shm_completion = m_shm ? shm->first_event + XCB_SHM_COMPLETION : -1;
    check_connection();
}

X11Platform::~X11Platform() {
    m_picture.reset();
    if (m_gc && !xcb_connection_has_error(m_c.get())) {
        xcb_free_gc(m_c.get(), m_gc);
        if (m_owned || m_desktop) xcb_destroy_window(m_c.get(), m_window);
        // The server may have stopped reading: leaving does not wait for it.
        if (server_reads()) xcb_flush(m_c.get());
    }
}

void X11Platform::check_connection() const {
    if (xcb_connection_has_error(m_c.get())) throw connection_broken(m_c.get());
}

void X11Platform::set_property(xcb_atom_t property, xcb_atom_t type, int format, std::size_t count,
                               const void* data) {
    xcb_change_property(m_c.get(), XCB_PROP_MODE_REPLACE, m_window, property, type, static_cast<std::uint8_t>(format),
                        static_cast<std::uint32_t>(count), data);
}

void X11Platform::create_window(const WindowSetup& setup) {
    if (!m_owned) {
        const QuitSignals::MayBlock may_block; // asking who owns the selection waits for the answer
        if (m_target.kind == WindowTarget::Kind::kRootWindow && compositing_manager_runs(m_c.get(), m_screen_number))
            make_desktop_window(setup);
        else
            adopt_window();
        return;
    }
    xcb_connection_t* c = m_c.get();
    m_window = xcb_generate_id(c);
    const std::uint32_t background = m_format.pixel(kBackground);
    const std::uint32_t events = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY |
                                 XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_VISIBILITY_CHANGE |
                                 XCB_EVENT_MASK_PROPERTY_CHANGE;
    std::vector<std::uint32_t> values{background, 0, XCB_GRAVITY_NORTH_WEST, events};
    std::uint32_t mask = XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_BIT_GRAVITY | XCB_CW_EVENT_MASK;
    if (m_visual.visual->visual_id != m_screen->root_visual) {
        // Another visual than the root's needs a colormap of its own.
        const xcb_colormap_t colormap = xcb_generate_id(c);
        xcb_create_colormap(c, XCB_COLORMAP_ALLOC_NONE, colormap, m_screen->root, m_visual.visual->visual_id);
        values.push_back(colormap);
        mask |= XCB_CW_COLORMAP;
    }
    xcb_create_window(c, m_visual.depth, m_window, m_screen->root, 0, 0, static_cast<std::uint16_t>(setup.width),
                      static_cast<std::uint16_t>(setup.height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      m_visual.visual->visual_id, mask, values.data());

    set_property(XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, setup.caption.size(), setup.caption.data());
    set_property(m_atoms.net_wm_name, m_atoms.utf8_string, 8, setup.caption.size(), setup.caption.data());
    // WM_CLASS: the instance name, then the class, each ending in a NUL.
    std::string wm_class(setup.app_id);
    wm_class += '\0';
    wm_class += "Rays";
    wm_class += '\0';
    set_property(XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, wm_class.size(), wm_class.data());
    set_property(m_atoms.wm_protocols, XCB_ATOM_ATOM, 32, 1, &m_atoms.wm_delete_window);
    const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
    set_property(m_atoms.net_wm_pid, XCB_ATOM_CARDINAL, 32, 1, &pid);
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0)
        set_property(XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 8, std::char_traits<char>::length(host), host);
    if (!setup.icon.empty())
        set_property(m_atoms.net_wm_icon, XCB_ATOM_CARDINAL, 32, setup.icon.size(), setup.icon.data());
    // WM_HINTS: input (the window takes the focus when clicked), initial
    // state normal.
    const std::uint32_t hints[9] = {1 | 2, 1, 1, 0, 0, 0, 0, 0, 0};
    set_property(XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
    set_size_hints(false);
    make_picture(setup.width, setup.height);
}

void X11Platform::adopt_window() {
    const QuitSignals::MayBlock may_block; // every request here waits for its answer
    xcb_connection_t* c = m_c.get();
    m_window = m_target.kind == WindowTarget::Kind::kRootWindow ? m_screen->root : m_target.window;
    const auto attributes_asked = xcb_get_window_attributes(c, m_window);
    const auto geometry_asked = xcb_get_geometry(c, m_window);
    const XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, attributes_asked, nullptr));
    const XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometry_asked, nullptr));
    check_connection();
    const std::string name = "window " + window_name(m_window);
    if (!attributes || !geometry) throw RuntimeError(name, "no such window on this display");
    // The window may be on another screen of the display than DISPLAY names.
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem > 0; xcb_screen_next(&it))
        if (it.data->root == geometry->root) m_screen = it.data;
    m_visual = visual_of(m_screen, attributes->visual);
    if (attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT || !m_visual.visual)
        throw RuntimeError(name, "cannot be drawn in: it needs a TrueColor visual of depth 15, 16, 24 or 30");
    m_format = pixel_format_of(c, m_visual);
    // An unviewable window (its parent unmapped) is drawn in all the same.
    m_mapped = attributes->map_state != XCB_MAP_STATE_UNMAPPED;

    const std::uint32_t events =
        XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_VISIBILITY_CHANGE;
    // Only one client may hear a window's button presses, and the one that
    // made it, or the window manager on the root, often does: then the
    // right-click is theirs and we go on without it.
    const std::uint32_t with_presses = events | XCB_EVENT_MASK_BUTTON_PRESS;
    const XcbReply<xcb_generic_error_t> refused(
        xcb_request_check(c, xcb_change_window_attributes_checked(c, m_window, XCB_CW_EVENT_MASK, &with_presses)));
    if (refused) xcb_change_window_attributes(c, m_window, XCB_CW_EVENT_MASK, &events);
    make_picture(geometry->width, geometry->height);
}

void X11Platform::make_desktop_window(const WindowSetup& setup) {
    const QuitSignals::MayBlock may_block; // the atoms and the extension's version wait for their answers
    xcb_connection_t* c = m_c.get();
    m_desktop = true;
    bool input_passes = false;
    const std::uint32_t events =
        XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_VISIBILITY_CHANGE;
    m_window = runtime::make_desktop_window(c, *m_screen, m_atoms, m_visual,
                                            {setup.caption, setup.app_id, m_format.pixel(kBackground), events},
                                            input_passes);
    set_property(m_atoms.wm_protocols, XCB_ATOM_ATOM, 32, 1, &m_atoms.wm_delete_window);
    const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
    set_property(m_atoms.net_wm_pid, XCB_ATOM_CARDINAL, 32, 1, &pid);
    // The clicks that pass through reach the root, where we hear them as on
    // the root itself, unless the window manager already takes them there.
    // Refused, the right-click is the window manager's and we go on without.
    const std::uint32_t presses = XCB_EVENT_MASK_BUTTON_PRESS;
    const XcbReply<xcb_generic_error_t> refused(
        xcb_request_check(c, xcb_change_window_attributes_checked(c, input_passes ? m_screen->root : m_window,
                                                                  XCB_CW_EVENT_MASK, &presses)));
    make_picture(m_screen->width_in_pixels, m_screen->height_in_pixels);
}

void X11Platform::make_picture(int width, int height) {
    xcb_connection_t* c = m_c.get();
    m_gc = xcb_generate_id(c);
    const std::uint32_t no_exposures = 0;
    xcb_create_gc(c, m_gc, m_window, XCB_GC_GRAPHICS_EXPOSURES, &no_exposures);
    {
        const QuitSignals::MayBlock may_block; // the shared memory is attached with a round trip
        m_picture = std::make_unique<X11Picture>(c, m_window, m_gc, m_format, m_screen->width_in_pixels,
                                                 m_screen->height_in_pixels, m_shm);
    }
    m_picture->resize(width, height, kBackground);
    check_connection();
}

void X11Platform::set_size_hints(bool position_given) {
    // WM_NORMAL_HINTS: with the position given by us (USPosition, USSize), a
    // window manager places the window there instead of asking the user.
    std::uint32_t hints[18] = {};
    if (position_given) {
        const PixelRect area = m_fullscreen ? PixelRect{0, 0, m_screen->width_in_pixels, m_screen->height_in_pixels}
                                            : m_wm.work_area;
        hints[0] = 1 | 2; // USPosition | USSize
        hints[1] = static_cast<std::uint32_t>(area.x);
        hints[2] = static_cast<std::uint32_t>(area.y);
        hints[3] = static_cast<std::uint32_t>(area.w);
        hints[4] = static_cast<std::uint32_t>(area.h);
    }
    set_property(XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
}

void X11Platform::cover_work_area() {
    // Full screen, the whole screen: no window manager reserves any of it.
    const PixelRect area =
        m_fullscreen ? PixelRect{0, 0, m_screen->width_in_pixels, m_screen->height_in_pixels} : m_wm.work_area;
    const std::uint32_t geometry[4] = {static_cast<std::uint32_t>(area.x), static_cast<std::uint32_t>(area.y),
                                       static_cast<std::uint32_t>(area.w), static_cast<std::uint32_t>(area.h)};
    xcb_configure_window(m_c.get(), m_window,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         geometry);
    set_size_hints(true);
}

std::vector<xcb_atom_t> X11Platform::wm_states(int state) const {
    if (state == kMinimised) return {};
    if (m_fullscreen) return {m_atoms.net_wm_state_fullscreen};
    if (state == kMaximised) return {m_atoms.net_wm_state_maximized_vert, m_atoms.net_wm_state_maximized_horz};
    return {};
}

bool X11Platform::wm_shows(int state) const {
    if (m_fullscreen && state != kMinimised) return m_wm.fullscreens;
    return m_wm.maximises;
}

void X11Platform::send_wm_state(bool add, const std::vector<xcb_atom_t>& states) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = m_window;
    message.type = m_atoms.net_wm_state;
    message.data.data32[0] = add ? 1 : 0; // _NET_WM_STATE_ADD or _REMOVE
    message.data.data32[1] = states.size() > 0 ? states[0] : 0;
    message.data.data32[2] = states.size() > 1 ? states[1] : 0;
    message.data.data32[3] = 1; // from an application
    xcb_send_event(m_c.get(), 0, m_screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
}

Status X11Platform::set_window_state(int state) {
    if (state != kNormal && state != kMinimised && state != kMaximised) return Status::failure("unknown window state");
    // How a lent window is shown is for the program that made it.
    if (!m_owned) return Status::ok();
    const std::vector<xcb_atom_t> states = wm_states(state);
    if (!m_shown) {
        // Before the window is first shown: its properties say how to show
        // it, to the window manager there is and to one that comes later.
        set_property(m_atoms.net_wm_state, XCB_ATOM_ATOM, 32, states.size(), states.data());
        if (!states.empty() && !wm_shows(state)) cover_work_area();
        const std::uint32_t hints[9] = {1 | 2, 1, state == kMinimised ? 3u : 1u, 0, 0, 0, 0, 0, 0};
        set_property(XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
    } else if (state == kMinimised) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = m_window;
        message.type = m_atoms.wm_change_state;
        message.data.data32[0] = 3; // IconicState
        xcb_send_event(m_c.get(), 0, m_screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&message));
    } else if (wm_shows(state)) {
        if (m_fullscreen) send_wm_state(true, states);
        else send_wm_state(state == kMaximised, wm_states(kMaximised));
    } else if (!states.empty()) {
        cover_work_area();
    }
    m_state = state;
    return Status::ok();
}

void X11Platform::window_manager_arrived() {
    // One round trip, once for each window manager that comes: it finds
    // what the new one offers.
    {
        const QuitSignals::MayBlock may_block;
        m_wm = WindowManagerQuery(m_c.get(), *m_screen, m_atoms).answer();
    }
    check_connection();
    // It takes the window on with the state its property asks for; one
    // that already has it is asked again.
    const std::vector<xcb_atom_t> states = wm_states(m_state);
    if (states.empty() || !wm_shows(m_state)) return;
    set_property(m_atoms.net_wm_state, XCB_ATOM_ATOM, 32, states.size(), states.data());
    send_wm_state(true, states);
}

void X11Platform::show() {
    m_shown = true;
    if (m_owned) {
        // From now on a window manager that comes later is seen arriving.
        watch_for_window_managers(m_c.get(), m_screen->root);
        xcb_map_window(m_c.get(), m_window);
        flush();
    } else if (m_desktop) {
        map_desktop_window(m_c.get(), m_window);
        flush();
    }
    m_picture->fill(kBackground);
}

bool X11Platform::server_reads() const {
    // A server that has stopped (SIGSTOP, a debugger) stops reading; writing
    // to it would block once the socket is full. Until it reads again the
    // picture is held back, and the program goes on.
    pollfd connection{xcb_get_file_descriptor(m_c.get()), POLLOUT, 0};
    return poll(&connection, 1, 0) == 1 && (connection.revents & POLLOUT);
}

void X11Platform::flush() {
    // xcb waits for the socket to be writable before each write, and the
    // kernel says it is only while a quarter of its buffer is used; once it
    // takes a write it takes all of it. So a flush made while it is
    // writable never waits, and one that would is left for when it is.
    m_unflushed = !server_reads();
    if (!m_unflushed) xcb_flush(m_c.get());
    check_connection();
}

void X11Platform::present(const Damage& damage) {
    if (m_pending.size() + damage.size() > Damage::kMaxRects) m_pending_all = true;
    if (!m_pending_all)
        for (const PixelRect& r : damage) m_pending.add(r);
    put_pending();
}

void X11Platform::present_all() {
    m_pending_all = true;
    put_pending();
}

void X11Platform::put_pending() {
    if (m_put_in_flight || (!m_pending_all && m_pending.empty())) return;
    if (!server_reads()) return; // held back until the server reads
    if (m_pending_all) {
        m_pending.clear();
        m_pending.add({0, 0, m_picture->picture().width, m_picture->picture().height});
    }
    const bool started = m_picture->start_put(m_pending);
    m_pending.clear();
    m_pending_all = false;
    if (!started) return; // all of it beyond a window grown small
    m_put_in_flight = true;
    m_last_put = std::chrono::steady_clock::now();
    if (m_log)
        std::fprintf(m_log, "put %lld\n",
                     static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                m_last_put.time_since_epoch())
                                                .count()));
    if (m_picture->shared()) flush();
    else write_pieces();
}

void X11Platform::write_pieces() {
    // A piece at a time, each while the socket is writable, so that the
    // write it makes is taken whole (see flush()).
    while (m_picture->pieces_left() && server_reads()) {
        m_picture->write_piece();
        if (!m_picture->pieces_left()) m_put_marker = xcb_get_input_focus(m_c.get()).sequence;
        flush();
    }
}

void X11Platform::check_put_done() {
    if (!m_put_marker) return;
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (xcb_poll_for_reply(m_c.get(), *m_put_marker, &reply, &error) == 0) return;
    std::free(reply);
    std::free(error);
    m_put_marker.reset();
    m_put_in_flight = false;
}

void X11Platform::window_gone(WindowEvents& events) const {
    // A lent window going is how a screen saver's hack is usually told to
    // stop: that ends the program as closing it would.
    if (m_owned || m_desktop) throw RuntimeError("window", "destroyed by another program");
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

void X11Platform::fit_frame_on_screen() {
    // A window manager without EWMH (twm) put a frame round the window at
    // the work area's corner: the frame's title pushes the window down and
    // off the screen. One round trip finds where the window landed.
    const QuitSignals::MayBlock may_block;
    xcb_connection_t* c = m_c.get();
    const XcbReply<xcb_translate_coordinates_reply_t> at(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, m_window, m_screen->root, 0, 0), nullptr));
    const XcbReply<xcb_get_geometry_reply_t> size(xcb_get_geometry_reply(c, xcb_get_geometry(c, m_window), nullptr));
    if (!at || !size) return;
    const int right = m_wm.work_area.x + m_wm.work_area.w, bottom = m_wm.work_area.y + m_wm.work_area.h;
    const int w = std::max(1, std::min<int>(size->width, right - at->dst_x));
    const int h = std::max(1, std::min<int>(size->height, bottom - at->dst_y));
    if (w == size->width && h == size->height) return;
    const std::uint32_t fitted[2] = {static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h)};
    xcb_configure_window(c, m_window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, fitted);
}

void X11Platform::handle(const xcb_generic_event_t& event, WindowEvents& events) {
    if (m_owned && announces_window_manager(event, m_screen->root, m_atoms)) {
        m_wm_announced = true;
        return;
    }
    if ((event.response_type & 0x7F) == m_shm_completion) {
        m_put_in_flight = false;
        return;
    }
    switch (event.response_type & 0x7F) {
    case 0: fail_on_error(reinterpret_cast<const xcb_generic_error_t&>(event), events); break;
    // Exposed pixels are damage like any other: shown whole with the next
    // put, however many exposes came.
    case XCB_EXPOSE: m_pending_all = true; break;
    case XCB_MAP_NOTIFY: m_mapped = true; m_pending_all = true; break;
    case XCB_UNMAP_NOTIFY: m_mapped = false; break;
    case XCB_VISIBILITY_NOTIFY:
        m_obscured = reinterpret_cast<const xcb_visibility_notify_event_t&>(event).state ==
                     XCB_VISIBILITY_FULLY_OBSCURED;
        break;
    case XCB_CONFIGURE_NOTIFY: {
        const auto& configure = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
        if (configure.window == m_window && m_picture->resize(configure.width, configure.height, kBackground))
            events.picture_changed();
        break;
    }
    case XCB_REPARENT_NOTIFY:
        if (!wm_states(m_state).empty() && !wm_shows(m_state) &&
            reinterpret_cast<const xcb_reparent_notify_event_t&>(event).parent != m_screen->root)
            fit_frame_on_screen();
        break;
    case XCB_DESTROY_NOTIFY:
        if (reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window == m_window) window_gone(events);
        break;
    case XCB_BUTTON_PRESS: {
        const auto& press = reinterpret_cast<const xcb_button_press_event_t&>(event);
        if (const std::int16_t code = button_code(press.detail); code != 0)
            events.mouse_down(code, shift_state(press.state), press.event_x, press.event_y);
        break;
    }
    case XCB_PROPERTY_NOTIFY: {
        const auto& property = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (property.window == m_window && property.atom == m_atoms.net_wm_state) ask_wm_state();
        break;
    }
    case XCB_CLIENT_MESSAGE: {
        const auto& message = reinterpret_cast<const xcb_client_message_event_t&>(event);
        if (message.type == m_atoms.wm_protocols && message.format == 32 &&
            message.data.data32[0] == m_atoms.wm_delete_window)
            events.close_requested();
        break;
    }
    default: break;
    }
}

void X11Platform::ask_wm_state() {
    // Its reply is taken when it comes, never waited for.
    xcb_connection_t* c = m_c.get();
    if (m_wm_state_asked) xcb_discard_reply(c, *m_wm_state_asked);
    m_wm_state_asked = xcb_get_property(c, 0, m_window, m_atoms.net_wm_state, XCB_ATOM_ATOM, 0, 64).sequence;
}

bool X11Platform::take_wm_state() {
    if (!m_wm_state_asked) return false;
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (!xcb_poll_for_reply(m_c.get(), *m_wm_state_asked, &reply, &error)) return false;
    m_wm_state_asked.reset();
    const XcbReply<xcb_get_property_reply_t> state(static_cast<xcb_get_property_reply_t*>(reply));
    const XcbReply<xcb_generic_error_t> failed(error); // the window is gone: DestroyNotify says so
    const std::vector<std::uint32_t> atoms = property_cardinals(state.get());
    m_wm_hidden = std::find(atoms.begin(), atoms.end(), m_atoms.net_wm_state_hidden) != atoms.end();
    return true;
}

bool X11Platform::prepare_wait() {
    write_pieces();
    flush();
    // xcb reads whatever has arrived while it writes: such events and
    // replies are already off the socket, and poll() would not wake for them.
    const bool state_came = take_wm_state();
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
    take_wm_state();
    check_connection();
    if (m_wm_announced) {
        m_wm_announced = false;
        window_manager_arrived();
    }
    check_put_done();
    write_pieces();
    // Damage waits for the loop's next present, once a frame at most. An
    // expose or held-back damage that no present carries (nothing drawn
    // for a while) goes on its own, no more often than every other frame.
    if (visible() && std::chrono::steady_clock::now() - m_last_put >= 2 * m_frame_interval) put_pending();
}

} // namespace

std::unique_ptr<Platform> open_x11_platform(const WindowTarget& target) {
    return std::make_unique<X11Platform>(target);
}

} // namespace runtime
