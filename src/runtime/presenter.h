// Shows a window's kept picture: the pixel buffer the canvas draws on, and
// the way its changed parts reach the screen.
//
// The buffer is the only copy of the picture. A resize keeps the part that
// still fits and paints the rest with the background.
#pragma once

#include "runtime/damage.h"

#include <cstdint>

namespace runtime {

class Presenter {
public:
    virtual ~Presenter() = default;

    // 32-bit pixels 0xXXRRGGBB; valid until the next resize().
    [[nodiscard]] virtual std::uint32_t* pixels() = 0;
    [[nodiscard]] virtual int width() const = 0;
    [[nodiscard]] virtual int height() const = 0;
    [[nodiscard]] virtual int stride() const = 0; // bytes

    // Follows the window to its size in pixels, if that changed. Returns
    // true when the buffer was replaced.
    virtual bool follow_window_size() = 0;

    virtual void present(const Damage& damage) = 0;
    virtual void present_all() = 0;

    // Waits until the window system may have events for SDL to read, or
    // `timeout_ms` has passed (-1: no limit). True when there may be events.
    virtual bool wait_for_events(int timeout_ms) = 0;
};

// Copies the overlap of two pixel buffers and fills the rest of `to` with
// `background`.
void carry_picture(const std::uint8_t* from, int from_w, int from_h, int from_stride, std::uint8_t* to,
                   int to_w, int to_h, int to_stride, std::uint32_t background);

// Within one buffer, a picture going from old_w x old_h to new_w x new_h:
// what was outside the old size becomes background.
void reveal_background(std::uint8_t* pixels, int stride, int old_w, int old_h, int new_w, int new_h,
                       std::uint32_t background);

} // namespace runtime
