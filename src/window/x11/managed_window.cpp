#include "window/x11/managed_window.h"

#include "window/quit_signals.h"
#include "window/x11/window_properties.h"

#include <xcb/xcbext.h> // xcb_poll_for_reply

#include <algorithm>
#include <string>
#include <unistd.h>

namespace runtime {

ManagedWindow::ManagedWindow(xcb_connection_t* c, const xcb_screen_t& screen, const Atoms& atoms,
                             const WindowManager& wm, bool fullscreen)
    : m_c(c), m_screen(screen), m_atoms(atoms), m_fullscreen(fullscreen), m_wm(wm) {}

void ManagedWindow::set_property(xcb_atom_t property, xcb_atom_t type, int format, std::size_t count,
                                 const void* data) {
    runtime::set_property(m_c, m_window, property, type, format, count, data);
}

xcb_window_t ManagedWindow::create(const WindowSetup& setup, const ChosenVisual& visual, std::uint32_t background) {
    const std::uint32_t events = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY |
                                 XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_VISIBILITY_CHANGE |
                                 XCB_EVENT_MASK_PROPERTY_CHANGE;
    m_window = create_window_in(m_c, m_screen, visual, static_cast<std::uint16_t>(setup.width),
                                static_cast<std::uint16_t>(setup.height), background, events);
    set_client_properties(m_c, m_window, m_atoms, setup.caption, setup.app_id);
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
    return m_window;
}

void ManagedWindow::set_size_hints(bool position_given) {
    // WM_NORMAL_HINTS: with the position given by us (USPosition, USSize), a
    // window manager places the window there instead of asking the user.
    std::uint32_t hints[18] = {};
    if (position_given) {
        const PixelRect area = m_fullscreen ? PixelRect{0, 0, m_screen.width_in_pixels, m_screen.height_in_pixels}
                                            : m_wm.work_area;
        hints[0] = 1 | 2; // USPosition | USSize
        hints[1] = static_cast<std::uint32_t>(area.x);
        hints[2] = static_cast<std::uint32_t>(area.y);
        hints[3] = static_cast<std::uint32_t>(area.w);
        hints[4] = static_cast<std::uint32_t>(area.h);
    }
    set_property(XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
}

void ManagedWindow::cover_work_area() {
    // Full screen, the whole screen: no window manager reserves any of it.
    const PixelRect area =
        m_fullscreen ? PixelRect{0, 0, m_screen.width_in_pixels, m_screen.height_in_pixels} : m_wm.work_area;
    const std::uint32_t geometry[4] = {static_cast<std::uint32_t>(area.x), static_cast<std::uint32_t>(area.y),
                                       static_cast<std::uint32_t>(area.w), static_cast<std::uint32_t>(area.h)};
    xcb_configure_window(m_c, m_window,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         geometry);
    set_size_hints(true);
}

void ManagedWindow::fit_frame_on_screen() {
    // A window manager without EWMH (twm) put a frame round the window at
    // the work area's corner: the frame's title pushes the window down and
    // off the screen. One round trip finds where the window landed.
    const QuitSignals::MayBlock may_block;
    const XcbReply<xcb_translate_coordinates_reply_t> at(xcb_translate_coordinates_reply(
        m_c, xcb_translate_coordinates(m_c, m_window, m_screen.root, 0, 0), nullptr));
    const XcbReply<xcb_get_geometry_reply_t> size(
        xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, m_window), nullptr));
    if (!at || !size) return;
    const int right = m_wm.work_area.x + m_wm.work_area.w, bottom = m_wm.work_area.y + m_wm.work_area.h;
    const int w = std::max(1, std::min<int>(size->width, right - at->dst_x));
    const int h = std::max(1, std::min<int>(size->height, bottom - at->dst_y));
    if (w == size->width && h == size->height) return;
    const std::uint32_t fitted[2] = {static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h)};
    xcb_configure_window(m_c, m_window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, fitted);
}

