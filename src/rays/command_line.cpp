#include "rays/command_line.h"

#include "form/printable.h"


namespace rays {

#ifndef RAYS_VERSION
#error "the build defines RAYS_VERSION from the project's version"
#endif
const std::string_view kVersion = RAYS_VERSION;

namespace {

using runtime::WindowTarget;

// The status of a command line the program does not understand, as rays-render
// and most command-line programs use it; 1 stays the run-time error's.
constexpr int kUsageStatus = 2;

constexpr std::string_view kUsage = R"(Usage: rays [OPTION]
Thick coloured rays fanning out from near the top-left corner of a window,
one every 10 ms, until a right-click in the window or closing it ends them.

  --fullscreen    cover the whole screen, as a screen saver started by an
                  idle daemon does (swayidle timeout 300 'rays --fullscreen')
  --window-id ID  draw into the existing X window ID (decimal or 0x hex)
  --root          draw on the root window, or into the window that
                  XSCREENSAVER_WINDOW names, as screen savers ask; on
                  Wayland, the background of every output (layer shell)
  --help          show this help and exit
  --version       show the version and exit
)";

CommandLine usage_error(const std::string& message) {
    return {.exit_status = kUsageStatus, .err = "rays: " + message + "\n"};
}

// Screen savers hand their window over with X toolkit style options, one
// dash; both spellings are taken.
bool is_option(std::string_view arg, std::string_view name) {
    if (arg.starts_with("--")) arg.remove_prefix(2);
    else if (arg.starts_with("-")) arg.remove_prefix(1);
    else return false;
    return arg == name;
}

} // namespace

CommandLine interpret_command_line(std::span<const std::string_view> args) {
    if (args.empty()) return {.run_animation = true};
    const std::string_view arg = args.front();
    if (arg == "--help") return {.out = std::string(kUsage)};
    if (arg == "--version") return {.out = "rays " + std::string(kVersion) + "\n"};

    CommandLine run{.run_animation = true};
    std::size_t used = 1;
    if (arg == "--fullscreen") {
        run.target.kind = WindowTarget::Kind::kFullScreenWindow;
        if (args.size() > 1) return usage_error("unexpected argument '" + runtime::printable(args[1]) + "'");
        return run;
    }
    if (is_option(arg, "root")) {
        run.target.kind = WindowTarget::Kind::kRootWindow;
    } else if (is_option(arg, "window-id")) {
        if (args.size() < 2) return usage_error(std::string(arg) + " needs a window id");
        const auto id = runtime::parse_window_id(args[1]);
        if (!id) return usage_error("'" + runtime::printable(args[1]) + "' is not a window id");
        run.target = {WindowTarget::Kind::kGivenWindow, *id};
        used = 2;
    } else {
        return usage_error("unknown option '" + runtime::printable(arg) + "'");
    }
    if (args.size() > used) return usage_error("unexpected argument '" + runtime::printable(args[used]) + "'");
    return run;
}

} // namespace rays
