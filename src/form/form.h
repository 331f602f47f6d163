// The handlers through which a runtime drives a form.
#pragma once

#include <cstdint>

namespace runtime {

class Form {
public:
    virtual ~Form() = default;
    // Once, before the window is first shown and before any tick.
    virtual void load() = 0;
    // A press in the client area; x and y in twips.
    virtual void mouse_down(std::int16_t button, std::int16_t shift, float x, float y) = 0;
    // Each tick of the form's timer.
    virtual void timer_tick() = 0;
};

} // namespace runtime
