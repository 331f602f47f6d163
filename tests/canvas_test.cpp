// The canvas on cairo images: where lines land, how wide, in what colour, and
// that bad arguments are refused without touching a pixel.
#include "image.h"
#include "draw/damage_bands.h"
#include "form/form_runtime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

using runtime::Colour;
using runtime::kBackground;
using runtime::palette_colour;
using testing_support::Image;

namespace {

constexpr int kGiven = runtime::kLineStartGiven | runtime::kLineColourGiven;

// Columns of row y that are exactly `colour`.
std::vector<int> columns_of(const Image& img, int y, Colour colour) {
    std::vector<int> xs;
    for (int x = 0; x < img.width; ++x)
        if (img.at(x, y) == colour) xs.push_back(x);
    return xs;
}

// Whether every pixel of `img`, on which one black line (x1, y1)-(x2, y2)
// twips was drawn with a pen `pen` pixels wide over the background, is
// black by how far its centre lies inside the pen's edge, a ramp one pixel
// wide, to within a step of 255.
testing::AssertionResult shaded_by_distance(const Image& img, float x1, float y1, float x2, float y2, int pen) {
    const double ax = x1 / 15.0 + 0.5, ay = y1 / 15.0 + 0.5, bx = x2 / 15.0 + 0.5, by = y2 / 15.0 + 0.5;
    const double dx = bx - ax, dy = by - ay, length2 = dx * dx + dy * dy;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const double px = x + 0.5 - ax, py = y + 0.5 - ay;
            const double t = length2 > 0 ? std::clamp((px * dx + py * dy) / length2, 0.0, 1.0) : 0.0;
            const double distance = std::hypot(px - t * dx, py - t * dy);
            const double coverage = std::clamp(pen / 2.0 + 0.5 - distance, 0.0, 1.0);
            if (std::fabs(runtime::green(img.at(x, y)) - 240 * (1 - coverage)) > 1)
                return testing::AssertionFailure() << "pixel " << x << "," << y << " is " << runtime::green(img.at(x, y))
                                                   << ", not " << 240 * (1 - coverage);
        }
    return testing::AssertionSuccess();
}

} // namespace

TEST(CanvasLines, TwipsMapToPixelsByTheResolution) {
    struct Case {
        double dpi;
        int expected_column;
    };
    for (const Case c : {Case{96.0, 100}, Case{192.0, 200}}) {
        Image img(400, 300, c.dpi);
        ASSERT_FALSE(img.canvas.set_pen_width(5).failed());
        const Colour red = palette_colour(12);
        ASSERT_FALSE(img.canvas.draw_line(kGiven, 1500, 0, 1500, 1500, red).failed());
        // A 5-pixel pen centred on the line's pixel, fully covering five columns.
        const std::vector<int> xs = columns_of(img, 50, red);
        ASSERT_EQ(xs.size(), 5u) << "dpi " << c.dpi;
        EXPECT_EQ(xs.front(), c.expected_column - 2);
        EXPECT_EQ(xs.back(), c.expected_column + 2);
        EXPECT_EQ(img.at(c.expected_column - 4, 50), kBackground);
        EXPECT_EQ(img.at(c.expected_column + 4, 50), kBackground);
        // Ends at 1500 twips down, with a round cap: nothing far below it.
        const int end_row = static_cast<int>(1500 / (1440.0 / c.dpi));
        EXPECT_EQ(img.at(c.expected_column, end_row), red);
        EXPECT_EQ(img.at(c.expected_column, end_row + 4), kBackground);
    }
}

TEST(CanvasLines, DiagonalRayIsAboutFivePixelsWideInItsColour) {
    Image img(300, 300);
    ASSERT_FALSE(img.canvas.set_pen_width(5).failed());
    const Colour green = palette_colour(10);
    ASSERT_FALSE(img.canvas.draw_line(kGiven, 0, 0, 4500, 4500, green).failed());
    // Across a 45-degree line a row meets it over 5 * sqrt(2), about 7 pixels.
    const std::vector<int> xs = columns_of(img, 150, green);
    EXPECT_GE(xs.size(), 5u);
    EXPECT_LE(xs.size(), 8u);
    EXPECT_EQ(img.at(150, 150), green);
}

