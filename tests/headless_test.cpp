// The picture that the headless runtime draws.
#include "rays/form1.h"
#include "headless/headless_runtime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

using rays::Form1;
using runtime::HeadlessRuntime;

namespace {

struct Render {
    Render(long ticks, std::uint64_t seed, int w = 480, int h = 270, double dpi = 24)
        : headless(w, h, dpi, seed), form(headless) {
        headless.run(form, ticks);
    }
    runtime::Colour at(int x, int y) const {
        return headless.pixels()[std::size_t(y) * std::size_t(headless.canvas().width()) + std::size_t(x)] & 0xFFFFFF;
    }
    HeadlessRuntime headless;
    Form1 form;
};

} // namespace

TEST(HeadlessPicture, SameSeedSamePixelsOtherSeedOtherPicture) {
    const Render a(2000, 5), b(2000, 5), c(2000, 6);
    EXPECT_EQ(a.headless.pixels(), b.headless.pixels());
    EXPECT_NE(a.headless.pixels(), c.headless.pixels());
    EXPECT_EQ(a.headless.window_state(), runtime::kMaximised);
}

TEST(HeadlessPicture, RaysRunFromTheStartPointInTheirColours) {
    // Each of the first three rays, alone on the picture after its tick: its
    // pixels lie along the line from the start point towards its end point.
    struct Ray {
        long ticks;
        float x2, y2;
        runtime::Colour colour;
    };
    const Ray rays[] = {{1, -25318.281f, 43115.945f, runtime::palette_colour(10)},
                        {2, -43664.863f, 24359.383f, runtime::palette_colour(5)},
                        {3, -49987.793f, -1104.831f, runtime::palette_colour(0)}};
    for (const Ray& r : rays) {
        // Seed 8 starts the rays far enough from the edges to follow them a while.
        const Render render(r.ticks, 8, 1920, 1080, 96);
        const float ox = render.form.state().OriginX, oy = render.form.state().OriginY;
        ASSERT_GT(ox, 5000.0f);
        ASSERT_GT(oy, 5000.0f);
        const double length = std::hypot(r.x2 - ox, r.y2 - oy);
        int checked = 0;
        // From 12 pixels out, clear of the earlier rays that share the start point.
        for (double d = 180; d < length; d += 150) {
            const double tx = ox + (r.x2 - ox) * d / length, ty = oy + (r.y2 - oy) * d / length;
            const int px = static_cast<int>(tx / 15), py = static_cast<int>(ty / 15);
            if (px < 0 || py < 0 || px >= 1920 || py >= 1080) break;
            ASSERT_EQ(render.at(px, py), r.colour) << "tick " << r.ticks << " at " << px << "," << py;
            ++checked;
        }
        EXPECT_GE(checked, 20) << "tick " << r.ticks;
        // Far from the ray, the background.
        EXPECT_EQ(render.at(1900, 20), runtime::kBackground);
    }
}

TEST(HeadlessPicture, AMilestoneLeavesOnlyTheBackground) {
    const Render at_milestone(10'000, 11);
    for (std::uint32_t p : at_milestone.headless.pixels()) ASSERT_EQ(p & 0xFFFFFF, runtime::kBackground);
    const Render after(10'001, 11);
    long red = 0;
    for (std::uint32_t p : after.headless.pixels()) red += (p & 0xFFFFFF) == runtime::palette_colour(4);
    EXPECT_GT(red, 100) << "the first ray of the second phase is red";
}
