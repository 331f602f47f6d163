// A broken Wayland connection in the program's own words.
//
// libwayland prints what goes wrong (a compositor's protocol error with its
// message) on stderr itself; its log is taken instead, so that the message
// reaches the user once, inside our run-time error.
#pragma once

#include "form/status.h"

#include <wayland-client.h>

namespace runtime {

// From now on libwayland's log lines are kept, not printed.
void keep_wayland_log();

// The run-time error for a connection that failed: the compositor's protocol
// error with its message, or the connection lost.
RuntimeError connection_failure(wl_display* display);

} // namespace runtime
