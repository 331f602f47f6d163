// Form1: the window that draws the rays.
//
// Every tick draws one thick ray from the start point towards a circle of
// 50000 twips around the top-left corner, turned 100 radians further than
// the one before, coloured by Counter mod ColourCount. Every 10,000 rays the
// window is wiped and the rhythm changes. A right-button press ends it all.
#pragma once

#include "rays/ray_state.h"
#include "form/form.h"
#include "form/form_runtime.h"

#include <cstdint>

namespace rays {

class Form1 final : public runtime::Form {
public:
    static constexpr runtime::FormDescription kDescription{
        .caption = "Form1",
        .client_width_twips = 4680,
        .client_height_twips = 3090,
        .timer_interval_ms = 10, // Timer1
        .timer_enabled = true,
    };

    explicit Form1(runtime::FormRuntime& runtime) : m_runtime(runtime) {}

    void load() override;
    void mouse_down(std::int16_t button, std::int16_t shift, float x, float y) override;
    void timer_tick() override; // Timer1

    [[nodiscard]] const RayState& state() const { return m_state; }

private:
    void run_phase_schedule();

    runtime::FormRuntime& m_runtime;
    RayState m_state;
};

} // namespace rays
