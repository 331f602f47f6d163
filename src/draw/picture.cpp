#include "draw/picture.h"

#include <algorithm>
#include <cstring>

namespace runtime {

void carry_picture(const Picture& from, const Picture& to, std::uint32_t background) {
    const int w = std::min(from.width, to.width), h = std::min(from.height, to.height);
    for (int y = 0; y < to.height; ++y) {
        std::uint32_t* row = to.row(y);
        int kept = 0;
        if (y < h && from.pixels) {
            std::memmove(row, from.row(y), static_cast<std::size_t>(w) * 4);
            kept = w;
        }
        std::fill(row + kept, row + to.width, background);
    }
}

void reveal_background(std::uint8_t* pixels, int stride, int old_w, int old_h, int new_w, int new_h,
                       std::uint32_t background) {
    for (int y = 0; y < new_h; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(y) * stride);
        const int kept = y < old_h ? std::min(old_w, new_w) : 0;
        std::fill(row + kept, row + new_w, background);
    }
}

} // namespace runtime
