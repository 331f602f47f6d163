// What window systems and users do to a running program: covering,
// minimising, resizing, signals, a dying X server, other resolutions.
#include "e2e/x_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using e2e::largest_batch;
using e2e::numbers_in;
using e2e::Process;
using e2e::kBackground;
using e2e::Screenshot;
using e2e::tick_times;
using e2e::XSession;
using e2e::XSessionOptions;

namespace {

// When the pictures in the tick-log program's stderr were sent (ns).
std::vector<long long> put_times(const std::string& log) {
    std::vector<long long> puts;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        long long at = 0;
        if (std::sscanf(line.c_str(), "put %lld", &at) == 1) puts.push_back(at);
    }
    return puts;
}

int count_in(const std::vector<long long>& times, long long from, long long to) {
    return static_cast<int>(std::count_if(times.begin(), times.end(), [&](long long t) { return t >= from && t < to; }));
}

// The most ticks fired at one wake between two moments.
long long most_at_once(const std::vector<long long>& ticks, long long from, long long to) {
    long long most = 0, run = 0;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        if (ticks[i] < from || ticks[i] >= to) continue;
        run = i > 0 && ticks[i] == ticks[i - 1] ? run + 1 : 1;
        most = std::max(most, run);
    }
    return most;
}

long long monotonic_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Rays : ::testing::Test {
    std::unique_ptr<XSession> x;
    std::unique_ptr<Process> rays;
    std::string window;

    void start(const char* binary = RAYS_BINARY) {
        ASSERT_NE(binary, nullptr);
        if (!x) x = std::make_unique<XSession>();
        rays = std::make_unique<Process>(std::vector<std::string>{binary}, x->env());
        window = x->wait_for_window("Form1", 10s);
        ASSERT_FALSE(window.empty()) << rays->stderr_text();
        ASSERT_TRUE(wait_for_state(true));
    }
    bool wait_for_state(bool maximised) {
        for (int i = 0; i < 150; ++i) {
            const bool now = x->run("xprop -id " + window + " _NET_WM_STATE").find("MAXIMIZED_HORZ") !=
                             std::string::npos;
            if (now == maximised) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    // Client area: x, y, width, height on the screen.
    std::vector<long> client() {
        return numbers_in(x->run("xwininfo -id " + window + " | grep -E 'Absolute|Width|Height' | cut -d: -f2"));
    }
    void set_maximised(bool on) {
        x->run("wmctrl -i -r " + window + (on ? " -b add" : " -b remove") + ",maximized_vert,maximized_horz");
        ASSERT_TRUE(wait_for_state(on));
        std::this_thread::sleep_for(100ms);
    }
};

// Pixels of `before` in the rectangle that show a ray (not the background).
std::vector<std::pair<int, int>> ray_pixels(const Screenshot& shot, int x0, int y0, int x1, int y1) {
    std::vector<std::pair<int, int>> out;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (shot.at(x, y) != kBackground) out.emplace_back(x, y);
    return out;
}

// Share of the pixels that still show a ray.
double share_still_drawn(const std::vector<std::pair<int, int>>& pixels, const Screenshot& after) {
    if (pixels.empty()) return 0;
    long kept = 0;
    for (auto [x, y] : pixels) kept += after.at(x, y) != kBackground;
    return double(kept) / double(pixels.size());
}

} // namespace

// Share of the pixels that look the same in both screenshots.
double share_unchanged(const std::vector<std::pair<int, int>>& pixels, const Screenshot& before,
                       const Screenshot& after) {
    if (pixels.empty()) return 0;
    long same = 0;
    for (auto [x, y] : pixels) same += after.at(x, y) == before.at(x, y);
    return double(same) / double(pixels.size());
}

// The program is stopped while its window is covered or minimised, so that
// no new ray changes the picture; when it goes on, it must show the picture
// again by itself.
TEST_F(Rays, PictureSurvivesBeingCoveredAndMinimised) {
    start();
    std::this_thread::sleep_for(1500ms);
    rays->signal(SIGSTOP);
    std::this_thread::sleep_for(100ms);
    const Screenshot before = x->screenshot();
    const auto drawn = ray_pixels(before, 100, 100, 600, 500);
    ASSERT_GT(drawn.size(), 1000u);

    // Another window over the picture, then away.
    {
        Process clock({"xclock", "-geometry", "500x400"}, x->env());
        const std::string id = x->wait_for_window("xclock", 5s);
        ASSERT_FALSE(id.empty());
        x->run("xdotool windowmove --sync " + id + " 100 100 windowraise " + id);
        std::this_thread::sleep_for(500ms);
        EXPECT_LT(share_unchanged(drawn, before, x->screenshot()), 0.5) << "the clock did not cover the rays";
    }
    // Long enough to handle the expose. The few rays drawn meanwhile cross
    // the dense middle of the fan and change up to a tenth or so of it; a
    // lost picture keeps less than half, as the covered one shows.
    rays->signal(SIGCONT);
    std::this_thread::sleep_for(60ms);
    rays->signal(SIGSTOP);
    EXPECT_GT(share_unchanged(drawn, before, x->screenshot()), 0.8);

    // Minimised and back.
    const Screenshot again = x->screenshot();
    x->run("xdotool windowminimize " + window);
    std::this_thread::sleep_for(300ms);
    x->run("xdotool windowactivate " + window);
    std::this_thread::sleep_for(300ms);
    rays->signal(SIGCONT);
    std::this_thread::sleep_for(60ms);
    rays->signal(SIGSTOP);
    EXPECT_GT(share_unchanged(ray_pixels(again, 100, 100, 600, 500), again, x->screenshot()), 0.8);
    rays->signal(SIGCONT);
    EXPECT_TRUE(rays->running());
}

// Empty when the build has no rays-tick-log (-DRAYS_TICK_LOG=OFF).
#ifndef RAYS_TICK_LOG_BINARY
#define RAYS_TICK_LOG_BINARY ""
#endif

// Each way of hiding the window for about 0.6 s: the 3 s around it hold
// their 300 deadlines, each 10 ms after the last, and the window did count
// as hidden: the ticks of the hidden stretch fired in one batch.
TEST_F(Rays, NoTickIsLostWhileTheWindowIsHidden) {
    if (*RAYS_TICK_LOG_BINARY == 0) GTEST_SKIP() << "counting ticks needs a build with -DRAYS_TICK_LOG=ON";
    start(RAYS_TICK_LOG_BINARY);
    std::unique_ptr<Process> cover;
    const std::string state = "xprop -id " + window + " -f _NET_WM_STATE 32a -set _NET_WM_STATE ";
    struct Hiding {
        const char* name;
        std::function<void()> hide, show;
    };
    const Hiding hidings[] = {
        {"minimised", [&] { x->run("xdotool windowminimize " + window); },
         [&] { x->run("xdotool windowactivate " + window); }},
        {"covered by a window",
         [&] {
             cover = std::make_unique<Process>(std::vector<std::string>{"xclock", "-geometry", "1920x1080+0+0"},
                                               x->env());
             x->run("xdotool windowraise " + x->wait_for_window("xclock", 5s));
         },
         [&] { cover.reset(); }},
        {"on another desktop", [&] { x->run("wmctrl -s 1"); }, [&] { x->run("wmctrl -s 0"); }},
        // As mutter leaves a minimised window mapped.
        {"mapped but _NET_WM_STATE_HIDDEN", [&] { x->run(state + "_NET_WM_STATE_HIDDEN"); },
         [&] { x->run(state + "_NET_WM_STATE_MAXIMIZED_VERT,_NET_WM_STATE_MAXIMIZED_HORZ"); }},
    };
    auto ns = [] { return std::chrono::steady_clock::now().time_since_epoch().count(); };
    std::vector<std::pair<long long, long long>> hidden;
    std::this_thread::sleep_for(1200ms);
    for (const Hiding& h : hidings) {
        const long long from = ns();
        h.hide();
        std::this_thread::sleep_for(600ms);
        h.show();
        hidden.emplace_back(from, ns());
        std::this_thread::sleep_for(1200ms);
    }
    std::this_thread::sleep_for(700ms);
    rays->signal(SIGTERM);
    ASSERT_TRUE(rays->wait_for_exit(2s).has_value());

    const std::vector<long long> at = tick_times(rays->stderr_text()), due = tick_times(rays->stderr_text(), true);
    ASSERT_GT(due.size(), 800u);
    for (std::size_t i = 1; i < due.size(); ++i)
        ASSERT_EQ(due[i] - due[i - 1], 10'000'000) << "a gap after " << (due[i - 1] - due[0]) / 1'000'000 << " ms";
    for (std::size_t k = 0; k < hidden.size(); ++k) {
        SCOPED_TRACE(hidings[k].name);
        const long long from = hidden[k].first, to = hidden[k].second;
        const long around = std::count_if(due.begin(), due.end(),
                                          [&](long long d) { return d >= from - 1'200'000'000 && d < from + 1'800'000'000; });
        EXPECT_GE(around, 299);
        EXPECT_LE(around, 301);
        EXPECT_GE(largest_batch(at, from, to + 300'000'000), 30) << "the window never counted as hidden";
    }
}

TEST_F(Rays, RestoredSizeAndMaximisedAgainKeepsTheRaysBeyondIt) {
    start();
    std::this_thread::sleep_for(1500ms);
    const std::vector<long> big = client();
    const Screenshot before = x->screenshot();

    set_maximised(false);
    const std::vector<long> small = client();
    EXPECT_EQ(small[2], 312); // 4680 x 3090 twips at 15 twips a pixel
    EXPECT_EQ(small[3], 206);
    // Stopped while it grows: what shows beyond the small size is the kept
    // picture, crossed only by the rays of one short run.
    rays->signal(SIGSTOP);
    set_maximised(true);
    rays->signal(SIGCONT);
    std::this_thread::sleep_for(60ms);
    rays->signal(SIGSTOP);
    const Screenshot after = x->screenshot();
    rays->signal(SIGCONT);
    ASSERT_EQ(client(), big);

    // Both the part that stayed in the window and the part beyond it keep
    // their rays (a picture cut to the small size keeps under 0.6 beyond,
    // crossed only by the rays drawn since).
    const int left = static_cast<int>(big[0]), top = static_cast<int>(big[1]);
    const auto kept = ray_pixels(before, left, top, left + 300, top + 195);
    const auto beyond = ray_pixels(before, left + 700, top + 400, left + 1800, top + 1000);
    ASSERT_GT(kept.size(), 500u);
    ASSERT_GT(beyond.size(), 500u);
    EXPECT_GT(share_still_drawn(kept, after), 0.97);
    EXPECT_GT(share_still_drawn(beyond, after), 0.97);
}

TEST_F(Rays, ShrunkToOnePixelAndGrownBack) {
    start();
    set_maximised(false);
    x->run("xdotool windowsize --sync " + window + " 1 1");
    std::this_thread::sleep_for(500ms);
    x->run("xdotool windowsize --sync " + window + " 900 700");
    std::this_thread::sleep_for(700ms);
    ASSERT_TRUE(rays->running()) << rays->stderr_text();
    const std::vector<long> c = client();
    const Screenshot shot = x->screenshot();
    EXPECT_GT(ray_pixels(shot, int(c[0]), int(c[1]), int(c[0] + 200), int(c[1] + 200)).size(), 100u);
    EXPECT_LT(e2e::peak_rss_kib(rays->pid()), 64 * 1024);
}

TEST(HugeScreen, RunsMaximisedOnOneSurface) {
    XSession x(7680, 4320);
    Process rays({RAYS_BINARY}, x.env());
    ASSERT_FALSE(x.wait_for_window("Form1", 10s).empty()) << rays.stderr_text();
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(rays.running()) << rays.stderr_text();
    const long surface_kib = 7680L * 4320 * 4 / 1024;
    EXPECT_LT(e2e::peak_rss_kib(rays.pid()), surface_kib + 40 * 1024);
}

TEST_F(Rays, DesktopResolutionSetsTwipsPerPixel) {
    x = std::make_unique<XSession>();
    x->run("sh -c 'echo Xft.dpi: 192 | xrdb -merge'");
    start();
    set_maximised(false);
    const std::vector<long> small = client();
    EXPECT_EQ(small[2], 624); // twice the pixels at 7.5 twips a pixel
    EXPECT_EQ(small[3], 412);
}

TEST_F(Rays, SignalsEndItCleanly) {
    for (int sig : {SIGINT, SIGTERM}) {
        start();
        std::this_thread::sleep_for(300ms);
        rays->signal(sig);
        const auto status = rays->wait_for_exit(1s);
        ASSERT_TRUE(status.has_value()) << "signal " << sig;
        EXPECT_EQ(*status, 0) << "signal " << sig;
        EXPECT_EQ(rays->stderr_text(), "") << "signal " << sig;
    }
}

TEST_F(Rays, StoppedAndContinuedGoesOnWithoutABurst) {
    if (*RAYS_TICK_LOG_BINARY == 0) GTEST_SKIP() << "counting ticks needs a build with -DRAYS_TICK_LOG=ON";
    start(RAYS_TICK_LOG_BINARY);
    std::this_thread::sleep_for(500ms);
    rays->signal(SIGSTOP);
    std::this_thread::sleep_for(2s);
    const auto resumed = std::chrono::steady_clock::now().time_since_epoch().count();
    rays->signal(SIGCONT);
    std::this_thread::sleep_for(2500ms);
    rays->signal(SIGTERM);
    ASSERT_TRUE(rays->wait_for_exit(2s).has_value());
    long first_second = 0, second_second = 0;
    for (long long t : tick_times(rays->stderr_text())) {
        first_second += t >= resumed && t < resumed + 1'000'000'000;
        second_second += t >= resumed + 1'000'000'000 && t < resumed + 2'000'000'000;
    }
    EXPECT_LE(first_second, 101);
    EXPECT_GE(first_second, 95);
    EXPECT_GE(second_second, 98);
    EXPECT_LE(second_second, 101);
}

TEST_F(Rays, LosingTheXServerEndsItWithTheRunTimeError) {
    start();
    std::this_thread::sleep_for(300ms);
    x->kill_server();
    const auto status = rays->wait_for_exit(1s);
    ASSERT_TRUE(status.has_value()) << "still running a second after the X server died";
    EXPECT_EQ(*status, 1);
    EXPECT_EQ(rays->stderr_text(), "rays: run-time error: X server: connection lost\n");
}

// Desktop sessions start programs and the window manager in either order.
// Without one, the window covers the work area and `--fullscreen` the whole
// screen by themselves; openbox, started a second later, takes them on
// maximised and full screen, each frame within the screen; a full-screen
// window opened under it is full screen from its first map.
TEST(WindowManagers, MaximisedAndFullScreenBeforeAndAfterOneArrives) {
    XSession x(e2e::XSessionOptions{1024, 768, 96, 24, {}, ""});
    auto start = [&](std::vector<std::string> argv) {
        auto p = std::make_unique<Process>(argv, x.env());
        std::string id;
        for (int i = 0; i < 250 && id.empty(); ++i, std::this_thread::sleep_for(20ms))
            id = x.run("xdotool search --pid " + std::to_string(p->pid()) + " 2>/dev/null | head -n 1");
        EXPECT_FALSE(id.empty()) << p->stderr_text();
        return std::pair(std::move(p), id.substr(0, id.find('\n')));
    };
    auto geometry = [&](const std::string& id) {
        return numbers_in(x.run("xwininfo -id " + id + " | grep -E 'Absolute|Width|Height' | cut -d: -f2"));
    };
    auto state = [&](const std::string& id) { return x.run("xprop -id " + id + " _NET_WM_STATE"); };
    const std::vector<long> screen{0, 0, 1024, 768};

    auto [maximised, m] = start({RAYS_BINARY});
    auto [full, f] = start({RAYS_BINARY, "--fullscreen"});
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(geometry(m), screen);
    EXPECT_EQ(geometry(f), screen);
    const Screenshot shot = x.screenshot();
    EXPECT_GT(shot.count(e2e::kLightGreen, 1024, 768), 1000); // the full-screen window's rays, at the top

    x.start_window_manager("openbox");
    std::string m_state, f_state;
    for (int i = 0; i < 100 && (m_state.find("MAXIMIZED_HORZ") == std::string::npos ||
                                f_state.find("FULLSCREEN") == std::string::npos); ++i) {
        std::this_thread::sleep_for(20ms);
        m_state = state(m);
        f_state = state(f);
    }
    EXPECT_NE(m_state.find("_NET_WM_STATE_MAXIMIZED_VERT, _NET_WM_STATE_MAXIMIZED_HORZ"), std::string::npos);
    EXPECT_NE(f_state.find("_NET_WM_STATE_FULLSCREEN"), std::string::npos) << f_state;
    std::this_thread::sleep_for(300ms);
    const std::vector<long> extents = numbers_in(x.run("xprop -id " + m + " _NET_FRAME_EXTENTS"));
    ASSERT_EQ(extents.size(), 4u);
    const std::vector<long> client = geometry(m);
    EXPECT_EQ(client[1] - extents[2], 0);
    EXPECT_EQ(client[2] + extents[0] + extents[1], 1024);
    EXPECT_EQ(client[3] + extents[2] + extents[3], 768); // the frame within the screen
    EXPECT_EQ(geometry(f), screen);

    full->signal(SIGTERM);
    EXPECT_EQ(full->wait_for_exit(1s), 0);
    auto [later, l] = start({RAYS_BINARY, "--fullscreen"});
    EXPECT_NE(state(l).find("_NET_WM_STATE_FULLSCREEN"), std::string::npos);
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(geometry(l), screen);
    EXPECT_EQ(x.run("xprop -id " + l + " _NET_FRAME_EXTENTS"), "_NET_FRAME_EXTENTS(CARDINAL) = 0, 0, 0, 0\n");
    x.run("xdotool mousemove 1000 700 click 3");
    EXPECT_EQ(later->wait_for_exit(1s), 0);
    EXPECT_TRUE(maximised->running());
}

// A stopped X server holds the picture back, with MIT-SHM and without (where
// a full picture is megabytes of requests): the ticks go on at 100 a second,
// nothing is sent while it is stopped, no burst comes when it goes on, and a
// SIGTERM while it is stopped ends the program at once.
TEST(StoppedServer, HoldsThePictureBackButNotTheTicks) {
    if (*RAYS_TICK_LOG_BINARY == 0) GTEST_SKIP() << "counting ticks needs a build with -DRAYS_TICK_LOG=ON";
    for (const bool shm : {true, false}) {
        SCOPED_TRACE(shm ? "MIT-SHM" : "no MIT-SHM");
        XSessionOptions options;
        if (!shm) options.server_args = {"-extension", "MIT-SHM"};
        XSession x(options);
        Process rays({RAYS_TICK_LOG_BINARY}, x.env());
        ASSERT_FALSE(x.wait_for_window("Form1", 10s).empty()) << rays.stderr_text();
        std::this_thread::sleep_for(1s);
        kill(x.server_pid(), SIGSTOP);
        const long long stopped = monotonic_ns();
        std::this_thread::sleep_for(3s);
        const long long continued = monotonic_ns();
        kill(x.server_pid(), SIGCONT);
        std::this_thread::sleep_for(1s);
        const long long after = monotonic_ns();
        kill(x.server_pid(), SIGSTOP);
        std::this_thread::sleep_for(300ms);
        rays.signal(SIGTERM);
        const auto status = rays.wait_for_exit(1s);
        kill(x.server_pid(), SIGCONT);
        EXPECT_EQ(status, 0) << "a stopped X server kept it from ending";

        const std::string log = rays.stderr_text();
        const std::vector<long long> ticks = tick_times(log), puts = put_times(log);
        EXPECT_NEAR(count_in(ticks, stopped, continued), 300, 4);
        EXPECT_NEAR(count_in(ticks, continued, after), 100, 4);
        EXPECT_LE(most_at_once(ticks, stopped, after), 3) << "ticks held up and fired in a burst";
        EXPECT_LE(count_in(puts, stopped + 100'000'000, continued), 1) << "pictures sent to a stopped server";
        EXPECT_GE(count_in(puts, continued, after), 20) << "the picture not shown again";
        EXPECT_LE(count_in(puts, continued, after), 62) << "more than one picture a frame";
    }
}

// A flood of Exposes is damage: shown with the frames, never more than one
// whole picture a display frame (Xvfb's 60 Hz).
TEST_F(Rays, ExposeFloodIsShownOnceAFrame) {
    if (*RAYS_TICK_LOG_BINARY == 0) GTEST_SKIP() << "counting ticks needs a build with -DRAYS_TICK_LOG=ON";
    start(RAYS_TICK_LOG_BINARY);
    std::this_thread::sleep_for(500ms);
    const long long from = monotonic_ns();
    {
        Process flood({X_CLIENT_BINARY, "expose", window}, x->env());
        std::this_thread::sleep_for(3s);
        EXPECT_TRUE(flood.running()) << flood.stderr_text();
    }
    const long long to = monotonic_ns();
    EXPECT_TRUE(rays->running()) << rays->stderr_text();
    rays->signal(SIGTERM);
    EXPECT_EQ(rays->wait_for_exit(1s), 0);
    const std::string log = rays->stderr_text();
    EXPECT_NEAR(count_in(tick_times(log), from, to), 300, 4);
    const int puts = count_in(put_times(log), from, to);
    EXPECT_GE(puts, 30) << "the rays not shown meanwhile";
    EXPECT_LE(puts, 3 * 60 + 1) << "more than one picture a frame";
}
