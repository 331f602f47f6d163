// rays in windows that other programs lend it, as screen savers and desktops
// do, all in one X server with no window manager.
#include "e2e/x_session.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

using namespace std::chrono_literals;
using e2e::Process;

namespace {

// After 150 rays the form's picture covers all the window, down to its last
// row: grey, with green and purple rays.
void expect_rays(const e2e::Screenshot& shot, int w, int h) {
    ASSERT_EQ(std::pair(shot.width, shot.height), std::pair(w, h));
    EXPECT_GT(shot.count(0xF0F0F0, w, h), w * h / 3);
    EXPECT_GT(shot.count(0x00FF00, w, h) + shot.count(0x800080, w, h), 1000);
    EXPECT_GT(shot.count(0xF0F0F0, w, h) - shot.count(0xF0F0F0, w, h - 1), w / 3);
}

std::unique_ptr<Process> rays(const e2e::XSession& x, const std::string& arg, const std::string& saver = "") {
    auto env = x.env();
    env["XSCREENSAVER_WINDOW"] = saver;
    auto p = std::make_unique<Process>(std::vector<std::string>{"sh", "-c", "exec " RAYS_BINARY " " + arg}, env);
    std::this_thread::sleep_for(1500ms);
    return p;
}

} // namespace

TEST(LentWindows, ClientWindowRootAndScreenSaverWindowInOneServer) {
    e2e::XSession x(e2e::XSessionOptions{1024, 768, 96, 24, {}, ""});
    Process big({X_CLIENT_BINARY, "create", "640x480"}, x.env()), small({X_CLIENT_BINARY, "create", "320x240"}, x.env());
    std::this_thread::sleep_for(300ms);
    auto id_of = [](const Process& p) { return p.stdout_text().substr(0, p.stdout_text().find('\n')); };
    const std::string id = id_of(big), saver = id_of(small);

    auto r = rays(x, "--root", saver); // that window only, not the root; SIGTERM ends quietly
    const e2e::Screenshot root = x.screenshot();
    expect_rays(x.screenshot(saver), 320, 240);
    EXPECT_EQ(root.count(0xF0F0F0, 1024, 768), root.count(0xF0F0F0, 320, 240));
    r->signal(SIGTERM);
    EXPECT_EQ(r->wait_for_exit(1s), 0);
    EXPECT_EQ(r->stderr_text(), "");

    r = rays(x, "--window-id " + id); // at its size, followed, nothing of ours set on it; its going ends with 0
    expect_rays(x.screenshot(id), 640, 480);
    EXPECT_EQ(x.run("xprop -id " + id + " | grep -c -e WM_ -e _NET_WM"), "0\n");
    x.run("xdotool windowsize --sync " + id + " 900 700 && sleep 0.3");
    expect_rays(x.screenshot(id), 900, 700);
    x.run(X_CLIENT_BINARY " destroy " + id);
    EXPECT_EQ(r->wait_for_exit(2s), 0);
    EXPECT_EQ(r->stderr_text(), "");

    r = rays(x, "--root"); // all of it, and the right-click no window manager takes
    expect_rays(x.screenshot(), 1024, 768);
    x.run("xdotool mousemove 1000 700 click 3");
    EXPECT_EQ(r->wait_for_exit(1s), 0);

    r = rays(x, "--window-id 0x3ffff01");
    EXPECT_EQ(r->wait_for_exit(1s), 1);
    EXPECT_EQ(r->stderr_text(), "rays: run-time error: window 0x3ffff01: no such window on this display\n");
}
