// The rectangles a frame's damage is sent to a compositor as.
//
// A frame on Wayland carries the damage of every ray drawn since the last
// one, rectangle by rectangle: a hundred or so, many on the same rows,
// since every ray starts near the same corner. Each costs a request to
// write and, in the compositor, a request to read, a box of its region and
// a composite call. Cut into bands of rows, joined where they overlap and
// stacked while that costs less per pixel shown, the same damage is a few
// dozen rectangles covering little more.
#pragma once

#include "draw/damage.h"

#include <cstdint>
#include <span>
#include <vector>

namespace runtime {

class DamageBands {
public:
    // What a rectangle costs the compositor, in pixels it could copy
    // instead: under weston's pixman renderer about 1.2 us against 0.6 ns.
    static constexpr std::int64_t kRectCost = 2048;

    // Rectangles covering every pixel of `damage`; valid until the next call.
    std::span<const PixelRect> merge(std::span<const PixelRect> damage);

private:
    struct Span {
        int x0, x1;
    };
    void add_band(int y, int h);

    std::vector<PixelRect> m_by_top, m_active;
    std::vector<Span> m_spans;
    std::vector<PixelRect> m_out;
    std::vector<std::int64_t> m_used;             // damaged pixels in each of m_out
    std::vector<std::size_t> m_open, m_next_open; // those of m_out ending at the band
};

} // namespace runtime
