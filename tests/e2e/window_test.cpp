// The real program in a real X server, driven as a user would drive it.
#include "e2e/x_session.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using e2e::Process;
using e2e::XSession;

namespace {

constexpr std::uint32_t kLightGreen = 0x00FF00, kMagenta = 0x800080, kBlack = 0x000000;
constexpr std::uint32_t kBackground = 0xF0F0F0;

std::vector<long> numbers_in(const std::string& text) {
    std::vector<long> out;
    std::string cleaned = text;
    for (char& ch : cleaned)
        if (!std::isdigit(static_cast<unsigned char>(ch)) && ch != '-') ch = ' ';
    std::istringstream in(cleaned);
    long n;
    while (in >> n) out.push_back(n);
    return out;
}

struct RunningRays : ::testing::Test {
    XSession x;
    std::unique_ptr<Process> rays;
    std::string window;

    void SetUp() override {
        rays = std::make_unique<Process>(std::vector<std::string>{RAYS_BINARY}, x.env());
        window = x.wait_for_window("Form1", 10s);
        ASSERT_FALSE(window.empty()) << "no window titled Form1; stderr: " << rays->stderr_text();
    }

    void wait_for_maximised() {
        for (int i = 0; i < 100; ++i) {
            if (x.run("xprop -id " + window + " _NET_WM_STATE").find("MAXIMIZED_HORZ") != std::string::npos)
                return;
            std::this_thread::sleep_for(20ms);
        }
    }

    void click(int button) {
        x.run("xdotool mousemove --sync 960 600 click " + std::to_string(button));
    }
};

} // namespace

TEST_F(RunningRays, OpensMaximisedAndDrawsRaysNearTheTopLeft) {
    wait_for_maximised();
    const std::string state = x.run("xprop -id " + window + " _NET_WM_STATE");
    EXPECT_NE(state.find("_NET_WM_STATE_MAXIMIZED_VERT"), std::string::npos) << state;
    EXPECT_NE(state.find("_NET_WM_STATE_MAXIMIZED_HORZ"), std::string::npos) << state;

    // The frame (client plus decorations) fills the work area.
    const std::vector<long> area = numbers_in(x.run("xprop -root _NET_WORKAREA"));
    const std::vector<long> extents = numbers_in(x.run("xprop -id " + window + " _NET_FRAME_EXTENTS"));
    const std::vector<long> geometry = numbers_in(
        x.run("xwininfo -id " + window + " | grep -E 'Absolute|Width|Height' | cut -d: -f2"));
    ASSERT_GE(area.size(), 4u);
    ASSERT_GE(extents.size(), 4u); // left, right, top, bottom
    ASSERT_EQ(geometry.size(), 4u); // x, y, width, height of the client
    EXPECT_EQ(geometry[0] - extents[0], area[0]);
    EXPECT_EQ(geometry[1] - extents[2], area[1]);
    EXPECT_EQ(geometry[2] + extents[0] + extents[1], area[2]);
    EXPECT_EQ(geometry[3] + extents[2] + extents[3], area[3]);

    std::this_thread::sleep_for(1500ms);
    const e2e::Screenshot shot = x.screenshot();
    ASSERT_EQ(shot.width, 1920);
    // Rays start within 667 pixels of the client's corner and run far out;
    // a second and a half gives about 150 of them in all three colours.
    const int left = static_cast<int>(geometry[0]), top = static_cast<int>(geometry[1]);
    long green = 0, magenta = 0, black = 0, background = 0;
    for (int y = top; y < top + 700; ++y)
        for (int col = left; col < left + 700; ++col) {
            const std::uint32_t p = shot.at(col, y);
            green += p == kLightGreen;
            magenta += p == kMagenta;
            black += p == kBlack;
            background += p == kBackground;
        }
    EXPECT_GT(green, 500);
    EXPECT_GT(magenta, 500);
    EXPECT_GT(black, 500);
    EXPECT_GT(background, 1000);
    EXPECT_TRUE(rays->running());
}

TEST_F(RunningRays, RightClickEndsAtOnceWithStatusZero) {
    std::this_thread::sleep_for(300ms);
    click(3);
    const auto status = rays->wait_for_exit(1s);
    ASSERT_TRUE(status.has_value()) << "still running a second after the right-click";
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(rays->stderr_text(), "");
}

TEST_F(RunningRays, LeftAndMiddleClicksChangeNothing) {
    wait_for_maximised();
    click(1);
    click(2);
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(rays->running());
    const e2e::Screenshot before = x.screenshot();
    std::this_thread::sleep_for(500ms);
    const e2e::Screenshot after = x.screenshot();
    ASSERT_EQ(before.pixels.size(), after.pixels.size());
    EXPECT_NE(before.pixels, after.pixels) << "no new rays after the clicks";
    EXPECT_TRUE(rays->running());
}

TEST_F(RunningRays, ClosingThroughTheWindowManagerEndsWithStatusZero) {
    std::this_thread::sleep_for(300ms);
    x.run("wmctrl -c Form1");
    const auto status = rays->wait_for_exit(2s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
}

TEST(NoDisplay, ReportsTheRunTimeErrorAndExitsOne) {
    const std::map<std::string, std::string> nowhere[] = {
        {{"DISPLAY", ":987"}, {"WAYLAND_DISPLAY", ""}, {"SDL_VIDEODRIVER", ""}},
        {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"SDL_VIDEODRIVER", ""}},
    };
    for (const auto& env : nowhere) {
        Process rays({RAYS_BINARY}, env);
        const auto status = rays.wait_for_exit(1s);
        ASSERT_TRUE(status.has_value()) << "no display, yet still running after a second";
        EXPECT_EQ(*status, 1);
        EXPECT_EQ(rays.stderr_text().rfind("rays: run-time error: open display: ", 0), 0u)
            << rays.stderr_text();
    }
}
