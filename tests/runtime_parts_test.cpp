// The runtime's small parts: palette, random numbers and the fixed-rate timer.
#include "form/colour.h"
#include "form/random.h"
#include "window/timer.h"

#include <gtest/gtest.h>

#include <set>

using namespace std::chrono_literals;

TEST(Palette, StandardSixteenColoursAndNothingElse) {
    using runtime::rgb;
    const runtime::Colour expected[16] = {
        rgb(0, 0, 0),       rgb(0, 0, 128),     rgb(0, 128, 0),     rgb(0, 128, 128),
        rgb(128, 0, 0),     rgb(128, 0, 128),   rgb(128, 128, 0),   rgb(192, 192, 192),
        rgb(128, 128, 128), rgb(0, 0, 255),     rgb(0, 255, 0),     rgb(0, 255, 255),
        rgb(255, 0, 0),     rgb(255, 0, 255),   rgb(255, 255, 0),   rgb(255, 255, 255)};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(runtime::palette_colour(i), expected[i]) << i;
    for (int i : {-1, 16, 255, -32768, 32767}) EXPECT_EQ(runtime::palette_colour(i), runtime::kNoColour) << i;
}

TEST(Random, SinglesInTheHalfOpenUnitIntervalSpreadEvenly) {
    runtime::Random random(12345);
    int buckets[10] = {};
    for (int i = 0; i < 200000; ++i) {
        const float r = random.next();
        ASSERT_GE(r, 0.0f);
        ASSERT_LT(r, 1.0f);
        ++buckets[static_cast<int>(r * 10)];
    }
    for (int b : buckets) EXPECT_NEAR(b, 20000, 1000);
}

TEST(Random, SameSeedSameNumbersAndRandomizeDiffers) {
    runtime::Random a(7), b(7), c(8);
    std::vector<float> sa, sb, sc;
    for (int i = 0; i < 100; ++i) {
        sa.push_back(a.next());
        sb.push_back(b.next());
        sc.push_back(c.next());
    }
    EXPECT_EQ(sa, sb);
    EXPECT_NE(sa, sc);

    std::set<float> firsts;
    for (int i = 0; i < 5; ++i) {
        runtime::Random r;
        r.randomize();
        firsts.insert(r.next());
    }
    EXPECT_GT(firsts.size(), 1u);
}

TEST(FixedRateTimer, DeadlinesFollowAtTheIntervalWithoutDrift) {
    const auto start = runtime::FixedRateTimer::Clock::time_point{} + 1h;
    runtime::FixedRateTimer timer(10ms, start);
    EXPECT_FALSE(timer.due(start + 9ms));
    EXPECT_EQ(runtime::wait_ms(timer.deadline(), start), 10);
    EXPECT_EQ(runtime::wait_ms(timer.deadline(), start + 9ms + 1us), 1); // rounded up, never early
    // Each tick served a little late: the next deadline still falls on the grid.
    for (int i = 1; i <= 1000; ++i) {
        const auto planned = timer.deadline();
        const auto due = timer.take_due(planned, planned + 700us);
        ASSERT_EQ(due.count, 1);
        ASSERT_EQ(due.first, start + i * 10ms);
        ASSERT_EQ(timer.deadline(), start + (i + 1) * 10ms);
    }
}

TEST(FixedRateTimer, WakingOncePerFrameOrSecondFiresEveryTickInOrder) {
    const auto start = runtime::FixedRateTimer::Clock::time_point{} + 1h;
    runtime::FixedRateTimer timer(10ms, start);
    // A 60 Hz display: wakes 16.7 ms apart, 100 ticks a second all the same.
    int fired = 0;
    auto wake = start;
    for (int frame = 1; frame <= 60; ++frame) {
        wake = start + frame * 16667us;
        fired += timer.take_due(wake, wake + 200us).count;
    }
    EXPECT_EQ(fired, 100);
    // Wakes planned on the grid: a 60 Hz frame after a tick is the tick
    // after next, a second later the hundredth.
    EXPECT_EQ(timer.deadline_from(timer.deadline() - 5ms), timer.deadline());
    EXPECT_EQ(timer.deadline_from(timer.deadline() + 6667us), timer.deadline() + 10ms);
    EXPECT_EQ(timer.deadline_from(timer.deadline() + 990ms), timer.deadline() + 990ms);
    // Hidden: one wake a second fires the whole second's ticks, none dropped.
    const auto later = wake + 1s;
    const auto due = timer.take_due(later, later + 1ms);
    EXPECT_EQ(due.count, 100);
    EXPECT_EQ(due.first, start + 1010ms);
}

TEST(FixedRateTimer, AStallSkipsAheadInsteadOfBursting) {
    const auto start = runtime::FixedRateTimer::Clock::time_point{} + 1h;
    runtime::FixedRateTimer timer(10ms, start);
    const auto resumed = start + 2s; // stopped for two seconds
    EXPECT_EQ(timer.take_due(start + 10ms, resumed).count, 1);
    EXPECT_EQ(timer.deadline(), resumed + 10ms);
    EXPECT_FALSE(timer.due(resumed + 5ms));

    // A hiccup of a few intervals is jitter, not a stall: every tick fires.
    runtime::FixedRateTimer late(10ms, start);
    EXPECT_EQ(late.take_due(start + 10ms, start + 55ms).count, 5);
    EXPECT_EQ(late.deadline(), start + 60ms);
}
