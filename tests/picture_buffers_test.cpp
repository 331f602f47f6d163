// The picture kept in buffers that a compositor holds and releases: under
// every way of releasing, each buffer handed over shows exactly what was
// drawn, and nothing changes in a buffer while the compositor holds it.
#include "draw/picture_buffers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <vector>

namespace {

using runtime::Picture;
using runtime::PictureBuffers;
using runtime::PixelRect;

struct Memory {
    std::vector<std::uint32_t> pixels;
};
struct FakeBuffer final : Memory, PictureBuffers::Buffer {
    FakeBuffer(int w, int h)
        : Memory{std::vector<std::uint32_t>(std::size_t(w) * h, 0xDEADBEEF)}, Buffer({pixels.data(), w, h, w * 4}) {}
};
std::vector<std::uint32_t> contents(const PictureBuffers::Buffer* b) {
    return static_cast<const FakeBuffer*>(b)->pixels;
}

// How many hand-overs later the compositor releases a buffer; -1 holds every
// buffer for 20 hand-overs' worth of drawing, then releases them all.
class ReleasePolicy : public testing::TestWithParam<int> {};

TEST_P(ReleasePolicy, EveryHandOverShowsWhatWasDrawnAndHeldBuffersStayUntouched) {
    const int release_after = GetParam();
    PictureBuffers buffers([](int w, int h) { return std::make_unique<FakeBuffer>(w, h); });
    int w = 64, h = 48;
    buffers.resize(w, h, 0xFF101010);
    std::vector<std::uint32_t> expected(std::size_t(w) * h, 0xFF101010);
    std::map<const PictureBuffers::Buffer*, std::vector<std::uint32_t>> held; // as handed over
    std::vector<const PictureBuffers::Buffer*> order;
    std::vector<PixelRect> damage;
    std::mt19937 rng(7);
    int moved_at_release = 0;
    auto release = [&](const PictureBuffers::Buffer* b) {
        ASSERT_EQ(contents(b), held[b]) << "written while held";
        held.erase(b);
        buffers.released(const_cast<PictureBuffers::Buffer*>(b));
        if (rng() % 2) { // the picture moves as the release comes, never onto a new buffer
            const std::size_t count = buffers.count();
            moved_at_release += buffers.claim_released();
            ASSERT_EQ(buffers.count(), count);
        }
    };
    for (int step = 0; step < 300; ++step) {
        if (step == 150) { // the window shrinks: what fits stays
            std::vector<std::uint32_t> kept(std::size_t(40) * 30);
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x) kept[std::size_t(y) * 40 + x] = expected[std::size_t(y) * w + x];
            w = 40, h = 30;
            buffers.resize(w, h, 0xFF101010);
            expected = kept;
            damage = {{0, 0, w, h}};
        }
        buffers.claim();
        const Picture p = buffers.picture();
        for (const auto& [b, contents] : held) ASSERT_NE(p.pixels, b->picture().pixels) << "drawing on a held buffer";
        const PixelRect r{int(rng() % w), int(rng() % h), 1 + int(rng() % 20), 1 + int(rng() % 12)};
        const std::uint32_t colour = 0xFF000000u | (rng() & 0xFFFFFF);
        for (int y = r.y; y < std::min(h, r.y + r.h); ++y)
            for (int x = r.x; x < std::min(w, r.x + r.w); ++x) p.row(y)[x] = expected[std::size_t(y) * w + x] = colour;
        damage.push_back(r);
        if (const PictureBuffers::Buffer* b = buffers.hand_over(damage)) {
            damage.clear();
            ASSERT_EQ(contents(b), expected) << "step " << step;
            held[b] = expected;
            order.push_back(b);
        }
        ASSERT_LE(buffers.count(), PictureBuffers::kMaxBuffers);
        if (release_after >= 0) {
            while (order.size() > std::size_t(release_after)) {
                release(order.front());
                order.erase(order.begin());
            }
        } else if (step % 20 == 19) {
            for (const auto* b : order) release(b);
            order.clear();
        }
    }
    EXPECT_TRUE(release_after != 1 || moved_at_release > 0) << "released a hand-over later, none moved the picture";
}

INSTANTIATE_TEST_SUITE_P(PictureBuffers, ReleasePolicy, testing::Values(0, 1, 2, -1));

} // namespace
