// Reaching the compositor: the connection, and its first answer.
#pragma once

#include "window/wayland/wayland_handles.h"

#include <wayland-client.h>

namespace runtime {

// The connection to the compositor WAYLAND_DISPLAY names, or the run-time
// error that says why there is none (the system's reason where it ran out
// of descriptors or memory).
WlDisplay connect_wayland_display();

// Waits for the compositor to answer what was asked so far, as
// wl_display_roundtrip() does, but no longer than two seconds: a socket that
// accepts and never answers (a stopped compositor, something else
// listening) is given up with a run-time error, and the program can go on
// with X where there is one.
void await_first_answer(wl_display* display);

} // namespace runtime
