#include "draw/thick_line.h"

#include "draw/blend.h"
#include "draw/picture.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace runtime {
namespace {

// Rows ahead of the one being drawn whose pixels are fetched into the cache.
// Every row of a ray is a new cache line (and, 7680 bytes apart, a new page),
// a miss of some 100 ns when the display server has had the caches since the
// last tick; a row in the cache takes a few ns, so a miss is hidden only a
// few dozen rows ahead.
constexpr int kPrefetchRows = 32;

// How far inside the segment's ends, along it, a row's whole stretch must
// lie for the row to be drawn as the band alone: past a pixel's width, and
// more, so that no rounding brings an end back into it.
constexpr double kBandMargin = 2.0;

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

// floor and ceil for values within int's range, the casts the rows need.
inline int floor_int(double x) {
    const int i = static_cast<int>(x);
    return i - (x < i);
}
inline int ceil_int(double x) {
    const int i = static_cast<int>(x);
    return i + (x > i);
}

// Fetches rows ahead of the one being drawn: the pixels at the pen's
// reach either side of the centre line along the row, both stepped from row
// to row in fixed point (16 fractional bits). Only where the fetches land
// depends on it, so a far or steep centre line is simply clamped: the
// slope to kMaxSlope pixels a row, the columns to the row.
class RowFetcher {
public:
    RowFetcher(const Picture& target, double centre, double slope, double reach, int first_row, int last_row)
        : m_pixels(reinterpret_cast<const std::uint8_t*>(target.pixels)), m_stride(target.stride),
          m_max_x(target.width - 1), m_left(fixed(centre - reach, kFar)), m_right(fixed(centre + reach, kFar)),
          m_step(fixed(slope, kMaxSlope)), m_last_row(last_row) {
        const int primed = std::min(last_row, first_row + kPrefetchRows - 1);
        for (int row = first_row; row <= primed; ++row) fetch(row);
    }
    // Called for each row in turn, from the first.
    void ahead(int row) {
        if (row + kPrefetchRows <= m_last_row) fetch(row + kPrefetchRows);
    }

private:
    static constexpr double kFar = 4294967296.0, kMaxSlope = 4096.0;
    // x in fixed point, within +-bound (a NaN is -bound).
    static std::int64_t fixed(double x, double bound) {
        return static_cast<std::int64_t>((x > -bound ? (x < bound ? x : bound) : -bound) * 65536.0);
    }
    [[nodiscard]] std::int64_t column(std::int64_t x) const {
        const std::int64_t whole = x >> 16;
        return whole < 0 ? 0 : (whole > m_max_x ? m_max_x : whole);
    }
    void fetch(int row) {
        const auto* line = reinterpret_cast<const std::uint32_t*>(m_pixels + static_cast<std::ptrdiff_t>(row) * m_stride);
        __builtin_prefetch(line + column(m_left), 1);
        __builtin_prefetch(line + column(m_right), 1);
        m_left += m_step;
        m_right += m_step;
    }

    const std::uint8_t* m_pixels;
    std::ptrdiff_t m_stride;
    std::int64_t m_max_x, m_left, m_right, m_step, m_last_row;
};

// One stroke: the segment, the pen and where it goes.
class Stroke {
public:
    Stroke(const Picture& target, double x0, double y0, double x1, double y1, double width, Colour colour,
           Damage& damage)
        : m_target(target), m_damage(damage), m_colour(colour), m_pixel(colour | kOpaque), m_x0(x0), m_y0(y0),
          m_y1(y1), m_dx(x1 - x0), m_dy(y1 - y0), m_outer(width / 2.0 + 0.5), m_inner(width / 2.0 - 0.5) {
        const double length = std::hypot(m_dx, m_dy);
        const double ux = length > 0 ? m_dx / length : 1.0, uy = length > 0 ? m_dy / length : 0.0;
        m_segment = {x0, y0, ux, uy, length, ux != 0 ? 1.0 / ux : 0.0, uy != 0 ? 1.0 / uy : 0.0};
    }

