// The phase schedule across a whole cycle and into the next, against the
// recording runtime.
#include "rays/form1.h"
#include "recording_runtime.h"
#include "form/random.h"

#include <gtest/gtest.h>

#include <cstdint>

using rays::Form1;
using testing_support::RecordingRuntime;

namespace {

constexpr std::uint64_t kSeed = 99;
constexpr int kPhaseTicks = 10'000;

struct PhaseRecord {
    std::int32_t colour_count_after;
    int wiped_ray_index;  // palette index of the milestone's own ray
    int first_ray_index;  // palette index of the next phase's first ray
    float origin_x, origin_y;
    std::size_t operations_in_milestone_tick;
};

class WholeCycle : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        runtime_ = new RecordingRuntime(kSeed);
        form_ = new Form1(*runtime_);
        form_->load();
        first_origin_ = {form_->state().OriginX, form_->state().OriginY};
        // Six milestones: one whole cycle and the first of the next.
        for (int phase = 0; phase < 6; ++phase) {
            // The first ray of this phase was drawn at the end of the last one.
            for (int t = phase == 0 ? 1 : 2; t < kPhaseTicks; ++t) {
                form_->timer_tick();
                const rays::RayState& s = form_->state();
                ASSERT_LT(s.OriginX, phase == 0 ? 10000.0f : 4000.0f);
                ASSERT_LT(s.OriginY, phase == 0 ? 10000.0f : 4000.0f);
                ASSERT_GE(s.OriginX, 0.0f);
                ASSERT_GE(s.OriginY, 0.0f);
            }
            const std::size_t before = runtime_->operations.size();
            form_->timer_tick();
            const std::size_t in_tick = runtime_->operations.size() - before;
            const int wiped = runtime_->lines.back().palette_index;
            const Form1& f = *form_;
            PhaseRecord r{f.state().ColourCount, wiped, -1, f.state().OriginX, f.state().OriginY, in_tick};
            milestone_ops_.emplace_back(runtime_->operations.begin() + static_cast<long>(before),
                                        runtime_->operations.end());
            form_->timer_tick();
            r.first_ray_index = runtime_->lines.back().palette_index;
            counters_after_first_ray_.push_back(form_->state().Counter);
            records_.push_back(r);
        }
    }
    static void TearDownTestSuite() {
        delete form_;
        delete runtime_;
    }

    static inline RecordingRuntime* runtime_ = nullptr;
    static inline Form1* form_ = nullptr;
    static inline std::pair<float, float> first_origin_;
    static inline std::vector<PhaseRecord> records_;
    static inline std::vector<std::vector<testing_support::Operation>> milestone_ops_;
    static inline std::vector<std::int32_t> counters_after_first_ray_;
};

} // namespace

TEST_F(WholeCycle, ColourCountFollowsTheMilestones) {
    ASSERT_EQ(records_.size(), 6u);
    const std::int32_t expected[] = {8, 6, 8, 12, 6, 8};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(records_[i].colour_count_after, expected[i]) << "milestone " << i + 1;
}

TEST_F(WholeCycle, EachPhaseStartsWhereItsRhythmSays) {
    // Phases 2 to 5, then phase 1 of the second cycle (with 6, not 15), then phase 2 again.
    const int first[] = {4, 0, 4, 8, 4, 4};
    const int wiped[] = {10, 0, 0, 0, 8, 4};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(records_[i].first_ray_index, first[i]) << "phase after milestone " << i + 1;
        EXPECT_EQ(records_[i].wiped_ray_index, wiped[i]) << "milestone " << i + 1;
    }
    // After the reset the count starts over at 100.
    EXPECT_EQ(counters_after_first_ray_[4], 100);
    EXPECT_EQ(counters_after_first_ray_[5], 1'000'100);
}

TEST_F(WholeCycle, MilestoneRayIsDrawnThenWipedAndTheResetTriggersNothingMore) {
    for (std::size_t i = 0; i < milestone_ops_.size(); ++i) {
        std::vector<std::string> names;
        for (const auto& op : milestone_ops_[i]) names.push_back(op.name);
        const std::vector<std::string> expected = {"palette", "draw line", "clear", "next random",
                                                   "next random"};
        EXPECT_EQ(names, expected) << "milestone " << i + 1;
    }
}

TEST_F(WholeCycle, StartPointsComeFromOneSeedingOfTheGenerator) {
    long randomizes = 0, clears = 0;
    for (const auto& op : runtime_->operations) {
        randomizes += op.name == "randomize";
        clears += op.name == "clear";
    }
    EXPECT_EQ(randomizes, 1); // the load's, and never again
    EXPECT_EQ(clears, 6);

    // The numbers go on from the one stream: two at load, two per milestone.
    runtime::Random stream(kSeed);
    EXPECT_EQ(first_origin_.first, stream.next() * 10000.0f);
    EXPECT_EQ(first_origin_.second, stream.next() * 10000.0f);
    for (const PhaseRecord& r : records_) {
        EXPECT_EQ(r.origin_x, stream.next() * 4000.0f);
        EXPECT_EQ(r.origin_y, stream.next() * 4000.0f);
    }
}