std::vector<xcb_atom_t> ManagedWindow::wm_states(int state) const {
    if (state == kMinimised) return {};
    if (m_fullscreen) return {m_atoms.net_wm_state_fullscreen};
    if (state == kMaximised) return {m_atoms.net_wm_state_maximized_vert, m_atoms.net_wm_state_maximized_horz};
    return {};
}

bool ManagedWindow::wm_shows(int state) const {
    if (m_fullscreen && state != kMinimised) return m_wm.fullscreens;
    return m_wm.maximises;
}

void ManagedWindow::send_wm_state(bool add, const std::vector<xcb_atom_t>& states) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = m_window;
    message.type = m_atoms.net_wm_state;
    message.data.data32[0] = add ? 1 : 0; // _NET_WM_STATE_ADD or _REMOVE
    message.data.data32[1] = states.size() > 0 ? states[0] : 0;
    message.data.data32[2] = states.size() > 1 ? states[1] : 0;
    message.data.data32[3] = 1; // from an application
    xcb_send_event(m_c, 0, m_screen.root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
}

void ManagedWindow::set_state(int state) {
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
        xcb_send_event(m_c, 0, m_screen.root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&message));
    } else if (wm_shows(state)) {
        if (m_fullscreen) send_wm_state(true, states);
        else send_wm_state(state == kMaximised, wm_states(kMaximised));
    } else if (!states.empty()) {
        cover_work_area();
    }
    m_state = state;
}

void ManagedWindow::map() {
    m_shown = true;
    watch_for_window_managers(m_c, m_screen.root);
    xcb_map_window(m_c, m_window);
}

bool ManagedWindow::handle(const xcb_generic_event_t& event) {
    if (announces_window_manager(event, m_screen.root, m_atoms)) {
        m_wm_announced = true;
        return true;
    }
    switch (event.response_type & 0x7F) {
    case XCB_REPARENT_NOTIFY:
        if (!wm_states(m_state).empty() && !wm_shows(m_state) &&
            reinterpret_cast<const xcb_reparent_notify_event_t&>(event).parent != m_screen.root)
            fit_frame_on_screen();
        return true;
    case XCB_PROPERTY_NOTIFY: {
        const auto& property = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (property.window == m_window && property.atom == m_atoms.net_wm_state) ask_wm_state();
        return true;
    }
    default: return false;
    }
}

void ManagedWindow::ask_wm_state() {
    // Its reply is taken when it comes, never waited for.
    if (m_state_asked) xcb_discard_reply(m_c, *m_state_asked);
    m_state_asked = xcb_get_property(m_c, 0, m_window, m_atoms.net_wm_state, XCB_ATOM_ATOM, 0, 64).sequence;
}

bool ManagedWindow::take_state() {
    if (!m_state_asked) return false;
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (!xcb_poll_for_reply(m_c, *m_state_asked, &reply, &error)) return false;
    m_state_asked.reset();
    const XcbReply<xcb_get_property_reply_t> state(static_cast<xcb_get_property_reply_t*>(reply));
    const XcbReply<xcb_generic_error_t> failed(error); // the window is gone: DestroyNotify says so
    const std::vector<std::uint32_t> atoms = property_cardinals(state.get());
    m_hidden = std::find(atoms.begin(), atoms.end(), m_atoms.net_wm_state_hidden) != atoms.end();
    return true;
}

void ManagedWindow::follow_window_manager() {
    if (!m_wm_announced) return;
    m_wm_announced = false;
    // One round trip, once for each window manager that comes: it finds
    // what the new one offers.
    {
        const QuitSignals::MayBlock may_block;
        m_wm = WindowManagerQuery(m_c, m_screen, m_atoms).answer();
    }
    check_connection(m_c);
    // It takes the window on with the state its property asks for; one
    // that already has it is asked again.
    const std::vector<xcb_atom_t> states = wm_states(m_state);
    if (states.empty() || !wm_shows(m_state)) return;
    set_property(m_atoms.net_wm_state, XCB_ATOM_ATOM, 32, states.size(), states.data());
    send_wm_state(true, states);
}

} // namespace runtime
