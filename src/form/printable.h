// Text from outside (a file name, an argument, a display name) made safe to
// put in a message: control characters would forge lines or reach the
// terminal as commands, so they and bytes that are not UTF-8 are written as
// escapes (\n, \t, \xNN), and a backslash as \\. Everything else, including
// any other language's letters, stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace runtime {

std::string printable(std::string_view text);

} // namespace runtime
