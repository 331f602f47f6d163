#include "rays/command_line.h"

namespace rays {

#ifndef RAYS_VERSION
#error "the build defines RAYS_VERSION from the project's version"
#endif
const std::string_view kVersion = RAYS_VERSION;

namespace {

// The status of a command line the program does not understand, as rays-render
// and most command-line programs use it; 1 stays the run-time error's.
constexpr int kUsageStatus = 2;

constexpr std::string_view kUsage = R"(Usage: rays [OPTION]
Thick coloured rays fanning out from near the top-left corner of a window,
one every 10 ms, until a right-click in the window or closing it ends them.

  --help     show this help and exit
  --version  show the version and exit
)";

} // namespace

CommandLine interpret_command_line(std::span<const std::string_view> args) {
    if (args.empty()) return {.run_animation = true};
    const std::string_view arg = args.front();
    if (arg == "--help") return {.out = std::string(kUsage)};
    if (arg == "--version") return {.out = "rays " + std::string(kVersion) + "\n"};
    return {.exit_status = kUsageStatus, .err = "rays: unknown option '" + std::string(arg) + "'\n"};
}

} // namespace rays
