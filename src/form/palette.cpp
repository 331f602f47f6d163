#include "form/colour.h"

#include <array>

namespace runtime {

Colour palette_colour(int index) {
    static constexpr std::array<Colour, 16> kPalette = {
        rgb(0, 0, 0),       rgb(0, 0, 128),     rgb(0, 128, 0),     rgb(0, 128, 128),
        rgb(128, 0, 0),     rgb(128, 0, 128),   rgb(128, 128, 0),   rgb(192, 192, 192),
        rgb(128, 128, 128), rgb(0, 0, 255),     rgb(0, 255, 0),     rgb(0, 255, 255),
        rgb(255, 0, 0),     rgb(255, 0, 255),   rgb(255, 255, 0),   rgb(255, 255, 255),
    };
    if (index < 0 || index >= static_cast<int>(kPalette.size())) return kNoColour;
    return kPalette[static_cast<std::size_t>(index)];
}

} // namespace runtime
