#include "window/x11/desktop_window.h"

#include "window/x11/window_properties.h"

#include <xcb/shape.h>
#include <xcb/xfixes.h>

#include <array>
#include <cstdint>
#include <string>

namespace runtime {
namespace {

xcb_atom_t atom(xcb_connection_t* c, xcb_intern_atom_cookie_t cookie) {
    const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

xcb_intern_atom_cookie_t ask_atom(xcb_connection_t* c, std::string_view name) {
    return xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.data());
}

// An empty input shape: the window takes no pointer input at all.
bool let_input_pass(xcb_connection_t* c, xcb_window_t window) {
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    const xcb_query_extension_reply_t* shape = xcb_get_extension_data(c, &xcb_shape_id);
    if (!xfixes || !xfixes->present || !shape || !shape->present) return false;
    // The client says which version it speaks before its first request.
    const XcbReply<xcb_xfixes_query_version_reply_t> version(
        xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 2, 0), nullptr));
    if (!version || version->major_version < 2) return false;
    const xcb_xfixes_region_t nothing = xcb_generate_id(c);
    xcb_xfixes_create_region(c, nothing, 0, nullptr);
    xcb_xfixes_set_window_shape_region(c, window, XCB_SHAPE_SK_INPUT, 0, 0, nothing);
    xcb_xfixes_destroy_region(c, nothing);
    return true;
}

} // namespace

bool compositing_manager_runs(xcb_connection_t* c, int screen_number) {
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen_number);
    const xcb_atom_t selection = atom(c, ask_atom(c, name));
    if (selection == XCB_ATOM_NONE) return false;
    const XcbReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

xcb_window_t make_desktop_window(xcb_connection_t* c, const xcb_screen_t& screen, const Atoms& atoms,
                                 const ChosenVisual& visual, const DesktopWindowSetup& setup) {
    xcb_prefetch_extension_data(c, &xcb_xfixes_id);
    xcb_prefetch_extension_data(c, &xcb_shape_id);
    static constexpr std::array<std::string_view, 7> kNames = {
        "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_STATE_BELOW", "_NET_WM_STATE_STICKY",
        "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_DESKTOP"};
    std::array<xcb_intern_atom_cookie_t, kNames.size()> asked;
    for (std::size_t i = 0; i < kNames.size(); ++i) asked[i] = ask_atom(c, kNames[i]);
    std::array<xcb_atom_t, kNames.size()> named{};
    for (std::size_t i = 0; i < kNames.size(); ++i) named[i] = atom(c, asked[i]);
    const auto [window_type, type_desktop, below, sticky, skip_taskbar, skip_pager, wm_desktop] = named;

    const xcb_window_t window = create_window_in(c, screen, visual, screen.width_in_pixels,
                                                 screen.height_in_pixels, setup.background, setup.events);
    set_client_properties(c, window, atoms, setup.caption, setup.app_id);
    set_property(c, window, window_type, XCB_ATOM_ATOM, 32, 1, &type_desktop);
    const xcb_atom_t states[4] = {below, sticky, skip_taskbar, skip_pager};
    set_property(c, window, atoms.net_wm_state, XCB_ATOM_ATOM, 32, 4, states);
    const std::uint32_t every_desktop = 0xFFFFFFFF;
    set_property(c, window, wm_desktop, XCB_ATOM_CARDINAL, 32, 1, &every_desktop);
    // WM_HINTS: no input focus, shown normally. WM_NORMAL_HINTS: placed and
    // sized by us (USPosition, USSize, PPosition, PSize), at the corner.
    const std::uint32_t hints[9] = {1 | 2, 0, 1, 0, 0, 0, 0, 0, 0};
    set_property(c, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
    std::uint32_t size_hints[18] = {1 | 2 | 4 | 8, 0, 0, screen.width_in_pixels, screen.height_in_pixels};
    set_property(c, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, size_hints);
    const bool input_passes = let_input_pass(c, window);
    // The clicks that pass through reach the root, where we hear them as on
    // the root itself; otherwise the window hears them besides its events.
    const std::uint32_t presses = XCB_EVENT_MASK_BUTTON_PRESS | (input_passes ? 0 : setup.events);
    const XcbReply<xcb_generic_error_t> refused(xcb_request_check(
        c, xcb_change_window_attributes_checked(c, input_passes ? screen.root : window, XCB_CW_EVENT_MASK, &presses)));
    return window;
}

void map_desktop_window(xcb_connection_t* c, xcb_window_t window) {
    xcb_map_window(c, window);
    // Without a window manager nothing else puts it below the others.
    const std::uint32_t below = XCB_STACK_MODE_BELOW;
    xcb_configure_window(c, window, XCB_CONFIG_WINDOW_STACK_MODE, &below);
}

} // namespace runtime
