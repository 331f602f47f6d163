// rays in windows that other programs lend it, as screen savers and desktops
// do, and as a live background under a compositing manager, all in one X
// server with no window manager.
#include "e2e/x_session.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

using namespace std::chrono_literals;

// After 150 rays the form's picture covers all the window, down to its last
// row. In a small window the fan near its start point can cover most of it:
// an eighth of background, in all and on the last row, is what any start
// point leaves.
static void expect_rays(const e2e::Screenshot& shot, int w, int h) {
    ASSERT_EQ(std::pair(shot.width, shot.height), std::pair(w, h));
    EXPECT_GT(shot.count(0xF0F0F0, w, h), w * h / 8);
    EXPECT_GT(shot.count(0x00FF00, w, h) + shot.count(0x800080, w, h), 200);
    EXPECT_GT(shot.count(0xF0F0F0, w, h) - shot.count(0xF0F0F0, w, h - 1), w / 8);
}

TEST(LentWindows, ClientWindowRootAndScreenSaverWindowInOneServer) {
    e2e::XSession x(e2e::XSessionOptions{1024, 768, 96, 24, {}, ""});
    std::vector<std::unique_ptr<e2e::Process>> started; // x_client's windows at the top-left, the later on top
    auto start = [&](const std::string& command) {
        started.push_back(std::make_unique<e2e::Process>(std::vector<std::string>{"sh", "-c", "exec " + command},
                                                         x.env()));
        std::this_thread::sleep_for(1500ms);
        return started.back().get();
    };
    auto first_line = [](e2e::Process* p) { return p->stdout_text().substr(0, p->stdout_text().find('\n')); };
    const std::string saver = first_line(start(X_CLIENT_BINARY " create 320x240"));
    e2e::Process* r = start("env XSCREENSAVER_WINDOW=" + saver + " " RAYS_BINARY " --root"); // only that window
    const e2e::Screenshot root = x.screenshot();
    expect_rays(x.screenshot(saver), 320, 240);
    EXPECT_EQ(root.count(0xF0F0F0, 1024, 768), root.count(0xF0F0F0, 320, 240));
    r->signal(SIGTERM);
    EXPECT_EQ(r->wait_for_exit(1s), 0);
    EXPECT_EQ(r->stderr_text(), "");
    const std::string id = first_line(start(X_CLIENT_BINARY " create 640x480"));
    r = start(RAYS_BINARY " --window-id " + std::to_string(std::stoul(id, nullptr, 16))); // decimal
    expect_rays(x.screenshot(id), 640, 480);
    EXPECT_EQ(x.run("xprop -id " + id + " | grep -c -e WM_ -e _NET_WM"), "0\n"); // nothing of ours set on it
    x.run("xdotool windowsize --sync " + id + " 900 700 && sleep 0.3"); // followed
    expect_rays(x.screenshot(id), 900, 700);
    x.run(X_CLIENT_BINARY " destroy " + id); // ends it with 0
    EXPECT_EQ(r->wait_for_exit(2s), 0);
    EXPECT_EQ(r->stderr_text(), "");
    r = start(RAYS_BINARY " --root"); // all of it, and the right-click no window manager takes
    expect_rays(x.screenshot(), 1024, 768);
    x.run("xdotool mousemove 1000 700 click 3");
    EXPECT_EQ(r->wait_for_exit(1s), 0);

    // Under a compositing manager that paints over the root (picom), a
    // desktop window of its own, at the bottom, where the right-click
    // passes through to the root.
    e2e::Process compositor({"picom", "--backend", "xrender", "--no-fading-openclose"}, x.env());
    for (int i = 0; i < 250 && x.run(X_CLIENT_BINARY " owner _NET_WM_CM_S0 || echo no") != ""; ++i)
        std::this_thread::sleep_for(20ms);
    r = start(RAYS_BINARY " --root");
    std::string desktop = x.run("xdotool search --pid " + std::to_string(r->pid()));
    desktop = desktop.substr(0, desktop.find('\n'));
    ASSERT_FALSE(desktop.empty()) << r->stderr_text();
    EXPECT_EQ(x.run("xprop -id " + desktop + " _NET_WM_WINDOW_TYPE"),
              "_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_DESKTOP\n");
    expect_rays(x.screenshot(), 1024, 768); // what picom shows
    x.run("xdotool mousemove 1000 700 click 3");
    EXPECT_EQ(r->wait_for_exit(1s), 0);
    EXPECT_EQ(r->stderr_text(), "");
    EXPECT_EQ(x.run("xwininfo -root -children | grep -c Form1"), "0\n"); // and gone with it
    EXPECT_EQ(x.run(RAYS_BINARY " --window-id 0x3ffff01 2>&1; echo $?"),
              "rays: run-time error: window 0x3ffff01: no such window on this display\n1\n");
    EXPECT_EQ(x.run(RAYS_BINARY " -window-id 12abc 2>&1; echo $?"), "rays: '12abc' is not a window id\n2\n");
    EXPECT_EQ(x.run("DISPLAY= " RAYS_BINARY " --root 2>&1; echo $?"),
              "rays: --root draws into an X window and needs X11, but DISPLAY is not set\n2\n");
}
