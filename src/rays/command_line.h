// What `rays` makes of its command line.
//
// Kept apart from main() and free of I/O so that every answer can be checked
// without starting the program: main() only prints what it is told and exits
// with the status it is given, or runs the animation.
#pragma once

#include "window/window_target.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace rays {

// The version that `rays --version` reports; the build sets it from the project's.
extern const std::string_view kVersion;

// The environment variables that decide where the animation goes; main()
// fills them in from the real environment.
struct Environment {
    std::string_view display{};             // DISPLAY
    std::string_view screensaver_window{};  // XSCREENSAVER_WINDOW
    std::string_view wayland_display{};     // WAYLAND_DISPLAY
};

struct CommandLine {
    bool run_animation = false; // draw, on `target`
    runtime::WindowTarget target{};
    int exit_status = 0;        // otherwise exit at once with this status
    std::string out{};          // text for stdout
    std::string err{};          // text for stderr
};

// `args` are the arguments after the program name. The first one decides,
// as with most GNU programs: `rays --help --bogus` prints the help,
// `rays --bogus --help` reports the unknown option.
CommandLine interpret_command_line(std::span<const std::string_view> args, const Environment& env = {});

// A window id as X tools print them: decimal, or hexadecimal after 0x.
// Nothing for anything else, and for 0, which names no window.
std::optional<std::uint32_t> parse_window_id(std::string_view text);

} // namespace rays
