// rays-render as its users run it: bad input, failures, repeatable output.
#include "e2e/process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using e2e::Process;

namespace {

struct RenderCli : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() / ("rays-render-test-" + std::to_string(getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    struct Result {
        int status;
        std::string err;
    };
    Result render(std::vector<std::string> args, std::chrono::milliseconds limit = 60s) {
        args.insert(args.begin(), RAYS_RENDER_BINARY);
        Process p(args);
        const auto status = p.wait_for_exit(limit);
        return {status.value_or(-1), p.stderr_text()};
    }
    // Through the shell, in the test's directory: redirections, pipes, limits.
    Result shell(const std::string& command) {
        Process p({"/bin/sh", "-c", "cd " + dir.string() + " || exit 99\n" + command});
        return {p.wait_for_exit(60s).value_or(-1), p.stderr_text()};
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::size_t files_in_dir() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}));
    }
};

} // namespace

TEST_F(RenderCli, BadInputIsOneClearLineStatusTwoAndWritesNothing) {
    const fs::path out = dir / "out.png";
    const std::vector<std::vector<std::string>> bad = {
        {"--frobnicate"},    {"--ticks"},           {"--ticks", "many"},   {"--ticks", "-1"},
        {"--ticks", "12x"},  {"--seed", "-3"},      {"--seed"},            {"--size", "0x100"},
        {"--size", "100x0"}, {"--size", "16385x10"}, {"--size", "100"},     {"--size", "axb"},
        {"--dpi", "23"},     {"--dpi", "961"},      {"--dpi", "nan"},      {"--dpi", "inf"},
        {"--output", ""},    {"stray"},             {"-h"},
    };
    for (auto args : bad) {
        args.insert(args.end(), {"--output=" + out.string()});
        if (args[0] == "--output") args.pop_back(); // keep the empty output as the last word
        const Result r = render(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("rays-render: ", 0), 0u) << r.err;
        EXPECT_FALSE(fs::exists(out)) << args[0];
    }
}

TEST_F(RenderCli, SameArgumentsSameBytesAndHelpWorks) {
    const std::vector<std::string> args = {"--ticks", "500", "--size", "160x90", "--dpi", "24", "--seed", "4"};
    auto with_output = [&](const std::string& name) {
        auto a = args;
        a.insert(a.end(), {"--output", (dir / name).string()});
        return a;
    };
    ASSERT_EQ(render(with_output("a.png")).status, 0);
    ASSERT_EQ(render(with_output("b.png")).status, 0);
    const std::string a = read(dir / "a.png");
    EXPECT_EQ(a.substr(1, 3), "PNG");
    EXPECT_EQ(a, read(dir / "b.png"));
    EXPECT_EQ(files_in_dir(), 2u); // no temporary file left behind

    ASSERT_EQ(render({"--ticks=500", "--size=160x90", "--dpi=24", "--seed=5", "--output=" + (dir / "c.png").string()}).status, 0);
    EXPECT_NE(a, read(dir / "c.png"));

    Process help({RAYS_RENDER_BINARY, "--help"});
    EXPECT_EQ(help.wait_for_exit(5s), 0);
    EXPECT_NE(help.stdout_text().find("--ticks N      ticks to run, 0 to 1000000000"), std::string::npos);
    const Result help_to_full = shell(RAYS_RENDER_BINARY " --help >/dev/full");
    EXPECT_EQ(help_to_full.status, 1);
    EXPECT_NE(help_to_full.err.find("No space left on device"), std::string::npos);
}

