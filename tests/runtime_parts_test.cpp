// The runtime's small parts: palette, random numbers and the fixed-rate timer.
#include "runtime/colour.h"
#include "runtime/random.h"
#include "runtime/timer.h"

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
    EXPECT_EQ(timer.wait_ms(start), 10);
    EXPECT_EQ(timer.wait_ms(start + 9ms + 1us), 1); // rounded up, never early
    // Each tick served a little late: the next deadline still falls on the grid.
    auto now = start;
    for (int i = 1; i <= 1000; ++i) {
        now = start + i * 10ms + 700us;
        ASSERT_TRUE(timer.due(now));
        timer.advance(now);
        ASSERT_EQ(timer.deadline(), start + (i + 1) * 10ms);
    }
    EXPECT_EQ(timer.wait_ms(now), 10);
}

TEST(FixedRateTimer, AStallSkipsAheadInsteadOfBursting) {
    const auto start = runtime::FixedRateTimer::Clock::time_point{} + 1h;
    runtime::FixedRateTimer timer(10ms, start);
    const auto resumed = start + 2s; // stopped for two seconds
    ASSERT_TRUE(timer.due(resumed));
    timer.advance(resumed);
    EXPECT_EQ(timer.deadline(), resumed + 10ms);
    EXPECT_FALSE(timer.due(resumed + 5ms));

    // Late by less than an interval: catch up on the grid, no skipping.
    runtime::FixedRateTimer late(10ms, start);
    late.advance(start + 15ms);
    EXPECT_EQ(late.deadline(), start + 20ms);
}
