#include "window/x11/window_manager.h"

#include "window/x11/window_properties.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace runtime {

WindowManagerQuery::WindowManagerQuery(xcb_connection_t* c, const xcb_screen_t& screen, const Atoms& atoms)
    : m_c(c), m_screen{0, 0, screen.width_in_pixels, screen.height_in_pixels}, m_atoms(atoms),
      m_check(xcb_get_property(c, 0, screen.root, atoms.net_supporting_wm_check, XCB_ATOM_WINDOW, 0, 1)),
      m_supported(xcb_get_property(c, 0, screen.root, atoms.net_supported, XCB_ATOM_ATOM, 0, 4096)),
      m_workarea(xcb_get_property(c, 0, screen.root, atoms.net_workarea, XCB_ATOM_CARDINAL, 0, 4)) {}

WindowManager WindowManagerQuery::answer() {
    const XcbReply<xcb_get_property_reply_t> check(xcb_get_property_reply(m_c, m_check, nullptr));
    const XcbReply<xcb_get_property_reply_t> supported(xcb_get_property_reply(m_c, m_supported, nullptr));
    const XcbReply<xcb_get_property_reply_t> workarea(xcb_get_property_reply(m_c, m_workarea, nullptr));
    WindowManager wm{.work_area = m_screen};
    const std::vector<std::uint32_t> checked = property_cardinals(check.get());
    const std::vector<std::uint32_t> atoms = property_cardinals(supported.get());
    // No check window: no EWMH window manager, whatever _NET_SUPPORTED says.
    if (!checked.empty() && checked[0] != 0) {
        auto offers = [&](xcb_atom_t atom) { return std::find(atoms.begin(), atoms.end(), atom) != atoms.end(); };
        wm.maximises = offers(m_atoms.net_wm_state_maximized_vert) && offers(m_atoms.net_wm_state_maximized_horz);
        wm.fullscreens = offers(m_atoms.net_wm_state_fullscreen);
    }
    const std::vector<std::uint32_t> area = property_cardinals(workarea.get());
    if (area.size() >= 4 && area[2] > 0 && area[3] > 0) {
        // A work area is within the screen; anything else is not believed.
        // Compared as the unsigned values they are, so that none wraps.
        const auto within = [](std::uint32_t at, std::uint32_t size, int screen) {
            return std::uint64_t{at} + size <= static_cast<std::uint64_t>(screen);
        };
        if (within(area[0], area[2], m_screen.w) && within(area[1], area[3], m_screen.h))
            wm.work_area = {static_cast<int>(area[0]), static_cast<int>(area[1]), static_cast<int>(area[2]),
                            static_cast<int>(area[3])};
    }
    return wm;
}

void watch_for_window_managers(xcb_connection_t* c, xcb_window_t root) {
    // Each client has its own event mask on the root: this one adds to no
    // other client's, the window manager's included.
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &events);
}

bool announces_window_manager(const xcb_generic_event_t& event, xcb_window_t root, const Atoms& atoms) {
    if ((event.response_type & 0x7F) != XCB_PROPERTY_NOTIFY) return false;
    const auto& property = reinterpret_cast<const xcb_property_notify_event_t&>(event);
    // A window manager names its check window first and lists what it
    // supports after: each is a reason to look again.
    return property.window == root && property.state == XCB_PROPERTY_NEW_VALUE &&
           (property.atom == atoms.net_supporting_wm_check || property.atom == atoms.net_supported);
}

} // namespace runtime