    void draw() const;

private:
    // An edge pixel, by how far its centre lies inside the pen's edge.
    void shade(std::uint32_t& pixel, double coverage) const {
        if (coverage <= 0) return;
        pixel = coverage >= 1 ? m_pixel : blend(pixel, m_colour, static_cast<std::uint32_t>(coverage * 255.0 + 0.5));
    }
    void band_rows(int first, int last, RowFetcher& fetcher) const;
    void any_row(int row) const;

    const Picture& m_target;
    Damage& m_damage;
    Colour m_colour;
    std::uint32_t m_pixel;
    double m_x0, m_y0, m_y1, m_dx, m_dy;
    // Coverage ramps from 1 at half a pixel inside the edge to 0 half a
    // pixel outside it.
    double m_outer, m_inner;
    Segment m_segment{};
};

// The rows the ends are far from: the stretch within reach of the segment
// is bounded by the band's two edges alone, each linear in the row, and every
// pixel's distance is along the normal. Only the pixels on the ramps are
// shaded; those between are filled. Everything a row needs is held in
// locals, which the pixel stores cannot touch.
void Stroke::band_rows(int first, int last, RowFetcher& fetcher) const {
    Damage::Rows damage(m_damage);
    const double ax = m_segment.ax, ay = m_segment.ay, ux = m_segment.ux, uy = m_segment.uy;
    const double inv_uy = m_segment.inv_uy, x0 = m_x0, y0 = m_y0, outer = m_outer, inner = m_inner;
    const std::uint32_t pixel = m_pixel;
    const Colour colour = m_colour;
    const int width = m_target.width, last_column = width - 1;
    // of the level, a pixel along a ramp
    const RampShader ramps(colour, 255.0 * std::fabs(uy));
    auto* const pixels = reinterpret_cast<std::uint8_t*>(m_target.pixels);
    const std::ptrdiff_t stride = m_target.stride;
    for (int row = first; row <= last; ++row) {
        fetcher.ahead(row);
        const double cy = row + 0.5;
        const double ry = cy - ay, along = ux * ry;
        const double a = ax + (along - outer) * inv_uy, b = ax + (along + outer) * inv_uy;
        // The first and last pixels of the span have their centres on or
        // outside the edges: they are damaged but never painted.
        const int outside_left = floor_int(std::min(a, b) - 0.5), outside_right = ceil_int(std::max(a, b) - 0.5);
        const int from = std::max(0, outside_left), to = std::min(last_column, outside_right);
        if (from > to) continue;
        damage.add(row, from, to + 1);

        // Pixels whose centres lie a half pixel inside the edge are covered.
        int solid_from = to + 1, solid_to = to;
        if (inner > 0) {
            const double c = ax + (along - inner) * inv_uy, d = ax + (along + inner) * inv_uy;
            solid_from = std::max(from, ceil_int(std::min(c, d) - 0.5));
            solid_to = std::min(to, floor_int(std::max(c, d) - 0.5));
        }
        // The distance of pixel col's centre from the segment's line is
        // |py ux - px uy| with px = col + 0.5 - x0: the first term is the row's.
        // A pixel's level is its coverage in 255ths plus a half.
        const double across = (cy - y0) * ux;
        auto* const line = reinterpret_cast<std::uint32_t*>(pixels + row * stride);
        const int paint_from = std::max(from, outside_left + 1), paint_to = std::min(to, outside_right - 1);
        auto level = [&](int col) { return (outer - std::fabs(across - (col + 0.5 - x0) * uy)) * 255.0 + 0.5; };
        if (solid_from > solid_to) { // a pen too thin to cover a pixel: the centre line is on the ramp
            for (int col = paint_from; col <= paint_to; ++col) shade_level(line[col], colour, level(col));
            continue;
        }
        // Either side of the covered middle the pixels lie on one side of the
        // centre line, so each level is the last one and a step.
        const int left_end = std::min(paint_to, solid_from - 1), right_from = std::max(paint_from, solid_to + 1);
        const double left_level = level(paint_from), right_level = level(right_from);
        if (!ramps.shade_pair(line, width, paint_from, left_end - paint_from + 1, left_level, right_from,
                              paint_to - right_from + 1, right_level)) {
            ramps.shade(line, width, paint_from, left_end, left_level, true);
            ramps.shade(line, width, right_from, paint_to, right_level, false);
        }
        fill_pixels(line + solid_from, line + solid_to + 1, pixel);
    }
}

// Any row, the caps' among them: the stretch is the union of the band's and
// the end discs', and each pixel's distance is to the nearest point of the
// segment, an end or along its normal.
void Stroke::any_row(int row) const {
    const double cy = row + 0.5;
    const Interval touched = row_interval(cy, m_segment, m_outer);
    if (touched.lo > touched.hi) return;
    const int from = std::max(0, static_cast<int>(std::floor(touched.lo - 0.5)));
    const int to = std::min(m_target.width - 1, static_cast<int>(std::ceil(touched.hi - 0.5)));
    if (from > to) return;
    Damage::Rows(m_damage).add(row, from, to + 1);

    Interval solid;
    if (m_inner > 0) solid = row_interval(cy, m_segment, m_inner);
    const int solid_from = solid.lo <= solid.hi ? static_cast<int>(std::ceil(solid.lo - 0.5)) : to + 1;
    const int solid_to = solid.lo <= solid.hi ? static_cast<int>(std::floor(solid.hi - 0.5)) : to;

    const double ux = m_segment.ux, uy = m_segment.uy, length = m_segment.length;
    std::uint32_t* line = m_target.row(row);
    for (int col = from; col <= to; ++col) {
        if (col >= solid_from && col <= solid_to) {
            const int end = std::min(solid_to, to);
            std::fill(line + col, line + end + 1, m_pixel);
            col = end;
            continue;
        }
        const double px = col + 0.5 - m_x0, py = cy - m_y0;
        const double t = px * ux + py * uy;
        double distance;
        if (t <= 0) distance = std::sqrt(px * px + py * py);
        else if (t >= length) distance = std::sqrt((px - m_dx) * (px - m_dx) + (py - m_dy) * (py - m_dy));
        else distance = std::fabs(py * ux - px * uy);
        shade(line[col], m_outer - distance);
    }
}

void Stroke::draw() const {
    const Segment& s = m_segment;
    const double top = std::min(m_y0, m_y1), bottom = std::max(m_y0, m_y1);
    const int first_row = std::max(0, static_cast<int>(std::floor(top - m_outer)));
    const int last_row = std::min(m_target.height - 1, static_cast<int>(std::ceil(bottom + m_outer)));
    if (first_row > last_row) return;

    // The rows whose stretch lies, with kBandMargin to spare, between the
    // lines across the segment's ends: along the segment, the band's edges
    // at height y are at t = (y - ay -+ outer ux) / uy.
    int band_first = last_row + 1, band_last = last_row;
    if (s.uy != 0) {
        const double inset = kBandMargin * std::fabs(s.uy) + m_outer * std::fabs(s.ux);
        const double band_top = top + inset, band_bottom = bottom - inset;
        if (band_top <= band_bottom) {
            band_first = std::max(first_row, static_cast<int>(std::ceil(band_top - 0.5)));
            band_last = std::min(last_row, static_cast<int>(std::floor(band_bottom - 0.5)));
        }
    }
    if (band_first > band_last) { // none: all rows are drawn as any row
        band_first = last_row + 1;
        band_last = last_row;
    }

    const double slope = m_dy != 0 ? m_dx / m_dy : 0.0;
    const double reach = s.uy != 0 ? std::min(m_outer * std::fabs(s.inv_uy), double(m_target.width)) : 0.0;
    RowFetcher fetcher(m_target, m_x0 + (first_row + 0.5 - m_y0) * slope, slope, reach, first_row, last_row);
    for (int row = first_row; row < band_first; ++row) {
        fetcher.ahead(row);
        any_row(row);
    }
    if (band_first <= band_last) band_rows(band_first, band_last, fetcher);
    for (int row = band_last + 1; row <= last_row; ++row) {
        fetcher.ahead(row);
        any_row(row);
    }
}

} // namespace

void draw_thick_line(const Picture& target, double x0, double y0, double x1, double y1, double width,
                     Colour colour, Damage& damage) {
    Stroke(target, x0, y0, x1, y1, width, colour, damage).draw();
}

} // namespace runtime
