// What X servers do to the program: other depths, no shared memory, a second
// screen, no or an old window manager, windows grown past the screen or
// destroyed by others, a server that stops while signals come.
#include "e2e/x_session.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/shm.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using e2e::numbers_in;
using e2e::Process;
using e2e::XSession;
using e2e::XSessionOptions;

namespace {

struct Started {
    std::unique_ptr<Process> rays;
    std::string window;
};

Started start_rays(const XSession& x, const std::string& display) {
    auto env = x.env();
    env["DISPLAY"] = display;
    Started s{std::make_unique<Process>(std::vector<std::string>{RAYS_BINARY}, env), {}};
    for (int i = 0; i < 250 && s.window.empty(); ++i) {
        s.window = x.run("DISPLAY=" + display + " xdotool search --name '^Form1$' 2>/dev/null | head -n 1");
        while (!s.window.empty() && s.window.back() == '\n') s.window.pop_back();
        if (s.window.empty()) std::this_thread::sleep_for(20ms);
    }
    std::this_thread::sleep_for(500ms); // mapped, placed, rays drawn
    return s;
}

// Client area: x, y, width, height on the screen.
std::vector<long> client_area(const XSession& x, const std::string& window, const std::string& display) {
    return numbers_in(x.run("DISPLAY=" + display + " xwininfo -id " + window +
                            " | grep -E 'Absolute|Width|Height' | cut -d: -f2"));
}

// Pixels of the screen within `tolerance` of each colour, per channel.
long count_near(const e2e::Screenshot& shot, std::uint32_t colour, int tolerance) {
    long n = 0;
    for (std::uint32_t p : shot.pixels) {
        bool near = true;
        for (int shift : {0, 8, 16})
            near = near && std::abs(int(p >> shift & 0xFF) - int(colour >> shift & 0xFF)) <= tolerance;
        n += near;
    }
    return n;
}

char process_state(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    return close == std::string::npos || close + 2 >= text.size() ? '?' : text[close + 2];
}

// The System V segments that a process made and that are still there.
std::vector<int> segments_made_by(int pid) {
    std::ifstream table("/proc/sysvipc/shm");
    std::string line;
    std::getline(table, line);
    std::vector<int> ids;
    while (std::getline(table, line)) {
        const std::vector<long> n = numbers_in(line); // key shmid perms size cpid ...
        if (n.size() > 4 && n[4] == pid) ids.push_back(int(n[1]));
    }
    return ids;
}

} // namespace

// Screenshots come as PNGs of 8 or 16 bits a channel (ImageMagick 7 writes a
// 16-bit screen's at 16, which cairo 1.18 loads as floats); both read back
// as the same 0xRRGGBB pixels.
TEST(XServers, ScreenshotsOfEveryDepthReadAlike) {
    char dir[] = "/tmp/rays-png-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    for (const std::string format : {"png24", "png48"}) {
        const std::string path = std::string(dir) + "/" + format + ".png";
        e2e::run_command("convert -size 4x2 xc:'#F0F0F0' -fill '#00FF00' -draw 'point 1,1' " + format + ":" + path);
        const e2e::Screenshot shot = e2e::read_png(path);
        ASSERT_EQ(shot.width, 4) << format;
        ASSERT_EQ(shot.height, 2) << format;
        EXPECT_EQ(shot.at(0, 0), 0xF0F0F0u) << format;
        EXPECT_EQ(shot.at(1, 1), 0x00FF00u) << format;
        std::remove(path.c_str());
    }
    rmdir(dir);
}

// A 16-bit screen with no window manager: the window covers the screen (a
// work area left behind that does not fit it is not believed), the colours
// come through the conversion, a window grown far past the screen
// keeps the memory of one screen, and a window destroyed by another client
// ends the program in our words. Then a live background under a compositing
// manager, with an XFixes too old to let input pass.
TEST(XServers, SixteenBitScreenWithoutWindowManager) {
    XSessionOptions options;
    options.width = 1280;
    options.height = 720;
    options.depth = 16;
    options.window_manager = "";
    XSession x(options);
    x.run("xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA '0, 0, 4294967295, 4294967295'");
    {
        Started s = start_rays(x, x.display());
        ASSERT_FALSE(s.window.empty()) << s.rays->stderr_text();
        EXPECT_EQ(client_area(x, s.window, x.display()), (std::vector<long>{0, 0, 1280, 720}));
        const e2e::Screenshot shot = x.screenshot();
        // 5 and 6 bits a channel: the light grey and the greens come back
        // within a few levels, never as other colours.
        EXPECT_GT(count_near(shot, 0xF0F0F0, 8), 100000);
        EXPECT_GT(count_near(shot, 0x00FF00, 8), 1000);
        EXPECT_GT(count_near(shot, 0x800080, 8), 1000);

        x.run("xdotool windowsize --sync " + s.window + " 32767 32767");
        std::this_thread::sleep_for(500ms);
        ASSERT_TRUE(s.rays->running()) << s.rays->stderr_text();
        // One 32-bit picture of the screen (3.5 MiB) and its 16-bit copy,
        // whatever the window's size.
        EXPECT_LT(e2e::peak_rss_kib(s.rays->pid()), 24 * 1024);

        ASSERT_EQ(x.run(std::string(X_CLIENT_BINARY) + " destroy " + s.window + " && echo done"), "done\n");
        const auto status = s.rays->wait_for_exit(1s);
        ASSERT_TRUE(status.has_value()) << "still running with its window destroyed";
        EXPECT_EQ(*status, 1);
        EXPECT_EQ(s.rays->stderr_text(), "rays: run-time error: window: destroyed by another program\n");
    }
    // A compositing manager, and an XFixes too old to let input pass: the
    // live background is a desktop window of its own, hearing its clicks.
    e2e::Process compositor({X_CLIENT_BINARY, "own", "_NET_WM_CM_S0"}, x.env());
    for (int i = 0; i < 250 && compositor.stdout_text().empty(); ++i) std::this_thread::sleep_for(20ms);
    auto env = x.env();
    env["LD_PRELOAD"] = OLD_XFIXES_HOOK;
    e2e::Process background({RAYS_BINARY, "--root"}, env);
    std::this_thread::sleep_for(1500ms);
    EXPECT_GT(count_near(x.screenshot(), 0x00FF00, 8), 1000) << background.stderr_text();
    x.run("xdotool mousemove 1000 700 click 3");
    EXPECT_EQ(background.wait_for_exit(1s), 0);
}

