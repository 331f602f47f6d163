// What the program does when its X server goes away.
#pragma once

namespace runtime {

// From now on a lost connection to the X server ends the program at once
// with the run-time error, instead of Xlib's own message.
void exit_when_x_connection_is_lost();

} // namespace runtime
