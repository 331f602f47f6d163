// The real program in a real X server, driven as a user would drive it.
#include "e2e/x_session.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using e2e::numbers_in;
using e2e::Process;
using e2e::kLightGreen;
using e2e::kMagenta;
using e2e::kBlack;
using e2e::kBackground;
using e2e::XSession;

namespace {


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
        // --sync would wait for a move that never comes when the pointer is
        // already there, as it is for the second click.
        x.run("xdotool mousemove 960 600 sleep 0.05 click " + std::to_string(button));
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

TEST_F(RunningRays, WindowCarriesTheProgramIcon) {
    // Openbox hands a window without an icon a 48 x 48 one of its own, so only
    // the pixels tell whose icon it is: those of data/icons/48x48/rays.png.
    // Translucent edge pixels are left out, as 8-bit alpha rounds their colour.
    const std::vector<long> icon =
        numbers_in(x.run("xprop -id " + window + " -notype -f _NET_WM_ICON 32c ' $0+' _NET_WM_ICON"));
    ASSERT_GE(icon.size(), 2u);
    ASSERT_EQ(icon[0], 48);
    ASSERT_EQ(icon[1], 48);
    ASSERT_GE(icon.size(), 2u + 48 * 48);

    cairo_surface_t* png = cairo_image_surface_create_from_png(RAYS_ICON_DIR "/48x48/rays.png");
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    const unsigned char* data = cairo_image_surface_get_data(png);
    const int stride = cairo_image_surface_get_stride(png);
    int opaque = 0, different = 0;
    for (int row = 0; row < 48; ++row)
        for (int column = 0; column < 48; ++column) {
            const std::uint32_t want = reinterpret_cast<const std::uint32_t*>(data + row * stride)[column];
            if (want >> 24 != 0xFF) continue;
            ++opaque;
            const long got = icon[2 + static_cast<std::size_t>(row) * 48 + column];
            if (static_cast<std::uint32_t>(got) != want) ++different;
        }
    cairo_surface_destroy(png);
    EXPECT_GT(opaque, 48 * 48 / 2);
    EXPECT_EQ(different, 0) << "of " << opaque << " opaque pixels";
}

TEST(NoDisplay, ReportsTheRunTimeErrorAndExitsOne) {
    const std::map<std::string, std::string> nowhere[] = {
        {{"DISPLAY", ":987"}, {"WAYLAND_DISPLAY", ""}},
        {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}},
        {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", "rays-no-such-compositor"}},
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

TEST(WaylandAbsent, FallsBackToTheXDisplay) {
    XSession x;
    std::map<std::string, std::string> env = x.env();
    env["WAYLAND_DISPLAY"] = "rays-no-such-compositor";
    Process rays({RAYS_BINARY}, env);
    EXPECT_FALSE(x.wait_for_window("Form1", 10s).empty()) << rays.stderr_text();
}
