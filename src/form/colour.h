// Colour values and the standard 16-colour palette.
#pragma once

#include <cstdint>

namespace runtime {

// A colour value 0x00RRGGBB. Anything above 0xFFFFFF is not a colour.
using Colour = std::uint32_t;

inline constexpr Colour kNoColour = 0xFFFFFFFFu;

constexpr bool is_colour(Colour c) { return c <= 0xFFFFFFu; }
constexpr Colour rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return Colour{r} << 16 | Colour{g} << 8 | Colour{b};
}
constexpr std::uint8_t red(Colour c) { return (c >> 16) & 0xFF; }
constexpr std::uint8_t green(Colour c) { return (c >> 8) & 0xFF; }
constexpr std::uint8_t blue(Colour c) { return c & 0xFF; }

// The light face colour of a desktop's windows, which clear paints.
inline constexpr Colour kBackground = rgb(240, 240, 240);

// Colour of the standard PC text-mode palette for index 0 to 15, in its usual
// order (black, blue, green, cyan, red, magenta, yellow, white, then the light
// versions). Any other index gives kNoColour, which drawing rejects.
Colour palette_colour(int index);

} // namespace runtime
