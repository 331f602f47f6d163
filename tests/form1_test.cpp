// Form1's handlers against the recording runtime.
#include "rays/form1.h"
#include "recording_runtime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>

using rays::Form1;
using testing_support::RecordingRuntime;

namespace {

std::vector<std::string> names(const RecordingRuntime& rt) {
    std::vector<std::string> out;
    for (const auto& op : rt.operations) out.push_back(op.name);
    return out;
}

struct LoadedForm : ::testing::Test {
    RecordingRuntime runtime;
    Form1 form{runtime};
    void SetUp() override {
        form.load();
        runtime.operations.clear();
    }
};

} // namespace

TEST(Form1Load, SetsUpWindowPenAndStartPointInOrder) {
    RecordingRuntime runtime(42);
    Form1 form(runtime);
    EXPECT_EQ(form.state().Counter, 0);
    EXPECT_EQ(form.state().ColourCount, 0);

    form.load();

    const std::vector<std::string> expected = {"window state", "randomize", "next random",
                                               "next random",  "fill style", "palette",
                                               "fill colour",  "pen width"};
    ASSERT_EQ(names(runtime), expected);
    const auto& ops = runtime.operations;
    EXPECT_EQ(ops[0].a, 2);                        // maximised
    EXPECT_EQ(ops[4].a, 1);                        // transparent
    EXPECT_EQ(ops[5].a, 8);                        // grey ...
    EXPECT_EQ(ops[6].a, runtime::rgb(128, 128, 128)); // ... becomes the fill colour
    EXPECT_EQ(ops[7].a, 5);

    const rays::RayState& s = form.state();
    EXPECT_EQ(s.Counter, 0);
    EXPECT_EQ(s.ColourCount, 15);
    ASSERT_EQ(runtime.randoms.size(), 2u);
    EXPECT_EQ(s.OriginX, runtime.randoms[0] * 10000.0f); // the earlier number
    EXPECT_EQ(s.OriginY, runtime.randoms[1] * 10000.0f);
    EXPECT_GE(s.OriginX, 0.0f);
    EXPECT_LT(s.OriginX, 10000.0f);
    EXPECT_GE(s.OriginY, 0.0f);
    EXPECT_LT(s.OriginY, 10000.0f);
}

TEST_F(LoadedForm, FirstThreeTicksMatchTheKnownRays) {
    struct Expected {
        int counter, index;
        float x2, y2;
    };
    const Expected ticks[] = {
        {100, 10, -25318.281f, 43115.945f},
        {200, 5, -43664.863f, 24359.383f},
        {300, 0, -49987.793f, -1104.831f},
    };
    for (const Expected& e : ticks) {
        form.timer_tick();
        EXPECT_EQ(form.state().Counter, e.counter);
        const auto& line = runtime.lines.back();
        EXPECT_EQ(line.palette_index, e.index);
        EXPECT_EQ(line.colour, runtime::palette_colour(e.index));
        EXPECT_FLOAT_EQ(line.x2, e.x2);
        EXPECT_FLOAT_EQ(line.y2, e.y2);
    }
    EXPECT_EQ(runtime.lines.size(), 3u);
}

TEST_F(LoadedForm, EveryRayRunsFromTheStartPointToTheCircleAroundTheCorner) {
    const float ox = form.state().OriginX, oy = form.state().OriginY;
    for (int i = 0; i < 5000; ++i) form.timer_tick();
    ASSERT_EQ(runtime.lines.size(), 5000u);
    double previous_angle = 0;
    for (std::size_t i = 0; i < runtime.lines.size(); ++i) {
        const auto& l = runtime.lines[i];
        ASSERT_EQ(l.flags, 6);
        ASSERT_EQ(l.x1, ox);
        ASSERT_EQ(l.y1, oy);
        // Not offset by the start point: the end lies on the circle around (0, 0).
        ASSERT_NEAR(std::hypot(l.x2, l.y2), 50000.0, 0.01) << "ray " << i;
        // x is the sine and y the cosine, so the angle is atan2(x, y); each
        // ray turns by 100 radians.
        const double angle = std::atan2(l.x2, l.y2);
        if (i > 0) {
            const double turn = std::remainder(angle - previous_angle - 100.0, 2 * std::numbers::pi);
            ASSERT_NEAR(turn, 0.0, 1e-5) << "ray " << i;
        }
        previous_angle = angle;
        // With ColourCount 15 the colours go light green, magenta, black.
        const int rhythm[] = {10, 5, 0};
        ASSERT_EQ(l.palette_index, rhythm[i % 3]) << "ray " << i;
    }
}

TEST_F(LoadedForm, OnlyTheRightButtonEnds) {
    for (std::int16_t button : {runtime::kLeftButton, runtime::kMiddleButton}) {
        form.mouse_down(button, 0, 100.0f, 100.0f);
        EXPECT_FALSE(runtime.ended) << "button " << button;
    }
    form.timer_tick();
    EXPECT_EQ(runtime.lines.size(), 1u);
    form.mouse_down(runtime::kRightButton, 7, 123.0f, 456.0f);
    EXPECT_TRUE(runtime.ended);
    EXPECT_EQ(names(runtime).back(), "end");
}

TEST(Form1Failures, AFailedWindowOperationRaisesTheRunTimeError) {
    for (const char* op : {"window state", "fill style", "fill colour", "pen width"}) {
        RecordingRuntime runtime;
        Form1 form(runtime);
        runtime.fail_next(op);
        try {
            form.load();
            ADD_FAILURE() << op << " failed but load went on";
        } catch (const runtime::RuntimeError& e) {
            EXPECT_EQ(std::string(e.what()), std::string(op) + ": refused by the test");
        }
    }
    RecordingRuntime runtime;
    Form1 form(runtime);
    form.load();
    runtime.fail_next("draw line");
    EXPECT_THROW(form.timer_tick(), runtime::RuntimeError);
}
