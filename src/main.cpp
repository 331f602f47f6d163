// rays: thick coloured rays fanning out from near the top-left corner.
#include "form/printable.h"
#include "rays/command_line.h"
#include "rays/form1.h"
#include "window/open_platform.h"
#include "window/quit_signals.h"
#include "window/window_runtime.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <new>
#include <unistd.h>
#include <vector>

namespace {

// A program started with standard streams closed would hand out their
// numbers to the first files it opens, and a message for stderr could then
// land in the display connection.
void open_closed_standard_streams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

int run(int argc, char** argv) {
    // argc is 0 when a caller of exec passes no argv[0] at all.
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const rays::CommandLine command = rays::interpret_command_line(args);
    if (!command.run_animation) {
        // The streams are left as they came: `rays --help >&-` must fail
        // as any write to a closed stdout does, not write to /dev/null.
        std::fputs(command.out.c_str(), stdout);
        std::fputs(command.err.c_str(), stderr);
        // `rays --help > /dev/full` must not look like it worked.
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "rays: cannot write to standard output: %s\n", std::strerror(errno));
            return 1;
        }
        return command.exit_status;
    }

    const runtime::TargetChoice choice = runtime::choose_target(command.target, args.empty() ? "" : args.front());
    if (!choice.refusal.empty()) {
        std::fprintf(stderr, "rays: %s\n", choice.refusal.c_str());
        return 2; // as for any command line it cannot follow
    }
    open_closed_standard_streams();
    runtime::QuitSignals quit_signals;
    runtime::WindowRuntime window(rays::Form1::kDescription, runtime::open_platform(choice.target), quit_signals);
#ifdef RAYS_TICK_LOG
    // rays-tick-log: the same program, telling benchmarks when each tick
    // ran and reached the screen.
    window.set_tick_log(stderr);
#endif
    rays::Form1 form(window);
    return window.run(form);
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const runtime::RuntimeError& error) {
        std::fprintf(stderr, "rays: run-time error: %s\n", error.what());
    } catch (const std::bad_alloc&) {
        std::fputs("rays: run-time error: out of memory\n", stderr);
    } catch (const std::exception& error) {
        // Not ours: its text may hold anything.
        std::fprintf(stderr, "rays: run-time error: %s\n", runtime::printable(error.what()).c_str());
    }
    return 1;
}