TEST_F(RenderCli, FailedOrInterruptedRenderKeepsTheOldFile) {
    const fs::path out = dir / "keep.png";
    { std::ofstream(out) << "precious"; }

    // Bad input.
    EXPECT_EQ(render({"--size", "0x0", "--output", out.string()}).status, 2);
    EXPECT_EQ(read(out), "precious");

    // Interrupted while rendering a long run.
    Process p({RAYS_RENDER_BINARY, "--ticks", "100000000", "--size", "64x64", "--output", out.string()});
    std::this_thread::sleep_for(300ms);
    p.signal(SIGTERM);
    ASSERT_TRUE(p.wait_for_exit(5s).has_value());
    EXPECT_EQ(read(out), "precious");
    EXPECT_EQ(files_in_dir(), 1u);

    // A place that cannot be written: a clear error and status 1.
    const Result r = render({"--ticks", "1", "--output", (dir / "no-such-dir" / "x.png").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
}

TEST_F(RenderCli, OutputGoesWhereItsNameLeads) {
    const std::string render_to = RAYS_RENDER_BINARY " --ticks 500 --size 160x90 --dpi 24 --output ";
    ASSERT_EQ(shell(render_to + "ref.png && echo old >real && ln -s real link && echo old >private && "
                    "chmod 600 private && mkfifo fifo && mkdir sub").status, 0);
    const std::string png = read(dir / "ref.png");

    // A link names the file replaced; a private file stays private.
    EXPECT_EQ(shell(render_to + "link && " + render_to + "private").status, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(read(dir / "real"), png);
    EXPECT_EQ(read(dir / "private"), png);
    EXPECT_EQ(fs::status(dir / "private").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    // A pipe is written into, never replaced; - is standard output.
    EXPECT_EQ(shell(render_to + "fifo & cat fifo >piped.png; wait $! && " + render_to + "- >stdout.png").status, 0);
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_EQ(read(dir / "piped.png"), png);
    EXPECT_EQ(read(dir / "stdout.png"), png);
    // The longest name a file can have, with no room for a suffix; a
    // directory refused for what it is.
    EXPECT_EQ(shell(render_to + std::string(254, 'n')).status, 0);
    EXPECT_NE(shell(render_to + "sub").err.find("Is a directory"), std::string::npos);
    EXPECT_EQ(files_in_dir(), 9u);
}

// A read-only file is refused as the shell refuses it, though its directory
// would let it be replaced; as root, where `>` writes it, it is written. Any
// path the system takes is written, even one with no room for a suffix.
TEST_F(RenderCli, WritesWhatItsUserMayWriteAndNothingElse) {
    const std::string render_to = RAYS_RENDER_BINARY " --ticks 1 --size 16x9 --output ";
    const std::string as_user = getuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
    ASSERT_EQ(shell(std::string("echo old >ro.png && chmod 444 ro.png && chmod 777 . && ") +
                    (as_user.empty() ? "true" : "chown nobody ro.png")).status, 0);
    const Result refused = shell(as_user + render_to + "ro.png");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "rays-render: cannot write ro.png: Permission denied\n");
    EXPECT_EQ(read(dir / "ro.png"), "old\n");
    if (!as_user.empty()) {
        EXPECT_EQ(shell(render_to + "ro.png").status, 0);
    }

    std::string deep;
    for (int i = 0; i < 20; ++i) deep += std::string(200, 'd') + "/";
    deep += std::string(60, 'd') + "/"; // a short name at the end, with no room beside it for a longer one
    ASSERT_EQ(shell("mkdir -p " + deep).status, 0);
    const std::string longest = deep + std::string(4091 - deep.size(), 'n');
    const Result long_path = shell(render_to + longest);
    EXPECT_EQ(long_path.status, 0) << long_path.err;
    // Too long for the test to name from /; the shell is where the name is short enough.
    EXPECT_EQ(shell("test -s " + longest + " && test \"$(ls -A " + deep + ")\" = " + longest.substr(deep.size()) +
                    " && rm -r d*").status, 0);
}

TEST_F(RenderCli, FailuresAndSignalsSayWhyAndLeaveNoTemporaryFile) {
    { std::ofstream(dir / "keep.png") << "precious"; }
    const std::string render_to = "exec " RAYS_RENDER_BINARY " --output ";
    const Result limited = shell("ulimit -f 8 && " + render_to + "keep.png --size 160x90");
    EXPECT_EQ(limited.status, 1);
    EXPECT_NE(limited.err.find("File too large"), std::string::npos) << limited.err;
    // A name with a line of its own in it stays in the one line.
    const Result forged = render({"--ticks", "1", "--output", "nodir\n/evil: Success\nrays-render: wrote.png"});
    EXPECT_EQ(forged.err, "rays-render: cannot write nodir\\n/evil: Success\\nrays-render: wrote.png: "
                          "No such file or directory\n");
    // Through the shell, so that even a broken build cannot replace the device.
    const Result full = shell(render_to + "- --ticks 1 >/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;

    // Caught while the file is being written: a big picture takes a while.
    for (const int sig : {SIGUSR1, SIGALRM}) {
        Process p({RAYS_RENDER_BINARY, "--size", "2048x2048", "--output", (dir / "keep.png").string()});
        bool writing = false;
        for (int i = 0; i < 20000 && !writing && p.running(); ++i) {
            writing = files_in_dir() > 1;
            std::this_thread::sleep_for(500us);
        }
        ASSERT_TRUE(writing) << "no temporary file seen";
        p.signal(sig);
        EXPECT_EQ(p.wait_for_exit(10s), 128 + sig);
    }

    // Under nohup a hangup changes nothing.
    Process ignoring(
        {"/bin/sh", "-c", "trap '' HUP && " + render_to + (dir / "keep.png").string() + " --ticks 100000000"});
    std::this_thread::sleep_for(300ms);
    ignoring.signal(SIGHUP);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(ignoring.running());
    ignoring.signal(SIGTERM);
    EXPECT_EQ(ignoring.wait_for_exit(5s), 128 + SIGTERM);
    EXPECT_EQ(read(dir / "keep.png"), "precious");
    EXPECT_EQ(files_in_dir(), 1u);
}
