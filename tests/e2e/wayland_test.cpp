// The real program on a headless weston, driven through the test seat.
#include "e2e/weston_session.h"
#include "e2e/x_session.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <regex>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using e2e::Process;
using e2e::kLightGreen;
using e2e::kMagenta;
using e2e::kBlack;
using e2e::kBackground;
using e2e::Screenshot;
using e2e::WestonSession;

// Empty when the build has no rays-tick-log (-DRAYS_TICK_LOG=OFF).
#ifndef RAYS_TICK_LOG_BINARY
#define RAYS_TICK_LOG_BINARY ""
#endif

namespace {

#define SKIP_WITHOUT_WESTON() \
    if (!WestonSession::available()) GTEST_SKIP() << "weston or the test seat module is missing"

} // namespace

// One compositor for what a user sees and does: the window maximised to the
// work area under weston's panel, the first phase's colours, the clicks; then
// full screen.
TEST(Wayland, OpensMaximisedDrawsAndEndsOnRightClickOnly) {
    SKIP_WITHOUT_WESTON();
    WestonSession weston;
    Process rays({RAYS_BINARY}, weston.env());
    // Below the panel (32) and libdecor's title bar (24), to the output's edges.
    const std::vector<long> work_area{0, 56, 1920, 1080};
    EXPECT_EQ(weston.window_place([&](const auto& place) { return place == work_area; }), work_area)
        << rays.stderr_text();

    std::this_thread::sleep_for(1500ms);
    const Screenshot shot = weston.screenshot();
    ASSERT_EQ(shot.width, 1920) << "no screenshot";
    // Rays start within 667 pixels of the client area's corner.
    for (const std::uint32_t colour : {kLightGreen, kMagenta, kBlack})
        EXPECT_GT(shot.count_in(colour, 0, 56, 700, 700), 500) << std::hex << colour;
    EXPECT_GT(shot.count_in(kBackground, 0, 56, 700, 700), 1000);

    weston.input("click 960 600 left");
    weston.input("click 960 600 middle");
    weston.input("click 960 600 side");
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(rays.running()) << rays.stderr_text();
    const Screenshot before = weston.screenshot();
    std::this_thread::sleep_for(300ms);
    EXPECT_NE(before.pixels, weston.screenshot().pixels) << "no new rays after the clicks";

    weston.input("shift down");
    weston.input("click 960 600 right");
    const auto status = rays.wait_for_exit(1s);
    ASSERT_TRUE(status.has_value()) << "still running a second after the right-click";
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(rays.stderr_text(), "");

    // Full screen: the whole output, over the panel, with no title bar.
    Process full({RAYS_BINARY, "--fullscreen"}, weston.env());
    const std::vector<long> output{0, 0, 1920, 1080};
    EXPECT_EQ(weston.window_place([&](const auto& place) { return place == output; }), output)
        << full.stderr_text();
    std::this_thread::sleep_for(1s);
    EXPECT_GT(weston.screenshot().count_in(kLightGreen, 0, 0, 700, 56), 100) << "no rays where the panel was";
    weston.input("click 960 600 right");
    EXPECT_EQ(full.wait_for_exit(1s), 0);
}

// Each title bar the system's libdecor can draw (its cairo plugin, and the
// GTK one where installed, which GNOME's systems choose): the window is
// maximised below it, the bar carries the caption, the ticks keep their pace
// while libdecor is dispatched, and its close button ends the program.
TEST(Wayland, EveryTitleBarPluginDrawsItsBarAndClosesTheWindow) {
    SKIP_WITHOUT_WESTON();
    if (*RAYS_TICK_LOG_BINARY == 0) GTEST_SKIP() << "counting ticks needs a build with -DRAYS_TICK_LOG=ON";
    const std::vector<std::string> plugins = WestonSession::title_bar_plugins();
    ASSERT_FALSE(plugins.empty()) << "no libdecor plugin in " RAYS_LIBDECOR_PLUGIN_DIR;
    std::cout << "title bar plugins:";
    for (const std::string& plugin : plugins) std::cout << ' ' << plugin;
    std::cout << '\n';
    for (const std::string& plugin : plugins) {
        SCOPED_TRACE(plugin);
        WestonSession weston(1, plugin);
        Process rays({RAYS_TICK_LOG_BINARY}, weston.env());
        const std::vector<long> place = weston.window_place([](const auto& p) {
            return p[0] == 0 && p[1] > 40 && p[1] < 100 && p[2] == 1920 && p[3] == 1080; // below the panel's 32
        });
        ASSERT_EQ(place.size(), 4u) << rays.stderr_text();
        std::this_thread::sleep_for(2s);
        const Screenshot shot = weston.screenshot();
        ASSERT_EQ(shot.width, 1920) << "no screenshot";
        // The caption, in the middle of the bar, in a colour of its own.
        const int bar = 32, middle = (bar + static_cast<int>(place[1])) / 2;
        const std::uint32_t ground = shot.at(700, middle);
        long caption = 0;
        for (int y = bar; y < place[1]; ++y)
            for (int x = 860; x < 1060; ++x) caption += shot.at(x, y) != ground;
        EXPECT_GT(caption, 40) << "no caption on the title bar";

        weston.input("click 1905 " + std::to_string(middle) + " left"); // the close button, at the right end
        EXPECT_EQ(rays.wait_for_exit(1s), 0) << "the close button did not end it";
        const std::vector<long long> due = e2e::tick_times(rays.stderr_text(), true);
        EXPECT_GT(due.size(), 190u);
        for (std::size_t i = 1; i < due.size(); ++i)
            ASSERT_EQ(due[i] - due[i - 1], 10'000'000) << "a gap after " << (due[i - 1] - due[0]) / 1'000'000 << " ms";
    }
}

