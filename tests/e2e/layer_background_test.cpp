// `rays --root` on Wayland: the background of every output through the
// layer shell, under a headless sway, and its one-line end where the
// compositor has no layer shell (weston).
#include "e2e/process.h"
#include "e2e/weston_session.h"
#include "e2e/x_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using e2e::Process;

namespace {

// sway refuses to run as root: it runs as `nobody`, in a runtime directory
// of its own that rays (root) can still reach.
struct SwaySession {
    std::string dir, as_nobody;
    std::unique_ptr<Process> sway;

    static std::string why_not() {
        if (e2e::run_command("command -v sway grim setpriv >/dev/null && echo yes") != "yes\n")
            return "sway, grim or setpriv is not installed";
        if (geteuid() != 0) return "starting sway as another user needs root";
        return "";
    }
    SwaySession() {
        dir = "/tmp/rays-sway-" + std::to_string(getpid());
        std::filesystem::create_directories(dir);
        e2e::run_command("chown nobody " + dir + " && chmod 700 " + dir + " && echo 'swaybg_command -' > " + dir +
                         ".conf && chmod 644 " + dir + ".conf");
        as_nobody = "setpriv --reuid=nobody --regid=nogroup --clear-groups env XDG_RUNTIME_DIR=" + dir +
                    " WAYLAND_DISPLAY=wayland-1 ";
        sway = std::make_unique<Process>(
            std::vector<std::string>{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "env", "-i",
                                     "XDG_RUNTIME_DIR=" + dir, "WLR_BACKENDS=headless", "WLR_RENDERER=pixman",
                                     "WLR_LIBINPUT_NO_DEVICES=1", "PATH=/usr/bin:/bin", "sway", "-c",
                                     dir + ".conf"});
        for (int i = 0; i < 100 && !std::filesystem::exists(dir + "/wayland-1"); ++i) std::this_thread::sleep_for(50ms);
    }
    ~SwaySession() {
        sway.reset();
        std::filesystem::remove_all(dir);
        std::filesystem::remove(dir + ".conf");
    }
    [[nodiscard]] std::map<std::string, std::string> env() const {
        return {{"XDG_RUNTIME_DIR", dir}, {"WAYLAND_DISPLAY", "wayland-1"}, {"DISPLAY", ""}};
    }
    std::string swaymsg(const std::string& command) const {
        return e2e::run_command(as_nobody + "sh -c 'SWAYSOCK=$(ls " + dir + "/sway-ipc.*) swaymsg " + command + "'");
    }
    e2e::Screenshot screenshot(const std::string& output) const {
        e2e::run_command(as_nobody + "grim -o " + output + " " + dir + "/shot.png");
        return e2e::read_png(dir + "/shot.png");
    }
};

long ray_pixels(const e2e::Screenshot& shot) {
    return shot.count(e2e::kLightGreen, shot.width, shot.height) + shot.count(e2e::kMagenta, shot.width, shot.height);
}

} // namespace

TEST(LayerBackground, EveryOutputAtItsOwnSizeAndScaleAsOutputsCome) {
    if (const std::string why = SwaySession::why_not(); !why.empty()) GTEST_SKIP() << why;
    SwaySession sway;
    ASSERT_TRUE(std::filesystem::exists(sway.dir + "/wayland-1")) << sway.sway->stderr_text();
    Process rays({RAYS_BINARY, "--root"}, sway.env());
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(rays.running()) << rays.stderr_text();
    const e2e::Screenshot first = sway.screenshot("HEADLESS-1");
    ASSERT_GT(first.width, 0);
    EXPECT_GT(ray_pixels(first), first.width * first.height / 50); // rays, over the whole output
    EXPECT_GT(first.count(e2e::kBackground, first.width, first.height), first.width * first.height / 4);

    // An output that comes later, at scale 2: covered too, at its pixels.
    sway.swaymsg("create_output");
    sway.swaymsg("output HEADLESS-2 scale 2");
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(rays.running()) << rays.stderr_text();
    const e2e::Screenshot second = sway.screenshot("HEADLESS-2");
    ASSERT_GT(second.width, 0);
    EXPECT_GT(ray_pixels(second), second.width * second.height / 50);
    // Its bottom-right quarter is beyond the first output: drawn there too.
    EXPECT_GT(second.count_in(e2e::kLightGreen, second.width / 2, second.height / 2, second.width / 2,
                              second.height / 2) +
                  second.count_in(e2e::kMagenta, second.width / 2, second.height / 2, second.width / 2,
                                  second.height / 2),
              0);
    // And one that goes.
    sway.swaymsg("output HEADLESS-2 unplug");
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(rays.running()) << rays.stderr_text();
    rays.signal(SIGTERM);
    EXPECT_EQ(rays.wait_for_exit(2s), 0);
    EXPECT_EQ(rays.stderr_text(), "");
}

TEST(LayerBackground, WithoutALayerShellItEndsInOneLine) {
    if (!e2e::WestonSession::available()) GTEST_SKIP() << "weston or the test seat module is missing";
    e2e::WestonSession weston;
    auto env = weston.env();
    env["DISPLAY"] = "";
    Process rays({RAYS_BINARY, "--root"}, env);
    EXPECT_EQ(rays.wait_for_exit(5s), 1);
    EXPECT_EQ(rays.stderr_text(), "rays: run-time error: Wayland compositor: offers no layer shell "
                                  "(zwlr_layer_shell_v1), which --root needs to draw the background\n");
}
