// The event loop's schedule on a simulated clock: the loop sleeps until its
// plan or until the window, a frame or input wakes it, through what windows,
// compositors and signals do; every tick fired is noted.
#include "window/tick_schedule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using runtime::TickSchedule;
using Clock = TickSchedule::Clock;

namespace {

constexpr auto kNever = Clock::duration::max();
const Clock::time_point kStart = Clock::time_point{} + 1h;

struct Span {
    Clock::duration from{}, to{};
    [[nodiscard]] bool holds(Clock::time_point t) const { return t >= kStart + from && t < kStart + to; }
};

// Times from the window's making.
struct World {
    std::string name;
    Span hidden = {};
    Clock::duration frame_delay = {}; // after each commit; none asked for when zero (X11)
    std::vector<Clock::duration> input = {};
    Span stopped = {};                // SIGSTOP to SIGCONT
    bool compositor_stops = false;    // for 0.2 s every 0.4 s from 0.5 s, ten times
};

struct Fired {
    Clock::time_point deadline, at;
};

std::vector<Fired> run_loop(const World& w, Clock::duration length) {
    TickSchedule schedule(10ms, kStart);
    Clock::time_point asked{}, frame_comes = Clock::time_point::max();
    bool awaiting = false;
    // As on Wayland, a frame awaited half a second means the window is unseen.
    auto outlook = [&](Clock::time_point t) {
        return TickSchedule::Outlook{!w.hidden.holds(t) && (!awaiting || t - asked < 500ms), 16'666'667ns,
                                     awaiting ? asked + 500ms : Clock::time_point{}};
    };
    std::vector<Clock::time_point> wakers{kStart + w.hidden.from, kStart + w.hidden.to};
    for (auto t : w.input) wakers.push_back(kStart + t);
    std::vector<Fired> fired;
    for (Clock::time_point now = kStart; now < kStart + length;) {
        Clock::time_point wake = std::min(schedule.plan(outlook(now)), frame_comes);
        for (auto t : wakers)
            if (t > now) wake = std::min(wake, t);
        now = std::max(wake, now) + 300us; // poll() rounds up; the dispatch takes a while
        if (w.stopped.holds(now)) now = kStart + w.stopped.to + 1ms;
        if (now >= frame_comes) {
            awaiting = false;
            frame_comes = Clock::time_point::max();
        }
        const auto due = schedule.wake(now, outlook(now));
        for (int i = 0; i < due.count; ++i) fired.push_back({due.first + i * 10ms, now});
        // The ticks go out and the next frame is asked for.
        if (due.count > 0 && !w.hidden.holds(now) && !awaiting && w.frame_delay > 0s) {
            awaiting = true;
            asked = now;
            frame_comes = w.frame_delay == kNever ? frame_comes : now + w.frame_delay;
            const auto since_first_stop = frame_comes - (kStart + 500ms);
            if (w.compositor_stops && since_first_stop > 0s && since_first_stop < 4s && since_first_stop % 400ms < 200ms)
                frame_comes += 200ms - since_first_stop % 400ms;
        }
    }
    return fired;
}

// Where successive deadlines are not 10 ms apart.
std::vector<std::size_t> gaps(const std::vector<Fired>& fired) {
    std::vector<std::size_t> at;
    for (std::size_t i = 1; i < fired.size(); ++i)
        if (fired[i].deadline - fired[i - 1].deadline != 10ms) at.push_back(i);
    return at;
}

} // namespace

TEST(TickSchedule, NoTickIsLostToVisibilityFramesOrInput) {
    std::vector<World> worlds;
    // Hidden for every phase of the hidden second; the same with frames,
    // and input just before the window comes back.
    for (int ms = 30; ms <= 1650; ms += 7) {
        const Span hidden{503ms, 503ms + ms * 1ms};
        worlds.push_back({.name = "hidden " + std::to_string(ms) + " ms", .hidden = hidden});
        worlds.push_back({.name = worlds.back().name + ", frames, input", .hidden = hidden, .frame_delay = 16ms,
                          .input = {hidden.to - 15ms, hidden.to - 2ms}});
    }
    for (auto delay : {16ms, 150ms, 400ms})
        worlds.push_back({.name = "frames after " + std::to_string(delay.count()) + " ms", .frame_delay = delay});
    worlds.push_back({.name = "frames after 150 ms, hidden 0.5 to 1.4 s", .hidden = {500ms, 1400ms}, .frame_delay = 150ms});
    worlds.push_back({.name = "frames that never come", .frame_delay = kNever});
    worlds.push_back({.name = "the compositor stopped 0.2 s ten times", .frame_delay = 16ms, .compositor_stops = true});
    World busy{.name = "input every 3 ms", .frame_delay = 16ms};
    for (auto t = 0ms; t < 6s; t += 3ms) busy.input.push_back(t);
    worlds.push_back(busy);

    for (const World& w : worlds) {
        SCOPED_TRACE(w.name);
        const std::vector<Fired> fired = run_loop(w, 6s);
        EXPECT_EQ(gaps(fired), std::vector<std::size_t>{});
        // The first five seconds' ticks all fired by the end, none early.
        EXPECT_GE(fired.size(), 500u);
        EXPECT_EQ(fired.at(0).deadline, kStart + 10ms);
        EXPECT_FALSE(std::any_of(fired.begin(), fired.end(), [](const Fired& f) { return f.at < f.deadline; }));
    }
}

TEST(TickSchedule, OnlyAStallPastThePlanDropsTicksAndThenWithoutABurst) {
    const std::vector<World> stalls = {
        {.name = "SIGSTOP 2 s", .stopped = {1s, 3s}},
        {.name = "SIGSTOP 10 s", .stopped = {1s, 11s}},
        {.name = "SIGSTOP 2 s, frames after 150 ms", .frame_delay = 150ms, .stopped = {1s, 3s}},
        {.name = "SIGSTOP 10 s while hidden", .hidden = {500ms, 20s}, .stopped = {1s, 11s}},
    };
    for (const World& w : stalls) {
        SCOPED_TRACE(w.name);
        const std::vector<Fired> fired = run_loop(w, 14s);
        const std::vector<std::size_t> at = gaps(fired);
        EXPECT_EQ(at.size(), 1u);
        if (at.empty()) continue;
        // The ticks due by the plan, at most a second after the stop began,
        // fire at the wake; the grid starts again from it.
        const Clock::time_point resumed = kStart + w.stopped.to + 1ms;
        EXPECT_EQ(fired[at[0] - 1].at, resumed);
        EXPECT_LE(fired[at[0] - 1].deadline, kStart + w.stopped.from + 1s);
        EXPECT_EQ(fired[at[0]].deadline, resumed + 10ms);
        EXPECT_GE(fired.back().deadline, kStart + 13s - 20ms);
    }
}