// Across an axis-aligned ray each pixel takes the pen's colour in proportion
// to the share of it that the 5-pixel band covers. The line runs through the
// centre of the pixel its twips fall in: 762 and 1503 twips put the band's
// edges a fifth of a pixel into the pixels on either side.
TEST(CanvasLines, EdgePixelsBlendByTheShareOfThemTheBandCovers) {
    Image img(200, 200);
    ASSERT_FALSE(img.canvas.set_pen_width(5).failed());
    ASSERT_FALSE(img.canvas.draw_line(kGiven, 0, 762, 2999, 762, 0).failed());
    ASSERT_FALSE(img.canvas.draw_line(kGiven, 1503, 1500, 1503, 2999, 0).failed());
    // Black over the background's 240, on pixel [p, p + 1), the band's centre at c.
    auto expected = [](int p, double c) {
        return 240 * (1 - std::clamp(std::min(p + 1.0, c + 2.5) - std::max(p + 0.0, c - 2.5), 0.0, 1.0));
    };
    for (int i = 46; i <= 56; ++i) {
        EXPECT_NEAR(runtime::green(img.at(150, i)), expected(i, 762 / 15.0 + 0.5), 2) << "row " << i;
        EXPECT_NEAR(runtime::green(img.at(i + 49, 150)), expected(i + 49, 1503 / 15.0 + 0.5), 2) << "column " << i + 49;
    }
}


// Every pixel, of the caps and of the band between them, at any angle and
// pen width: black over the background by how far its centre lies inside
// the pen's edge, a ramp one pixel wide.
TEST(CanvasLines, EveryPixelIsShadedByItsCentresDistanceFromTheSegment) {
    struct Case {
        float x1, y1, x2, y2;
        int pen;
    };
    for (const Case c : {Case{300, 450, 2100, 1300, 5}, Case{1800, 200, 1650, 1600, 5}, Case{200, 900, 2200, 960, 5},
                         Case{900, 100, 911, 1700, 9}, Case{400, 1500, 2000, 300, 2}, Case{700, 700, 1500, 760, 1},
                         Case{1000, 800, 1000, 800, 6}, Case{-300, -200, 2700, 1900, 7},
                         Case{2500, 100, -100, 1700, 4}, Case{2600, 300, 1000, 2100, 5}}) {
        Image img(160, 120);
        ASSERT_FALSE(img.canvas.set_pen_width(c.pen).failed());
        ASSERT_FALSE(img.canvas.draw_line(kGiven, c.x1, c.y1, c.x2, c.y2, 0).failed());
        EXPECT_TRUE(shaded_by_distance(img, c.x1, c.y1, c.x2, c.y2, c.pen))
            << c.x1 << "," << c.y1 << " - " << c.x2 << "," << c.y2 << ", pen " << c.pen;
    }
}

// Lines through the picture and out over its sides, every 7 degrees round
// and at the angles where a ramp turns two pixels long, with pens thin and
// thick: each drawn as the distance rule says, every pixel changed within
// the damage.
TEST(CanvasLines, AtEveryAngleThePixelsFollowTheDistanceAndStayInTheDamage) {
    std::vector<double> degrees;
    for (int d = 0; d < 360; d += 7) degrees.push_back(d);
    for (const double d : {30.0, 150.0, 210.0, 330.0}) degrees.insert(degrees.end(), {d - 0.01, d, d + 0.01});
    for (const double d : degrees)
        for (const int pen : {1, 2, 4, 5, 9}) {
            Image img(100, 80);
            const std::vector<std::uint32_t> before = img.pixels;
            ASSERT_FALSE(img.canvas.set_pen_width(pen).failed());
            const double a = d * std::acos(-1.0) / 180.0;
            const float x1 = 600, y1 = 500, x2 = float(x1 + 2400 * std::cos(a)), y2 = float(y1 + 2400 * std::sin(a));
            ASSERT_FALSE(img.canvas.draw_line(kGiven, x1, y1, x2, y2, 0).failed());
            ASSERT_TRUE(shaded_by_distance(img, x1, y1, x2, y2, pen)) << d << " degrees, pen " << pen;
            for (std::size_t i = 0; i < img.pixels.size(); ++i) {
                if (img.pixels[i] == before[i]) continue;
                const int x = int(i % std::size_t(img.width)), y = int(i / std::size_t(img.width));
                bool covered = false;
                for (const auto& r : img.canvas.damage())
                    covered |= x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
                ASSERT_TRUE(covered) << "pixel " << x << "," << y << " outside the damage at " << d << " degrees, pen " << pen;
            }
        }
}

TEST(CanvasLines, FarEndPointsDrawWithoutError) {
    Image img(320, 200);
    ASSERT_FALSE(img.canvas.set_pen_width(5).failed());
    // The first ray of the animation, from near the corner to 50000 twips away.
    ASSERT_FALSE(img.canvas.draw_line(kGiven, 1200, 900, -25318.281f, 43115.945f, 0).failed());
    EXPECT_EQ(img.at(80, 60), 0u);
    // A line wholly off the surface changes nothing and shows nothing.
    img.canvas.take_damage();
    ASSERT_FALSE(img.canvas.draw_line(kGiven, -50000, -100, 50000, -1000, 0).failed());
    EXPECT_TRUE(img.canvas.damage().empty());
}

