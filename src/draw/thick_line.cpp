#include "draw/thick_line.h"

#include "draw/picture.h"

#include <algorithm>
#include <cmath>

namespace runtime {
namespace {

// Rows ahead whose first touched pixel is fetched into the cache while this
// row is drawn: a tall ray meets a new cache line on every row.
constexpr int kPrefetchRows = 8;

struct Interval {
    double lo = INFINITY, hi = -INFINITY;
    void unite(double a, double b) {
        if (a > b) return;
        lo = std::min(lo, a);
        hi = std::max(hi, b);
    }
};

// The segment from a along the unit vector u for `length`, and the
// reciprocals that turn its bounds into x on a row.
struct Segment {
    double ax, ay, ux, uy, length;
    double inv_ux, inv_uy; // 0 where the component is 0
};

// The stretch of the row at height y that lies within `reach` of the segment.
// The set of such points is convex, so it is the union of what the band
// around the segment and the discs around its ends each give.
Interval row_interval(double y, const Segment& s, double reach) {
    Interval row;
    // Discs at both ends.
    for (const double t : {0.0, s.length}) {
        const double cy = s.ay + s.uy * t;
        const double dy = y - cy;
        const double span2 = reach * reach - dy * dy;
        if (span2 >= 0) {
            const double cx = s.ax + s.ux * t;
            const double span = std::sqrt(span2);
            row.unite(cx - span, cx + span);
        }
    }
    // The band: |n.(p - a)| <= reach with n = (-uy, ux), and
    // 0 <= u.(p - a) <= length, for p = (x, y); each is linear in x.
    const double ry = y - s.ay;
    double lo = -INFINITY, hi = INFINITY;
    if (s.uy != 0) {
        // -uy (x - ax) + ux ry in [-reach, reach]
        const double a = s.ax + (s.ux * ry - reach) * s.inv_uy, b = s.ax + (s.ux * ry + reach) * s.inv_uy;
        lo = std::max(lo, std::min(a, b));
        hi = std::min(hi, std::max(a, b));
    } else if (std::fabs(ry) > reach) {
        return row;
    }
    if (s.ux != 0) {
        // ux (x - ax) + uy ry in [0, length]
        const double a = s.ax - s.uy * ry * s.inv_ux, b = s.ax + (s.length - s.uy * ry) * s.inv_ux;
        lo = std::max(lo, std::min(a, b));
        hi = std::min(hi, std::max(a, b));
    } else if (s.uy * ry < 0 || s.uy * ry > s.length) {
        return row;
    }
    row.unite(lo, hi);
    return row;
}

inline std::uint32_t blend(std::uint32_t under, Colour over, std::uint32_t alpha) {
    const std::uint32_t inverse = 255 - alpha;
    // Red and blue together, then green: two multiplies instead of three.
    std::uint32_t rb = (over & 0xFF00FF) * alpha + (under & 0xFF00FF) * inverse + 0x800080;
    rb = ((rb + ((rb >> 8) & 0xFF00FF)) >> 8) & 0xFF00FF;
    std::uint32_t g = (over & 0xFF00) * alpha + (under & 0xFF00) * inverse + 0x8000;
    g = ((g + ((g >> 8) & 0xFF00)) >> 8) & 0xFF00;
    return rb | g | kOpaque;
}

} // namespace

void draw_thick_line(const PixelBuffer& target, double x0, double y0, double x1, double y1, double width,
                     Colour colour, Damage& damage) {
    const std::uint32_t pixel = colour | kOpaque;
    const double radius = width / 2.0;
    const double dx = x1 - x0, dy = y1 - y0;
    const double length = std::hypot(dx, dy);
    const double ux = length > 0 ? dx / length : 1.0, uy = length > 0 ? dy / length : 0.0;
    const Segment segment{x0, y0, ux, uy, length, ux != 0 ? 1.0 / ux : 0.0, uy != 0 ? 1.0 / uy : 0.0};
    // Coverage ramps from 1 at half a pixel inside the edge to 0 half a
    // pixel outside it.
    const double outer = radius + 0.5, inner = radius - 0.5;

    const int first_row = std::max(0, static_cast<int>(std::floor(std::min(y0, y1) - outer)));
    const int last_row = std::min(target.height - 1, static_cast<int>(std::ceil(std::max(y0, y1) + outer)));
    auto row_pointer = [&](int row) {
        return reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(target.pixels) +
                                                static_cast<std::ptrdiff_t>(row) * target.stride);
    };
    for (int row = first_row; row <= last_row; ++row) {
        const double cy = row + 0.5;
        const Interval touched = row_interval(cy, segment, outer);
        if (touched.lo > touched.hi) continue;
        const int from = std::max(0, static_cast<int>(std::floor(touched.lo - 0.5)));
        const int to = std::min(target.width - 1, static_cast<int>(std::ceil(touched.hi - 0.5)));
        if (from > to) continue;
        damage.add_row_span(row, from, to + 1);
        if (row + kPrefetchRows <= last_row && dy != 0) {
            const double ahead_x = x0 + (cy + kPrefetchRows - y0) * dx / dy;
            const int ahead = static_cast<int>(std::clamp(ahead_x, 0.0, target.width - 1.0));
            __builtin_prefetch(row_pointer(row + kPrefetchRows) + ahead, 1);
        }

        // Pixels whose centres lie a half pixel inside the edge are covered.
        Interval solid;
        if (inner > 0) solid = row_interval(cy, segment, inner);
        const int solid_from = solid.lo <= solid.hi ? static_cast<int>(std::ceil(solid.lo - 0.5)) : to + 1;
        const int solid_to = solid.lo <= solid.hi ? static_cast<int>(std::floor(solid.hi - 0.5)) : to;

        std::uint32_t* line = row_pointer(row);
        for (int col = from; col <= to; ++col) {
            if (col >= solid_from && col <= solid_to) {
                const int end = std::min(solid_to, to);
                std::fill(line + col, line + end + 1, pixel);
                col = end;
                continue;
            }
            const double px = col + 0.5 - x0, py = cy - y0;
            // Beside the segment the distance is along its normal; past
            // either end it is to that end.
            const double t = px * ux + py * uy;
            double distance;
            if (t <= 0) distance = std::sqrt(px * px + py * py);
            else if (t >= length) distance = std::sqrt((px - dx) * (px - dx) + (py - dy) * (py - dy));
            else distance = std::fabs(py * ux - px * uy);
            const double coverage = outer - distance;
            if (coverage <= 0) continue;
            if (coverage >= 1) {
                line[col] = pixel;
                continue;
            }
            const auto alpha = static_cast<std::uint32_t>(coverage * 255.0 + 0.5);
            line[col] = blend(line[col], colour, alpha);
        }
    }
}

} // namespace runtime
