// Twips, the form's unit of length, and the resolutions that map them to pixels.
#pragma once

namespace runtime {

// Twips are 1/1440 inch; at 96 dots per inch a pixel is 15 twips.
inline constexpr double kTwipsPerInch = 1440.0;
inline constexpr double kDefaultDpi = 96.0;

// Resolutions outside this range are taken as a misconfiguration.
inline constexpr double kMinDpi = 24.0;
inline constexpr double kMaxDpi = 960.0;

// Whole pixels for a length in twips, at least one.
inline int twips_to_pixels(double twips, double dpi) {
    const double pixels = twips * dpi / kTwipsPerInch + 0.5;
    return pixels < 1 ? 1 : static_cast<int>(pixels);
}

} // namespace runtime
