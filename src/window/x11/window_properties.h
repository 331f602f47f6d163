// Window properties, the way X windows talk to the window manager and to
// each other: a reply's values read, a property replaced, and the ones every
// window of ours carries (ICCCM and EWMH).
#pragma once

#include "window/x11/x11_connection.h"

#include <xcb/xcb.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace runtime {

// A property's 32-bit values (atoms, windows, cardinals); none when it is
// missing or of another format.
std::vector<std::uint32_t> property_cardinals(const xcb_get_property_reply_t* reply);

// A property's text; empty when it is missing or not text.
std::string property_text(const xcb_get_property_reply_t* reply);

// Replaces `property` of `window` with `count` values of `format` bits.
void set_property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property, xcb_atom_t type, int format,
                  std::size_t count, const void* data);

// What a window of ours says of itself: its title, its class (the instance
// `app_id`, the class "Rays"), the closing it takes part in
// (WM_DELETE_WINDOW) and the process behind it.
void set_client_properties(xcb_connection_t* c, xcb_window_t window, const Atoms& atoms, std::string_view caption,
                           std::string_view app_id);

} // namespace runtime