TEST(CanvasLines, ClearRestoresTheBackground) {
    Image img(200, 100);
    ASSERT_FALSE(img.canvas.draw_line(kGiven, 0, 0, 3000, 1500, palette_colour(4)).failed());
    ASSERT_FALSE(img.canvas.clear().failed());
    for (std::uint32_t p : img.pixels) ASSERT_EQ(p & 0xFFFFFF, kBackground);
    ASSERT_EQ(img.canvas.damage().size(), 1u);
    EXPECT_EQ(img.canvas.damage()[0].w, 200);
    EXPECT_EQ(img.canvas.damage()[0].h, 100);
}

TEST(CanvasLines, OptionalArgumentsFollowTheFlags) {
    Image img(200, 200);
    ASSERT_FALSE(img.canvas.set_pen_width(3).failed());
    // No colour given: black. No start given: from where the last line ended.
    ASSERT_FALSE(img.canvas.draw_line(runtime::kLineStartGiven, 150, 1500, 1500, 1500, palette_colour(10)).failed());
    EXPECT_EQ(img.at(50, 100), 0u);
    ASSERT_FALSE(img.canvas.draw_line(runtime::kLineColourGiven, 0, 0, 1500, 2700, palette_colour(12)).failed());
    EXPECT_EQ(img.at(100, 150), palette_colour(12));
}

// Every pixel a line changes must lie in its damage, or the window would not
// show it; the damage must be far smaller than the ray's box, and come in
// far fewer rectangles than the ray has rows.
TEST(CanvasDamage, CoversEveryChangedPixelAndLittleElse) {
    struct Ray {
        float x1, y1, x2, y2;
    };
    const Ray rays[] = {{1200, 900, -25318.281f, 43115.945f}, {3000, 200, 43115.9f, 25318.2f},
                        {0, 0, 28000, 16000},                 {9000, 9000, 9000, 9000},
                        {100, 5000, 28000, 5000},             {14000, 100, 14000, 16000}};
    for (const Ray& r : rays) {
        Image img(1920 / 4, 1080 / 4, 24.0);
        ASSERT_FALSE(img.canvas.set_pen_width(5).failed());
        const std::vector<std::uint32_t> before = img.pixels;
        ASSERT_FALSE(img.canvas.draw_line(kGiven, r.x1, r.y1, r.x2, r.y2, 0).failed());
        long damaged_area = 0;
        for (const auto& rect : img.canvas.damage()) {
            ASSERT_GE(rect.x, 0);
            ASSERT_GE(rect.y, 0);
            ASSERT_LE(rect.x + rect.w, img.width);
            ASSERT_LE(rect.y + rect.h, img.height);
            damaged_area += long(rect.w) * rect.h;
        }
        long changed = 0;
        int rows = 0;
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) {
                if (img.pixels[std::size_t(y) * img.width + x] == before[std::size_t(y) * img.width + x]) continue;
                rows += x == 0 || img.pixels[std::size_t(y) * img.width + x - 1] ==
                                      before[std::size_t(y) * img.width + x - 1];
                ++changed;
                bool covered = false;
                for (const auto& rect : img.canvas.damage())
                    covered |= x >= rect.x && x < rect.x + rect.w && y >= rect.y && y < rect.y + rect.h;
                ASSERT_TRUE(covered) << "pixel " << x << "," << y << " changed outside the damage";
            }
        ASSERT_GT(changed, 0);
        EXPECT_LT(damaged_area, 3 * changed + 400) << "damage far larger than the ray";
        EXPECT_LE(img.canvas.damage().size(), std::size_t(rows / 3 + 2)) << "a rectangle for almost every row";
    }
}

