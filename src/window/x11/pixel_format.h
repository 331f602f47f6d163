// How a TrueColor visual lays out a pixel, and the conversion of the kept
// 32-bit picture into it, rectangle by rectangle, for screens of depth 15,
// 16 or 30.
#pragma once

#include "draw/damage.h"
#include "draw/picture.h"

#include <cstdint>

namespace runtime {

struct PixelFormat {
    int depth = 24;
    int bits_per_pixel = 32; // 16 or 32
    int scanline_pad = 32;   // bits
    std::uint32_t red_mask = 0xFF0000, green_mask = 0xFF00, blue_mask = 0xFF;
    bool msb_first = false; // the server's image byte order

    // The picture's own layout: it can be shown without converting.
    [[nodiscard]] bool is_picture_layout() const {
        return bits_per_pixel == 32 && red_mask == 0xFF0000 && green_mask == 0xFF00 && blue_mask == 0xFF &&
               !msb_first;
    }
    // Bytes in a row of `width` pixels, padded as the server wants.
    [[nodiscard]] int stride(int width) const {
        const long bits = static_cast<long>(width) * bits_per_pixel;
        return static_cast<int>((bits + scanline_pad - 1) / scanline_pad * scanline_pad / 8);
    }
    // One picture colour (0xRRGGBB) as this format's pixel value.
    [[nodiscard]] std::uint32_t pixel(std::uint32_t rgb) const;
};

// Converts the pixels of `rect` from the picture into `out`, an image of the
// picture's size in `format` with `out_stride` bytes a row.
void convert_rect(const Picture& from, const PixelRect& rect, std::uint8_t* out, int out_stride,
                  const PixelFormat& format);

} // namespace runtime
