// The connection to an X server through xcb: owning handles, the atoms the
// window needs, and failures put in the program's own words.
#pragma once

#include "form/status.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace runtime {

struct XcbDisconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

// Replies, events and errors are malloc'ed by xcb and freed by the caller.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

// Connects to the display that DISPLAY names. `screen` receives the screen
// it names (":0.1" is screen 1). Raises the run-time error with the reason
// when no connection is made; what the server says when it refuses us is
// passed on in our message, never printed raw.
XcbConnection connect_to_display(int& screen);

// The run-time error for a connection that xcb has closed: lost, or closed
// for a reason of its own.
RuntimeError connection_broken(xcb_connection_t* c);

// Raises connection_broken() once xcb has closed the connection.
void check_connection(xcb_connection_t* c);

// Whether the socket takes a write now. A server that has stopped (SIGSTOP,
// a debugger) stops reading, and writing to it would block once the socket
// is full.
bool server_reads(xcb_connection_t* c);

struct Atoms {
    xcb_atom_t wm_protocols, wm_delete_window, wm_change_state, utf8_string, net_wm_name, net_wm_icon,
        net_wm_pid, net_wm_state, net_wm_state_maximized_vert, net_wm_state_maximized_horz,
        net_wm_state_hidden, net_supported, net_supporting_wm_check, net_workarea, net_wm_state_fullscreen;
};

// Sends the requests for every atom at once, then collects the answers: one
// round trip.
Atoms intern_atoms(xcb_connection_t* c);

// An X error about one of our requests, in the program's own words.
std::string describe_x_error(const xcb_generic_error_t& error);

} // namespace runtime
