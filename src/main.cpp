// rays: thick coloured rays fanning out from near the top-left corner.
#include "rays/command_line.h"
#include "rays/form1.h"
#include "runtime/window_runtime.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    // argc is 0 when a caller of exec passes no argv[0] at all.
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const rays::CommandLine command = rays::interpret_command_line(args);
    if (!command.run_animation) {
        std::fputs(command.out.c_str(), stdout);
        std::fputs(command.err.c_str(), stderr);
        // `rays --help > /dev/full` must not look like it worked.
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "rays: cannot write to standard output: %s\n", std::strerror(errno));
            return 1;
        }
        return command.exit_status;
    }

    try {
        runtime::WindowRuntime window(rays::Form1::kDescription);
        rays::Form1 form(window);
        return window.run(form);
    } catch (const runtime::RuntimeError& error) {
        std::fprintf(stderr, "rays: run-time error: %s\n", error.what());
        return 1;
    }
}
