// The headless runtime: a form on an image in memory, with no window.
//
// It draws with the same Canvas as the window runtime, so the same seed and
// the same image size give the same pixels. The generator is seeded with the
// given seed even when the form asks for a seed from the clock, so a run can
// be repeated exactly.
#pragma once

#include "draw/canvas_runtime.h"
#include "form/form.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace runtime {

class HeadlessRuntime final : public CanvasRuntime {
public:
    HeadlessRuntime(int width, int height, double dpi, std::uint64_t seed);

    Status set_window_state(int state) override;
    void randomize() override { m_random.seed_with(m_seed); }

    // Loads the form and delivers `ticks` ticks as fast as they run, or fewer
    // if the form ends the program. `progress` hears the ticks done now and then.
    void run(Form& form, long ticks, const std::function<void(long done)>& progress = {});

    [[nodiscard]] int window_state() const { return m_window_state; }
    [[nodiscard]] const std::vector<std::uint32_t>& pixels() const { return m_pixels; }

private:
    std::vector<std::uint32_t> m_pixels;
    std::uint64_t m_seed;
    int m_window_state = kNormal;
};

} // namespace runtime
