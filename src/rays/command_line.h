// What `rays` makes of its command line.
//
// Kept apart from main() and free of I/O so that every answer can be checked
// without starting the program: main() only prints what it is told and exits
// with the status it is given, or runs the animation.
#pragma once

#include "form/window_target.h"

#include <span>
#include <string>
#include <string_view>

namespace rays {

// The version that `rays --version` reports; the build sets it from the project's.
extern const std::string_view kVersion;

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
CommandLine interpret_command_line(std::span<const std::string_view> args);

} // namespace rays
