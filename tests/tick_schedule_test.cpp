// The event loop's schedule driven through what windows, compositors and
// signals do to it, on a simulated clock: the loop sleeps until the plan or
// until something wakes it, and every tick it fires is noted.
#include "window/tick_schedule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using runtime::TickSchedule;
using Clock = TickSchedule::Clock;

namespace {

constexpr auto kInterval = 10ms;
constexpr auto kFrame = Clock::duration(16'666'667);
// As the Wayland platform: a frame awaited this long means the window is
// not shown.
constexpr auto kUnseenAfter = 500ms;
constexpr auto kNever = Clock::duration::max();
const Clock::time_point kStart = Clock::time_point{} + 1h;

struct Span {
    Clock::duration from, to;
    [[nodiscard]] bool holds(Clock::time_point t) const { return t >= kStart + from && t < kStart + to; }
};

// What happens around the loop. Times are from the window's creation.
struct World {
    std::string name;
    std::vector<Span> hidden = {};             // unmapped, minimised, covered
    Clock::duration frame_delay = {};          // after each commit; zero: no frames asked (X11)
    std::vector<Span> compositor_stopped = {}; // no frame comes meanwhile
    std::vector<Clock::duration> input = {};   // wakes with nothing for the ticks
    std::vector<Span> process_stopped = {};    // SIGSTOP to SIGCONT
};

struct Fired {
    Clock::time_point deadline, at;
};

// Runs the loop for `length` and returns every tick fired.
std::vector<Fired> run_loop(const World& w, Clock::duration length) {
    TickSchedule schedule(kInterval, kStart);
    Clock::time_point asked{}, frame_comes{};
    bool awaiting = false;
    auto hidden = [&](Clock::time_point t) {
        return std::any_of(w.hidden.begin(), w.hidden.end(), [&](const Span& s) { return s.holds(t); });
    };
    auto outlook = [&](Clock::time_point t) {
        TickSchedule::Outlook o;
        o.visible = !hidden(t) && (!awaiting || t - asked < kUnseenAfter);
        o.frame_interval = kFrame;
        if (awaiting) o.frame_awaited_until = asked + kUnseenAfter;
        return o;
    };
    // What wakes the loop before its plan: the window shown or hidden, a
    // frame, input.
    std::vector<Clock::time_point> events;
    for (const Span& s : w.hidden) events.insert(events.end(), {kStart + s.from, kStart + s.to});
    for (auto t : w.input) events.push_back(kStart + t);

    std::vector<Fired> fired;
    Clock::time_point now = kStart;
    while (now < kStart + length) {
        if (awaiting && now >= frame_comes) awaiting = false; // handled by the last dispatch
        Clock::time_point wake = schedule.plan(outlook(now));
        for (auto e : events)
            if (e > now) wake = std::min(wake, e);
        if (awaiting) wake = std::min(wake, frame_comes);
        wake = std::max(wake, now) + 300us; // poll() rounds up, the dispatch takes a while
        for (const Span& s : w.process_stopped)
            if (s.holds(wake)) wake = kStart + s.to + 1ms;
        now = wake;
        if (awaiting && now >= frame_comes) awaiting = false;
        const auto due = schedule.wake(now, outlook(now));
        for (int i = 0; i < due.count; ++i) fired.push_back({due.first + i * kInterval, now});
        // The ticks' pixels go out, and the next frame is asked for.
        if (due.count > 0 && !hidden(now) && !awaiting && w.frame_delay > 0s) {
            awaiting = true;
            asked = now;
            frame_comes = w.frame_delay == kNever ? Clock::time_point::max() : now + w.frame_delay;
            for (const Span& s : w.compositor_stopped)
                if (s.holds(frame_comes) || (asked < kStart + s.from && frame_comes >= kStart + s.to))
                    frame_comes = std::max(frame_comes, kStart + s.to + kFrame);
        }
    }
    return fired;
}

// Where successive deadlines are not one interval apart.
std::vector<std::size_t> gaps(const std::vector<Fired>& fired) {
    std::vector<std::size_t> at;
    for (std::size_t i = 1; i < fired.size(); ++i)
        if (fired[i].deadline - fired[i - 1].deadline != kInterval) at.push_back(i);
    return at;
}

long deadlines_in(const std::vector<Fired>& fired, Clock::duration from, Clock::duration to) {
    return std::count_if(fired.begin(), fired.end(), [&](const Fired& f) {
        return f.deadline > kStart + from && f.deadline <= kStart + to;
    });
}

std::vector<Span> stopped_ten_times() {
    std::vector<Span> stops;
    for (int i = 0; i < 10; ++i) stops.push_back({500ms + i * 400ms, 700ms + i * 400ms});
    return stops;
}

} // namespace

