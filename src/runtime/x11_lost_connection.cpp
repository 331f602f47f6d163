#include "runtime/x11_lost_connection.h"

#include <X11/Xlib.h>

#include <unistd.h>

namespace runtime {
namespace {

// Xlib calls this with the connection already dead and expects it not to
// return; nothing may talk to the server any more, so no cleanup either.
int on_lost_connection(Display*) {
    static constexpr char kMessage[] = "rays: run-time error: X server: connection lost\n";
    (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    _exit(1);
}

} // namespace

void exit_when_x_connection_is_lost() { XSetIOErrorHandler(on_lost_connection); }

} // namespace runtime