// A frame's rays, from near one corner: merged into bands they still cover
// every damaged pixel, in far fewer rectangles and not much more area.
TEST(CanvasDamage, FrameBandsCoverTheRaysInFewerRectangles) {
    Image img(1920, 1080, 96.0);
    ASSERT_FALSE(img.canvas.set_pen_width(5).failed());
    std::vector<runtime::PixelRect> frame;
    for (int i = 1, drawn = 0; drawn < 5; ++i) {
        const double counter = 100.0 * i; // as the form turns, keeping the rays into the window
        if (std::sin(counter) < 0.2 || std::cos(counter) < 0.2) continue;
        ++drawn;
        ASSERT_FALSE(img.canvas.draw_line(kGiven, 300, 200, float(std::sin(counter) * 50000.0),
                                          float(std::cos(counter) * 50000.0), 0).failed());
        frame.insert(frame.end(), img.canvas.damage().begin(), img.canvas.damage().end());
        img.canvas.take_damage();
    }
    std::vector<char> damaged(img.pixels.size()), covered(img.pixels.size());
    auto paint = [&](std::vector<char>& mask, const runtime::PixelRect& r) {
        for (int y = r.y; y < r.y + r.h; ++y) std::fill_n(&mask[std::size_t(y) * img.width + r.x], r.w, 1);
    };
    for (const auto& r : frame) paint(damaged, r);
    runtime::DamageBands bands;
    const auto merged = bands.merge(frame);
    long merged_area = 0;
    for (const auto& r : merged) {
        paint(covered, r);
        merged_area += long(r.w) * r.h;
    }
    const long damaged_area = std::count(damaged.begin(), damaged.end(), 1);
    for (std::size_t i = 0; i < damaged.size(); ++i)
        ASSERT_TRUE(!damaged[i] || covered[i]) << "pixel " << i % img.width << "," << i / img.width << " lost";
    EXPECT_LE(merged.size() * 3, frame.size());
    EXPECT_LT(merged_area, 3 * damaged_area);
}

TEST(CanvasArguments, BadArgumentsFailAndDrawNothing) {
    Image img(100, 100);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Bad {
        int flags;
        float x1, y1, x2, y2;
        Colour colour;
    };
    const Bad bad_lines[] = {
        {kGiven, nan, 0, 100, 100, 0},     {kGiven, 0, 0, inf, 100, 0},
        {kGiven, 0, -inf, 100, 100, 0},    {kGiven, 0, 0, 1e30f, 100, 0},
        {kGiven, -1e30f, 0, 100, 100, 0},  {kGiven, 0, 0, 100, 1.7e7f, 0},
        {1, 0, 0, 100, 100, 0},            {8 | kGiven, 0, 0, 100, 100, 0},
        {-1, 0, 0, 100, 100, 0},           {kGiven, 0, 0, 100, 100, runtime::kNoColour},
        {kGiven, 0, 0, 100, 100, 0x1000000},
    };
    for (const Bad& b : bad_lines) {
        EXPECT_TRUE(img.canvas.draw_line(b.flags, b.x1, b.y1, b.x2, b.y2, b.colour).failed())
            << b.flags << " " << b.x1 << " " << b.y1 << " " << b.x2 << " " << b.y2 << " " << b.colour;
    }
    for (int width : {0, -1, -5, 1001, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()})
        EXPECT_TRUE(img.canvas.set_pen_width(width).failed()) << width;
    EXPECT_TRUE(img.canvas.set_fill_style(-1).failed());
    EXPECT_TRUE(img.canvas.set_fill_style(8).failed());
    EXPECT_TRUE(img.canvas.set_fill_colour(runtime::kNoColour).failed());
    EXPECT_EQ(img.canvas.pen_width(), 1);
    for (std::uint32_t p : img.pixels) ASSERT_EQ(p & 0xFFFFFF, kBackground);
    EXPECT_TRUE(img.canvas.damage().empty());
}

TEST(CanvasArguments, ImpossiblePixelBuffersAreRefusedAndLeaveTheCanvasDetached) {
    Image img(4, 4);
    constexpr int kMax = std::numeric_limits<int>::max();
    struct Bad {
        int width, height, stride;
    };
    // Among them rows whose byte count does not fit an int.
    const Bad bad_buffers[] = {
        {0, 4, 16}, {4, 0, 16}, {-1, 4, 16}, {4, -1, 16}, {4, 4, 12}, {4, 4, 18}, {4, 4, -16},
        {1 << 29, 1, 4}, {(1 << 30) + 1, 1, 4}, {kMax, 1, 4}, {kMax / 4 + 1, 1, kMax - 3},
    };
    for (const Bad& b : bad_buffers) {
        ASSERT_FALSE(img.canvas.attach(img.pixels.data(), 4, 4, 16).failed());
        EXPECT_TRUE(img.canvas.attach(img.pixels.data(), b.width, b.height, b.stride).failed())
            << b.width << "x" << b.height << " stride " << b.stride;
        EXPECT_EQ(img.canvas.width(), 0);
        EXPECT_FALSE(img.canvas.draw_line(kGiven, 0, 0, 60, 60, 0).failed());
        EXPECT_FALSE(img.canvas.clear().failed());
    }
    for (std::uint32_t p : img.pixels) ASSERT_EQ(p & 0xFFFFFF, kBackground);
}
