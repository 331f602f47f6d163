// The kept picture of a window: 32-bit pixels 0xXXRRGGBB that the canvas
// draws on and the platform shows. It is the only copy of what was drawn.
#pragma once

#include <cstddef>
#include <cstdint>

namespace runtime {

// The top byte of every pixel drawn: opaque to whoever reads it as alpha (a
// compositor's screenshot of an XRGB buffer), ignored by everyone else.
inline constexpr std::uint32_t kOpaque = 0xFF000000u;

struct Picture {
    std::uint32_t* pixels = nullptr;
    int width = 0, height = 0;
    int stride = 0; // bytes

    [[nodiscard]] std::uint32_t* row(int y) const {
        return reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(pixels) +
                                                static_cast<std::ptrdiff_t>(y) * stride);
    }
    friend bool operator==(const Picture&, const Picture&) = default;
};

// Copies the overlap of two pictures and fills the rest of `to` with
// `background`; `from` may have no pixels.
void carry_picture(const Picture& from, const Picture& to, std::uint32_t background);

// One side of a kept picture that a window of `window` pixels now shows:
// the largest the window has been (`kept`), but no more than `bound` (the
// screen's side, 0 when unknown), and never less than the window.
[[nodiscard]] constexpr int kept_extent(int kept, int window, int bound) {
    const int largest = kept > window ? kept : window;
    const int within = largest < bound ? largest : bound;
    return within > window ? within : window;
}

// Within one buffer, a picture going from old_w x old_h to new_w x new_h:
// what was outside the old size becomes background.
void reveal_background(std::uint8_t* pixels, int stride, int old_w, int old_h, int new_w, int new_h,
                       std::uint32_t background);

} // namespace runtime