// No MIT-SHM, and the second screen of the display: the window opens there,
// under twm (no EWMH) it is placed on the screen with its frame, and the
// colours come through put-image requests. When twm goes, the program stays.
TEST(XServers, SecondScreenWithoutSharedMemoryUnderTwm) {
    XSessionOptions options;
    options.width = 640;
    options.height = 480;
    options.server_args = {"-screen", "1", "1024x768x24", "-extension", "MIT-SHM"};
    options.window_manager = "";
    XSession x(options);
    const std::string second = x.display() + ".1";
    Process twm({"twm"}, {{"DISPLAY", second}});
    std::this_thread::sleep_for(500ms);
    Started s = start_rays(x, second);
    ASSERT_FALSE(s.window.empty()) << s.rays->stderr_text();
    const std::vector<long> area = client_area(x, s.window, second);
    ASSERT_EQ(area.size(), 4u);
    EXPECT_GE(area[0], 0);
    EXPECT_GE(area[1], 0);
    EXPECT_LE(area[0] + area[2], 1024);
    EXPECT_LE(area[1] + area[3], 768) << "the frame pushed the window off the screen";
    EXPECT_GT(area[2] * area[3], 1024 * 768 * 8 / 10);

    const std::string shot = x.run("DISPLAY=" + second + " import -window root -crop 100x100+" +
                                   std::to_string(area[0]) + "+" + std::to_string(area[1]) +
                                   " -format %c histogram:info:- 2>/dev/null");
    EXPECT_NE(shot.find("#F0F0F0"), std::string::npos) << shot;

    twm.signal(SIGKILL);
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(s.rays->running()) << s.rays->stderr_text();
    s.rays->signal(SIGTERM);
    EXPECT_EQ(s.rays->wait_for_exit(1s), 0);
    EXPECT_EQ(s.rays->stderr_text(), "");
}

// The picture's shared memory outlives no end: a memfd where the server takes
// one, and a System V segment (forced here) already marked for removal when
// a SIGTERM comes the moment it is attached. A put of it that the server
// refuses is said.
TEST(XServers, StartUpSignalsLeaveNoSharedMemory) {
    XSession x;
    {
        Started s = start_rays(x, x.display());
        ASSERT_FALSE(s.window.empty());
        EXPECT_EQ(segments_made_by(s.rays->pid()), std::vector<int>{}) << "a System V segment where a memfd would do";
        s.rays->signal(SIGTERM);
        EXPECT_EQ(s.rays->wait_for_exit(1s), 0);
    }
    auto env = x.env();
    env["LD_PRELOAD"] = SHM_SIGNAL_HOOK;
    for (int i = 0; i < 3; ++i) {
        Process rays({RAYS_BINARY}, env);
        EXPECT_EQ(rays.wait_for_exit(5s), 0) << rays.stderr_text();
        std::vector<int> left = segments_made_by(rays.pid());
        for (int wait = 0; wait < 50 && !left.empty(); ++wait) {
            std::this_thread::sleep_for(20ms); // until the server lets go of its attachment
            left = segments_made_by(rays.pid());
        }
        EXPECT_EQ(left, std::vector<int>{}) << "leaked";
        for (int id : left) shmctl(id, IPC_RMID, nullptr);
    }
    // A shared-memory put the server refuses would leave the window blank.
    env["LD_PRELOAD"] = PUT_FAILURE_HOOK;
    Process refused({RAYS_BINARY}, env);
    EXPECT_EQ(refused.wait_for_exit(5s), 1);
    EXPECT_EQ(refused.stderr_text().rfind("rays: run-time error: window picture: the X server could not show it: ", 0),
              0u) << refused.stderr_text();
}

// SIGTERM lands while a tick is being drawn, and while the X server is
// stopped and cannot answer: either way the program ends at once, quietly.
TEST(XServers, SignalsEndItWhereverTheyLand) {
    XSession x;
    {
        Started s = start_rays(x, x.display());
        ASSERT_FALSE(s.window.empty());
        bool busy = false;
        for (int i = 0; i < 200000 && !busy; ++i) busy = process_state(s.rays->pid()) == 'R';
        ASSERT_TRUE(busy) << "never caught drawing";
        s.rays->signal(SIGTERM);
        EXPECT_EQ(s.rays->wait_for_exit(1s), 0);
        EXPECT_EQ(s.rays->stderr_text(), "");
    }
    {
        Started s = start_rays(x, x.display());
        ASSERT_FALSE(s.window.empty());
        kill(x.server_pid(), SIGSTOP);
        std::this_thread::sleep_for(300ms);
        s.rays->signal(SIGTERM);
        const auto status = s.rays->wait_for_exit(1s);
        kill(x.server_pid(), SIGCONT);
        EXPECT_EQ(status, 0) << "a stopped X server kept it from ending";
        EXPECT_EQ(s.rays->stderr_text(), "");
    }
}
