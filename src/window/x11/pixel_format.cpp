#include "window/x11/pixel_format.h"

#include <bit>

namespace runtime {
namespace {

// An 8-bit channel scaled to the bits of `mask` and put in its place;
// scaling repeats the high bits, so 0xFF stays full on and 0 stays off.
std::uint32_t place(std::uint32_t channel, std::uint32_t mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    std::uint32_t value;
    if (bits <= 8) {
        value = channel >> (8 - bits);
    } else {
        value = channel << (bits - 8);
        value |= value >> 8;
    }
    return (value << shift) & mask;
}

} // namespace

std::uint32_t PixelFormat::pixel(std::uint32_t rgb) const {
    return place(rgb >> 16 & 0xFF, red_mask) | place(rgb >> 8 & 0xFF, green_mask) | place(rgb & 0xFF, blue_mask);
}

void convert_rect(const Picture& from, const PixelRect& rect, std::uint8_t* out, int out_stride,
                  const PixelFormat& format) {
    // A ray has a few colours only: the last conversion is remembered.
    std::uint32_t last_in = 0, last_out = format.pixel(0);
    for (int y = rect.y; y < rect.y + rect.h; ++y) {
        const std::uint32_t* in = from.row(y) + rect.x;
        std::uint8_t* row = out + static_cast<std::ptrdiff_t>(y) * out_stride;
        for (int x = 0; x < rect.w; ++x) {
            const std::uint32_t rgb = in[x] & 0xFFFFFF;
            if (rgb != last_in) {
                last_in = rgb;
                last_out = format.pixel(rgb);
            }
            const std::uint32_t p = last_out;
            if (format.bits_per_pixel == 16) {
                std::uint8_t* q = row + 2 * static_cast<std::ptrdiff_t>(rect.x + x);
                q[format.msb_first ? 1 : 0] = static_cast<std::uint8_t>(p);
                q[format.msb_first ? 0 : 1] = static_cast<std::uint8_t>(p >> 8);
            } else {
                std::uint8_t* q = row + 4 * static_cast<std::ptrdiff_t>(rect.x + x);
                for (int b = 0; b < 4; ++b)
                    q[format.msb_first ? 3 - b : b] = static_cast<std::uint8_t>(p >> (8 * b));
            }
        }
    }
}

} // namespace runtime
