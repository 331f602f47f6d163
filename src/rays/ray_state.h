// What Form1 holds for its whole life.
#pragma once

#include <cstdint>

namespace rays {

struct RayState {
    // Angle of the latest ray in radians, and the clock of the phases:
    // always a multiple of 100 in [0, 5,000,000].
    std::int32_t Counter = 0;
    // Start point of every ray, in twips.
    float OriginX = 0.0f;
    float OriginY = 0.0f;
    // Modulus that picks each ray's palette index.
    std::int32_t ColourCount = 0;
};

} // namespace rays
