#include "rays/form1.h"

#include <cmath>

namespace rays {
namespace {

using runtime::check;

constexpr std::int32_t kCounterStep = 100;  // radians between successive rays
constexpr double kRayRadius = 50000.0;      // twips from the top-left corner
constexpr float kFirstOriginRange = 10000.0f;
constexpr std::int32_t kFirstColourCount = 15;
constexpr int kPenWidth = 5;
constexpr int kGreyFill = 8;

// Every 10,000 rays a new phase: the window is wiped, the colour rhythm
// changes and the rays get a new start point; the last one starts over.
struct Milestone {
    std::int32_t counter;
    std::int32_t colour_count;
};
constexpr Milestone kMilestones[] = {
    {1'000'000, 8}, {2'000'000, 6}, {3'000'000, 8}, {4'000'000, 12}, {5'000'000, 6},
};
constexpr std::int32_t kCycleEnd = 5'000'000;
constexpr float kLaterOriginRange = 4000.0f;

} // namespace

void Form1::load() {
    check(m_runtime.set_window_state(runtime::kMaximised), "window state");
    m_state.ColourCount = kFirstColourCount;
    m_runtime.randomize();
    // Two statements, so that OriginX always takes the earlier number.
    m_state.OriginX = m_runtime.next_random() * kFirstOriginRange;
    m_state.OriginY = m_runtime.next_random() * kFirstOriginRange;
    check(m_runtime.set_fill_style(runtime::kFillTransparent), "fill style");
    check(m_runtime.set_fill_colour(m_runtime.palette(kGreyFill)), "fill colour");
    check(m_runtime.set_pen_width(kPenWidth), "pen width");
}

void Form1::mouse_down(std::int16_t button, std::int16_t /*shift*/, float /*x*/, float /*y*/) {
    if (button == runtime::kRightButton) m_runtime.end();
}

void Form1::timer_tick() {
    m_state.Counter += kCounterStep;
    const double angle = static_cast<double>(m_state.Counter);
    const double s = std::sin(angle);
    const double c = std::cos(angle);
    const auto index = static_cast<std::int16_t>(m_state.Counter % m_state.ColourCount);
    const runtime::Colour colour = m_runtime.palette(index);
    // The end point circles the corner, not the start point.
    const auto x2 = static_cast<float>(s * kRayRadius);
    const auto y2 = static_cast<float>(c * kRayRadius);
    check(m_runtime.draw_line(runtime::kLineStartGiven | runtime::kLineColourGiven,
                              m_state.OriginX, m_state.OriginY, x2, y2, colour),
          "draw line");
    run_phase_schedule();
}

void Form1::run_phase_schedule() {
    for (const Milestone& m : kMilestones) {
        if (m_state.Counter != m.counter) continue;
        check(m_runtime.clear(), "clear");
        m_state.ColourCount = m.colour_count;
        m_state.OriginX = m_runtime.next_random() * kLaterOriginRange;
        m_state.OriginY = m_runtime.next_random() * kLaterOriginRange;
        if (m.counter == kCycleEnd) m_state.Counter = 0;
        return;
    }
}

} // namespace rays
