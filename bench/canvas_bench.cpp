// Micro-benchmarks: one anti-aliased ray on a 1920x1080 canvas with the
// geometry of a real cycle, the bands a compositor is sent a frame's rays
// as, and one tick of the form on a canvas that draws nothing.
#include "rays/form1.h"
#include "draw/canvas.h"
#include "draw/canvas_runtime.h"
#include "draw/damage_bands.h"
#include "form/random.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kGiven = runtime::kLineStartGiven | runtime::kLineColourGiven;

// The rays of a cycle: the real angles, start points as the phases draw them.
struct Ray {
    float x1, y1, x2, y2;
    runtime::Colour colour;
};

std::vector<Ray> cycle_rays(int count) {
    std::vector<Ray> rays;
    runtime::Random random(1);
    float ox = random.next() * 10000.0f, oy = random.next() * 10000.0f;
    for (int i = 1; i <= count; ++i) {
        const double counter = 100.0 * i;
        if (i % 10000 == 0) {
            ox = random.next() * 4000.0f;
            oy = random.next() * 4000.0f;
        }
        rays.push_back({ox, oy, static_cast<float>(std::sin(counter) * 50000.0),
                        static_cast<float>(std::cos(counter) * 50000.0),
                        runtime::palette_colour(i % 3 == 0 ? 0 : 10)});
    }
    return rays;
}

// The rays of a cycle drawn one an iteration on a 1920x1080 canvas; with
// `cold_caches`, 64 MB of other memory is walked (untimed) before each.
void draw_rays(benchmark::State& state, bool cold_caches) {
    const std::vector<Ray> rays = cycle_rays(50000);
    std::vector<std::uint32_t> pixels(std::size_t(kWidth) * kHeight);
    std::vector<std::uint64_t> elsewhere(cold_caches ? std::size_t(64) << 20 >> 3 : 0, 1);
    runtime::Canvas canvas(96.0);
    if (canvas.attach(pixels.data(), kWidth, kHeight, kWidth * 4).failed() ||
        canvas.set_pen_width(5).failed() || canvas.clear().failed()) {
        state.SkipWithError("cannot set up the canvas");
        return;
    }
    std::size_t i = 0;
    std::uint64_t sum = 0;
    for (auto _ : state) {
        if (cold_caches) {
            state.PauseTiming();
            for (std::size_t k = 0; k < elsewhere.size(); k += 8) sum += elsewhere[k]++;
            benchmark::DoNotOptimize(sum);
            state.ResumeTiming();
        }
        const Ray& r = rays[i++ % rays.size()];
        benchmark::DoNotOptimize(canvas.draw_line(kGiven, r.x1, r.y1, r.x2, r.y2, r.colour));
        canvas.take_damage();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void BM_DrawRay(benchmark::State& state) { draw_rays(state, false); }
BENCHMARK(BM_DrawRay);

// The same, as the program meets it: between two ticks the display server
// and everything else on the machine have had the caches, so every row of
// the ray starts with a miss.
void BM_DrawRayColdCache(benchmark::State& state) { draw_rays(state, true); }
BENCHMARK(BM_DrawRayColdCache);

// A frame's damage as the Wayland window sends it: the rectangles of the
// rays drawn since the last frame (two or three, at 100 ticks a second
// and weston's 39 frames), merged into bands.
void BM_DamageBands(benchmark::State& state) {
    const std::vector<Ray> rays = cycle_rays(3000);
    std::vector<std::uint32_t> pixels(std::size_t(kWidth) * kHeight);
    runtime::Canvas canvas(96.0);
    if (canvas.attach(pixels.data(), kWidth, kHeight, kWidth * 4).failed() || canvas.set_pen_width(5).failed()) {
        state.SkipWithError("cannot set up the canvas");
        return;
    }
    std::vector<std::vector<runtime::PixelRect>> frames(1);
    for (std::size_t i = 0; i < rays.size(); ++i) {
        const Ray& r = rays[i];
        (void)canvas.draw_line(kGiven, r.x1, r.y1, r.x2, r.y2, r.colour);
        frames.back().insert(frames.back().end(), canvas.damage().begin(), canvas.damage().end());
        canvas.take_damage();
        if (i % 5 == 1 || i % 5 == 4) frames.emplace_back(); // 2.5 rays a frame
    }
    runtime::DamageBands bands;
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(bands.merge(frames[i++ % frames.size()]).size());
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_DamageBands);

// A runtime whose window draws nothing: what the form itself costs per tick.
class NullRuntime final : public runtime::CanvasRuntime {
public:
    NullRuntime() : CanvasRuntime(96.0) {}
    runtime::Status set_window_state(int) override { return runtime::Status::ok(); }
};

void BM_FormTick(benchmark::State& state) {
    NullRuntime null;
    rays::Form1 form(null);
    form.load();
    for (auto _ : state) form.timer_tick();
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_FormTick);

} // namespace

BENCHMARK_MAIN();
