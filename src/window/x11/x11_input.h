// The user's input on X11 as the form takes it: presses of the pointer's
// buttons, in the form's codes, and the window manager asking the window
// to close (WM_DELETE_WINDOW).
#pragma once

#include "window/platform.h"
#include "window/x11/x11_connection.h"

#include <xcb/xcb.h>

namespace runtime {

// Tells `events` what `event` means to the form, if it is input; false for
// other events.
bool deliver_input(const xcb_generic_event_t& event, const Atoms& atoms, WindowEvents& events);

} // namespace runtime
