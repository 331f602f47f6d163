#include "headless/headless_runtime.h"

namespace runtime {

HeadlessRuntime::HeadlessRuntime(int width, int height, double dpi, std::uint64_t seed)
    : CanvasRuntime(dpi), m_pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)),
      m_seed(seed) {
    m_random.seed_with(seed);
    check(m_canvas.attach(m_pixels.data(), width, height, width * 4), "image");
    check(m_canvas.clear(), "clear");
}

Status HeadlessRuntime::set_window_state(int state) {
    if (state < kNormal || state > kMaximised) return Status::failure("unknown window state");
    m_window_state = state;
    return Status::ok();
}

void HeadlessRuntime::run(Form& form, long ticks, const std::function<void(long)>& progress) {
    constexpr long kProgressEvery = 1000;
    form.load();
    for (long done = 0; done < ticks && !ended(); ++done) {
        form.timer_tick();
        m_canvas.take_damage(); // nothing to present
        if (progress && done % kProgressEvery == 0) progress(done);
    }
    if (progress) progress(ticks);
}

} // namespace runtime