// Every way it ends, in one compositor: a signal while the compositor is
// stopped and the close button with status 0; a protocol error and the
// compositor gone with the run-time error in our words.
TEST(Wayland, EveryEndIsCleanAndInOurWords) {
    SKIP_WITHOUT_WESTON();
    WestonSession weston;
    auto shown = [&] {
        auto rays = std::make_unique<Process>(std::vector<std::string>{RAYS_BINARY}, weston.env());
        EXPECT_EQ(weston.window_place().size(), 4u) << rays->stderr_text();
        std::this_thread::sleep_for(500ms); // its title bar and input come a moment later
        return rays;
    };
    for (const char* limit : {"30000", "60000"}) { // kilobytes of address space: too little for the title bar
        Process rays({"/bin/sh", "-c", std::string("ulimit -v ") + limit + " && exec " RAYS_BINARY}, weston.env());
        EXPECT_EQ(rays.wait_for_exit(5s), 1) << limit;
        const std::string said = rays.stderr_text();
        EXPECT_NE(said.find("address-space limit (ulimit -v)"), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
    {
        auto rays = shown();
        weston.signal_server(SIGSTOP);
        rays->signal(SIGTERM);
        const auto status = rays->wait_for_exit(1s);
        weston.signal_server(SIGCONT);
        EXPECT_EQ(status, 0) << "a stopped compositor kept it from ending";
        EXPECT_EQ(rays->stderr_text(), "");
    }
    {
        auto rays = shown();
        weston.input("click 1905 44 left"); // libdecor's close button
        EXPECT_EQ(rays->wait_for_exit(1s), 0) << "the close button did not end it";
    }
    {
        auto rays = shown();
        weston.input("click 960 600 left");
        weston.input("error the test says no");
        EXPECT_EQ(rays->wait_for_exit(1s), 1);
        EXPECT_TRUE(std::regex_match(rays->stderr_text(), std::regex("rays: run-time error: Wayland compositor: "
                                                                     "protocol error 2 on wl_surface@[0-9]+: the test says no\n")))
            << rays->stderr_text();
    }
    auto rays = shown();
    weston.kill_server();
    const auto status = rays->wait_for_exit(1s);
    ASSERT_TRUE(status.has_value()) << "still running a second after the compositor went";
    EXPECT_EQ(*status, 1);
    EXPECT_EQ(rays->stderr_text(), "rays: run-time error: Wayland compositor: connection lost\n");
}

// At scale 2 the twips map runs at 192 dpi: restored (a double-click on
// libdecor's title bar), the window's 4680 x 3090 twips are 624 x 412 pixels
// of buffer, shown on 312 x 206 of the output's coordinates.
TEST(Wayland, ScaleTwoDoublesTheResolution) {
    SKIP_WITHOUT_WESTON();
    WestonSession weston(2);
    std::map<std::string, std::string> env = weston.env();
    env["WAYLAND_DEBUG"] = "client"; // every request on stderr
    Process rays({RAYS_BINARY}, env);
    // Maximised first, so that the double-click lands on its title bar.
    const std::vector<long> maximised = weston.window_place([](const auto& place) { return place[2] - place[0] >= 960; });
    ASSERT_EQ(maximised.size(), 4u) << rays.stderr_text();
    // A double-click on the title bar restores it. The title bar is drawn a
    // moment after the window is placed, so a click that came too soon is
    // made again.
    std::vector<long> restored;
    for (int attempt = 0; attempt < 3 && (restored.size() != 4 || restored[2] - restored[0] >= 960); ++attempt) {
        std::this_thread::sleep_for(300ms);
        weston.input("click 480 44 left");
        weston.input("click 480 44 left");
        restored = weston.window_place([](const auto& place) { return place[2] - place[0] < 960; });
    }
    ASSERT_EQ(restored.size(), 4u);
    EXPECT_EQ(restored[2] - restored[0], 312);
    EXPECT_EQ(restored[3] - restored[1], 206);
    // Out of the picture kept at the maximised size: its stride is that size's.
    EXPECT_NE(rays.stderr_text().find(", 0, 624, 412, "), std::string::npos) << "no 624 x 412 buffer";
    EXPECT_TRUE(rays.running());
}

// The compositor stopped for 0.2 s ten times, then the window minimised by
// libdecor's button: no deadline lost, each 10 ms after the last, though
// frames come late and then not at all.
TEST(Wayland, NoTickIsLostToAStoppingCompositorOrMinimising) {
    SKIP_WITHOUT_WESTON();
    if (*RAYS_TICK_LOG_BINARY == 0) GTEST_SKIP() << "counting ticks needs a build with -DRAYS_TICK_LOG=ON";
    WestonSession weston;
    Process rays({RAYS_TICK_LOG_BINARY}, weston.env());
    const std::vector<long> work_area{0, 56, 1920, 1080};
    ASSERT_EQ(weston.window_place([&](const auto& place) { return place == work_area; }), work_area)
        << rays.stderr_text();
    auto ns = [] { return std::chrono::steady_clock::now().time_since_epoch().count(); };
    std::this_thread::sleep_for(1200ms);
    const long long stops_from = ns();
    for (int i = 0; i < 10; ++i) {
        weston.signal_server(SIGSTOP);
        std::this_thread::sleep_for(200ms);
        weston.signal_server(SIGCONT);
        std::this_thread::sleep_for(200ms);
    }
    const long long stops_to = ns();
    std::this_thread::sleep_for(1200ms);
    const long long minimised = ns();
    weston.input("click 1840 44 left"); // libdecor's minimise button
    std::this_thread::sleep_for(2500ms);
    rays.signal(SIGTERM);
    ASSERT_TRUE(rays.wait_for_exit(2s).has_value());

    const std::vector<long long> due = e2e::tick_times(rays.stderr_text(), true);
    ASSERT_GT(due.size(), 700u);
    for (std::size_t i = 1; i < due.size(); ++i)
        ASSERT_EQ(due[i] - due[i - 1], 10'000'000) << "a gap after " << (due[i - 1] - due[0]) / 1'000'000 << " ms";
    auto deadlines_in = [&](long long from, long long to) {
        return std::count_if(due.begin(), due.end(), [&](long long d) { return d >= from && d < to; });
    };
    const long stopping = deadlines_in(stops_from, stops_to);
    EXPECT_LE(std::abs(stopping - (stops_to - stops_from) / 10'000'000), 1) << stopping;
    const long around = deadlines_in(minimised - 1'200'000'000, minimised + 1'800'000'000);
    EXPECT_GE(around, 299);
    EXPECT_LE(around, 301);
    // Minimised, no frame comes: the window counts as hidden and its ticks
    // fire a second's worth at a time.
    EXPECT_GE(e2e::largest_batch(e2e::tick_times(rays.stderr_text()), minimised, ns()), 50) << "not minimised";
}

// A socket that takes the connection and never answers, as a stopped
// compositor does: given up after 2 s, for X where DISPLAY names a server,
// otherwise with one line and status 1.
TEST(Wayland, ASilentCompositorIsGivenUp) {
    char dir[] = "/tmp/rays-silent-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/wayland-silent";
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 8), 0); // connections wait in the backlog, never read
    const std::map<std::string, std::string> silent{{"XDG_RUNTIME_DIR", dir}, {"WAYLAND_DISPLAY", "wayland-silent"}};
    for (const std::vector<std::string>& argv : {std::vector<std::string>{RAYS_BINARY}, {RAYS_BINARY, "--root"}}) {
        auto env = silent;
        env["DISPLAY"] = "";
        Process rays(argv, env);
        EXPECT_EQ(rays.wait_for_exit(5s), 1) << "still waiting for the compositor: " << argv.back();
        EXPECT_EQ(rays.stderr_text(), "rays: run-time error: Wayland compositor: no answer within 2 s\n");
    }
    {
        e2e::XSession x;
        auto env = x.env();
        env.insert(silent.begin(), silent.end());
        env["WAYLAND_DISPLAY"] = "wayland-silent";
        Process rays({RAYS_BINARY}, env);
        EXPECT_FALSE(x.wait_for_window("Form1", 10s).empty()) << "no window on X";
        EXPECT_TRUE(rays.running());
        EXPECT_EQ(rays.stderr_text(), "");
    }
    close(listener);
    unlink(path.c_str());
    rmdir(dir);
}
