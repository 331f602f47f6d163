#include "runtime/presenter.h"

#include <algorithm>
#include <cstring>

namespace runtime {

void carry_picture(const std::uint8_t* from, int from_w, int from_h, int from_stride, std::uint8_t* to,
                   int to_w, int to_h, int to_stride, std::uint32_t background) {
    const int w = std::min(from_w, to_w), h = std::min(from_h, to_h);
    for (int y = 0; y < to_h; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(to + static_cast<std::ptrdiff_t>(y) * to_stride);
        int kept = 0;
        if (y < h && from) {
            std::memcpy(row, from + static_cast<std::ptrdiff_t>(y) * from_stride, static_cast<std::size_t>(w) * 4);
            kept = w;
        }
        std::fill(row + kept, row + to_w, background);
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
