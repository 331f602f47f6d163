// rays run as a command with options: it answers and exits without ever
// opening a display. Run where no display can be opened, so that a try
// would show as the run-time error and status 1.
#include "e2e/process.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using e2e::Process;

namespace {

const std::map<std::string, std::string> kNowhere[] = {
    {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}},
    {{"DISPLAY", ":987"}, {"WAYLAND_DISPLAY", ""}},
};

struct Result {
    std::optional<int> status;
    std::string out, err;
};

Result run_rays(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
    std::vector<std::string> argv{RAYS_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    Process rays(argv, env);
    const auto status = rays.wait_for_exit(5s);
    return {status, rays.stdout_text(), rays.stderr_text()};
}

} // namespace

TEST(RaysCli, HelpAndVersionAnswerWithoutAnyDisplay) {
    for (const auto& env : kNowhere) {
        const Result version = run_rays({"--version"}, env);
        EXPECT_EQ(version.status, 0) << version.err;
        EXPECT_EQ(version.out, "rays " RAYS_PROJECT_VERSION "\n");
        EXPECT_EQ(version.err, "");

        const Result help = run_rays({"--help"}, env);
        EXPECT_EQ(help.status, 0) << help.err;
        EXPECT_EQ(help.out.rfind("Usage: rays", 0), 0u) << help.out;
        EXPECT_NE(help.out.find("right-click"), std::string::npos) << help.out;
        EXPECT_EQ(help.err, "");
    }
}

TEST(RaysCli, UnknownOptionIsOneLineOnStderrAndStatusTwo) {
    for (const auto& env : kNowhere) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--bogus"}, {"--bogus", "--help"}, {"-h"}, {""}}) {
            const Result r = run_rays(args, env);
            EXPECT_EQ(r.status, 2) << r.err;
            EXPECT_EQ(r.err, "rays: unknown option '" + args[0] + "'\n");
            EXPECT_EQ(r.out, "");
        }
    }
}

TEST(RaysCli, FailingToPrintTheAnswerIsAnError) {
    const std::string status =
        e2e::run_command("'" RAYS_BINARY "' --version >/dev/full 2>/dev/null; echo $?");
    EXPECT_EQ(status, "1\n");
}

// One true line whatever comes: a closed stdout, a name that holds a line
// of its own, no file descriptors left to connect with.
TEST(RaysCli, MessagesAreOneTrueLine) {
    for (const char* option : {"--help", "--version"})
        EXPECT_EQ(e2e::run_command("'" RAYS_BINARY "' " + std::string(option) + " 2>&1 >&-; echo $?"),
                  "rays: cannot write to standard output: Bad file descriptor\n1\n");

    const Result forged = run_rays({"--a\nrays: run-time error: fake\x1b[2J"}, kNowhere[0]);
    EXPECT_EQ(forged.err, "rays: unknown option '--a\\nrays: run-time error: fake\\x1B[2J'\n");

    for (const auto& env : {kNowhere[1], {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", "nowhere"}, {"XDG_RUNTIME_DIR", "/tmp"}}}) {
        Process rays({"/bin/sh", "-c", "ulimit -n 5 && exec '" RAYS_BINARY "'"}, env);
        EXPECT_EQ(rays.wait_for_exit(5s), 1);
        EXPECT_NE(rays.stderr_text().find(": Too many open files\n"), std::string::npos) << rays.stderr_text();
    }
}