TEST(TickSchedule, NoTickIsLostToVisibilityFramesOrInput) {
    std::vector<World> worlds;
    // Hidden for every phase of the hidden second, from a few ticks to more
    // than a second and a half; the same with the compositor's frames and
    // input just before the window comes back.
    for (int ms = 30; ms <= 1650; ms += 7) {
        const Span hidden{503ms, 503ms + ms * 1ms};
        worlds.push_back({.name = "hidden for " + std::to_string(ms) + " ms", .hidden = {hidden}});
        worlds.push_back({.name = worlds.back().name + ", frames 16 ms after each commit, input before the return",
                          .hidden = {hidden},
                          .frame_delay = 16ms,
                          .input = {hidden.to - 15ms, hidden.to - 2ms}});
    }
    for (auto delay : {16ms, 150ms, 400ms})
        worlds.push_back({.name = "frames " + std::to_string(delay.count()) + " ms after each commit",
                          .frame_delay = delay});
    worlds.push_back({.name = "frames 150 ms late, hidden 0.5 to 1.4 s", .hidden = {{500ms, 1400ms}}, .frame_delay = 150ms});
    worlds.push_back({.name = "frames that never come", .frame_delay = kNever});
    worlds.push_back({.name = "the compositor stopped 0.2 s ten times",
                      .frame_delay = 16ms,
                      .compositor_stopped = stopped_ten_times()});
    World busy{.name = "input every 3 ms", .frame_delay = 16ms};
    for (auto t = 0ms; t < 6s; t += 3ms) busy.input.push_back(t);
    worlds.push_back(busy);

    for (const World& w : worlds) {
        SCOPED_TRACE(w.name);
        const std::vector<Fired> fired = run_loop(w, 6s);
        ASSERT_FALSE(fired.empty());
        EXPECT_EQ(fired.front().deadline, kStart + kInterval);
        EXPECT_EQ(gaps(fired), std::vector<std::size_t>{});
        // Every tick of the first five seconds fired by the end, none early.
        EXPECT_EQ(deadlines_in(fired, 0s, 5s), 500);
        for (const Fired& f : fired) ASSERT_GE(f.at, f.deadline);
    }
}

TEST(TickSchedule, OnlyAStallPastThePlanDropsTicksAndThenWithoutABurst) {
    const std::vector<World> stalls = {
        {.name = "SIGSTOP 2 s", .process_stopped = {{1000ms, 3000ms}}},
        {.name = "SIGSTOP 10 s", .process_stopped = {{1000ms, 11000ms}}},
        {.name = "SIGSTOP 2 s, frames 150 ms after each commit",
         .frame_delay = 150ms,
         .process_stopped = {{1000ms, 3000ms}}},
        {.name = "SIGSTOP 10 s while hidden", .hidden = {{500ms, 20s}}, .process_stopped = {{1000ms, 11000ms}}},
    };
    for (const World& w : stalls) {
        SCOPED_TRACE(w.name);
        const std::vector<Fired> fired = run_loop(w, 14s);
        const std::vector<std::size_t> at = gaps(fired);
        ASSERT_EQ(at.size(), 1u);
        const Fired& before = fired[at[0] - 1];
        const Fired& after = fired[at[0]];
        const Clock::time_point resumed = kStart + w.process_stopped[0].to + 1ms;
        // At the wake the ticks due by the plan fire, no later ones: the
        // plan was at most a second after the stop began.
        EXPECT_EQ(before.at, resumed);
        EXPECT_LE(before.deadline, kStart + w.process_stopped[0].from + 1s);
        // Then the grid starts again from the wake.
        EXPECT_EQ(after.deadline, resumed + kInterval);
        EXPECT_GE(fired.back().deadline, kStart + 14s - 1s - 2 * kInterval);
    }
}
