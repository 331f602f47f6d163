#include "window/x11/window_properties.h"

#include <unistd.h>

namespace runtime {

std::vector<std::uint32_t> property_cardinals(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 32) return {};
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    return {values, values + xcb_get_property_value_length(reply) / 4};
}

std::string property_text(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 8) return {};
    return {static_cast<const char*>(xcb_get_property_value(reply)),
            static_cast<std::size_t>(xcb_get_property_value_length(reply))};
}

void set_property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property, xcb_atom_t type, int format,
                  std::size_t count, const void* data) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, property, type, static_cast<std::uint8_t>(format),
                        static_cast<std::uint32_t>(count), data);
}

void set_client_properties(xcb_connection_t* c, xcb_window_t window, const Atoms& atoms, std::string_view caption,
                           std::string_view app_id) {
    set_property(c, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, caption.size(), caption.data());
    set_property(c, window, atoms.net_wm_name, atoms.utf8_string, 8, caption.size(), caption.data());
    // WM_CLASS: the instance name, then the class, each ending in a NUL.
    std::string wm_class(app_id);
    wm_class += '\0';
    wm_class += "Rays";
    wm_class += '\0';
    set_property(c, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, wm_class.size(), wm_class.data());
    set_property(c, window, atoms.wm_protocols, XCB_ATOM_ATOM, 32, 1, &atoms.wm_delete_window);
    const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
    set_property(c, window, atoms.net_wm_pid, XCB_ATOM_CARDINAL, 32, 1, &pid);
}

} // namespace runtime
