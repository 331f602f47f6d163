// The ramps as the rasteriser shades them, four or two pixels at a time
// where the target allows, against the one-pixel-at-a-time rule: the same
// bytes, and nothing outside the ramp touched.
#include "draw/blend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

using runtime::Colour;

// A row of varied pixels, their top bytes not all opaque (a ramp's level
// below 1 leaves a pixel as it was, top byte included).
std::vector<std::uint32_t> varied_row(std::mt19937& random, int width) {
    std::vector<std::uint32_t> row(static_cast<std::size_t>(width));
    for (auto& p : row) p = static_cast<std::uint32_t>(random());
    return row;
}

void shade_one_by_one(std::uint32_t* row, int first, int last, Colour colour, double level, double step) {
    for (int col = first; col <= last; ++col) runtime::shade_level(row[col], colour, level + (col - first) * step);
}

} // namespace

TEST(Ramps, GroupsShadeTheSameBytesAsOnePixelAtATime) {
    std::mt19937 random(25);
    std::uniform_real_distribution<double> level_at(-300.0, 600.0), step_of(0.0, 255.0);
    for (int trial = 0; trial < 20000; ++trial) {
        const int width = 1 + static_cast<int>(random() % 24);
        const int first = static_cast<int>(random() % width), last = first + static_cast<int>(random() % (width - first));
        const Colour colour = random() & 0xFFFFFF;
        const double level = level_at(random), step = step_of(random);
        const bool rising = random() % 2 == 0;
        std::vector<std::uint32_t> row = varied_row(random, width), expected = row;
        shade_one_by_one(expected.data(), first, last, colour, level, rising ? step : -step);
        runtime::RampShader(colour, step).shade(row.data(), width, first, last, level, rising);
        ASSERT_EQ(row, expected) << "width " << width << ", pixels " << first << ".." << last << ", level " << level;
    }
}

TEST(Ramps, TwoShortRampsOfARowTogetherMatchEachAlone) {
    std::mt19937 random(24);
    std::uniform_real_distribution<double> level_at(-300.0, 600.0), step_of(0.0, 255.0);
    int paired = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        // left ramp, covered middle (left as it is here), right ramp
        const int width = 2 + static_cast<int>(random() % 12);
        const int left = static_cast<int>(random() % (width - 1));
        const int left_count = static_cast<int>(random() % 3), middle = 1 + static_cast<int>(random() % 3);
        const int right = left + left_count + middle, right_count = static_cast<int>(random() % 3);
        if (right + right_count > width) continue;
        const Colour colour = random() & 0xFFFFFF;
        const double left_level = level_at(random), right_level = level_at(random), step = step_of(random);
        std::vector<std::uint32_t> row = varied_row(random, width), expected = row;
        shade_one_by_one(expected.data(), left, left + left_count - 1, colour, left_level, step);
        shade_one_by_one(expected.data(), right, right + right_count - 1, colour, right_level, -step);
        const runtime::RampShader ramps(colour, step);
        if (!ramps.shade_pair(row.data(), width, left, left_count, left_level, right, right_count, right_level)) {
            ramps.shade(row.data(), width, left, left + left_count - 1, left_level, true);
            ramps.shade(row.data(), width, right, right + right_count - 1, right_level, false);
        } else {
            ++paired;
        }
        ASSERT_EQ(row, expected) << "width " << width << ", left " << left << "+" << left_count << ", right "
                                 << right << "+" << right_count;
    }
#if defined(__SSE2__)
    EXPECT_GT(paired, 1000); // the pairs were tried, not only the fallback
#endif
}
