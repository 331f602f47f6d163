#include "draw/thick_line.h"

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

inline std::uint32_t blend(std::uint32_t under, Colour over, std::uint32_t alpha) {
    const std::uint32_t inverse = 255 - alpha;
    // Red and blue together, then green: two multiplies instead of three.
    std::uint32_t rb = (over & 0xFF00FF) * alpha + (under & 0xFF00FF) * inverse + 0x800080;
    rb = ((rb + ((rb >> 8) & 0xFF00FF)) >> 8) & 0xFF00FF;
    std::uint32_t g = (over & 0xFF00) * alpha + (under & 0xFF00) * inverse + 0x8000;
    g = ((g + ((g >> 8) & 0xFF00)) >> 8) & 0xFF00;
    return rb | g | kOpaque;
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

// The interior of a row: a handful of pixels on a steep ray, so stored four
// at a time without a call.
inline void fill(std::uint32_t* first, std::uint32_t* last, std::uint32_t pixel) {
    for (; last - first >= 4; first += 4) first[0] = first[1] = first[2] = first[3] = pixel;
    for (; first < last; ++first) *first = pixel;
}

// Fetches rows ahead of the one being drawn: the pixels of the centre line
// and the pen's reach either side of it along the row, the centre stepped
// from row to row.
class RowFetcher {
public:
    RowFetcher(const PixelBuffer& target, double centre, double slope, double reach, int first_row, int last_row)
        : m_pixels(reinterpret_cast<const std::uint8_t*>(target.pixels)), m_stride(target.stride),
          m_max_x(target.width - 1.0), m_centre(centre), m_slope(slope), m_reach(reach), m_last_row(last_row) {
        const int primed = std::min(last_row, first_row + kPrefetchRows - 1);
        for (int row = first_row; row <= primed; ++row) fetch(row);
    }
    // Called for each row in turn, from the first.
    void ahead(int row) {
        if (row + kPrefetchRows <= m_last_row) fetch(row + kPrefetchRows);
    }

private:
    void fetch(int row) {
        const auto* line = reinterpret_cast<const std::uint32_t*>(m_pixels + static_cast<std::ptrdiff_t>(row) * m_stride);
        __builtin_prefetch(line + column(m_centre - m_reach), 1);
        __builtin_prefetch(line + column(m_centre + m_reach), 1);
        m_centre += m_slope;
    }
    // Written so that a NaN, from a centre line past the doubles' range, is 0.
    [[nodiscard]] int column(double x) const { return static_cast<int>(x > 0 ? (x < m_max_x ? x : m_max_x) : 0.0); }

    const std::uint8_t* m_pixels;
    std::ptrdiff_t m_stride;
    double m_max_x, m_centre, m_slope, m_reach;
    int m_last_row;
};

// One stroke: the segment, the pen and where it goes.
class Stroke {
public:
    Stroke(const PixelBuffer& target, double x0, double y0, double x1, double y1, double width, Colour colour,
           Damage& damage)
        : m_target(target), m_damage(damage), m_colour(colour), m_pixel(colour | kOpaque), m_x0(x0), m_y0(y0),
          m_y1(y1), m_dx(x1 - x0), m_dy(y1 - y0), m_outer(width / 2.0 + 0.5), m_inner(width / 2.0 - 0.5) {
        const double length = std::hypot(m_dx, m_dy);
        const double ux = length > 0 ? m_dx / length : 1.0, uy = length > 0 ? m_dy / length : 0.0;
        m_segment = {x0, y0, ux, uy, length, ux != 0 ? 1.0 / ux : 0.0, uy != 0 ? 1.0 / uy : 0.0};
    }

    void draw() const;

private:
    [[nodiscard]] std::uint32_t* row_pointer(int row) const {
        return reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(m_target.pixels) +
                                                static_cast<std::ptrdiff_t>(row) * m_target.stride);
    }
    // An edge pixel, by how far its centre lies inside the pen's edge.
    void shade(std::uint32_t& pixel, double coverage) const {
        if (coverage <= 0) return;
        pixel = coverage >= 1 ? m_pixel : blend(pixel, m_colour, static_cast<std::uint32_t>(coverage * 255.0 + 0.5));
    }
    void band_rows(int first, int last, RowFetcher& fetcher) const;
    void any_row(int row) const;

    const PixelBuffer& m_target;
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
    const double ax = m_segment.ax, ay = m_segment.ay, ux = m_segment.ux, uy = m_segment.uy;
    const double inv_uy = m_segment.inv_uy, x0 = m_x0, y0 = m_y0, outer = m_outer, inner = m_inner;
    const std::uint32_t pixel = m_pixel;
    const Colour colour = m_colour;
    const int last_column = m_target.width - 1;
    // A pixel's level is its coverage in 255ths plus a half, so that its
    // whole part is the weight of the pen's colour.
    auto shade = [=](std::uint32_t& p, double level) {
        if (level < 1) return;
        p = level >= 255 ? pixel : blend(p, colour, static_cast<std::uint32_t>(level));
    };
    const double step = 255.0 * std::fabs(uy); // of the level, a pixel along a ramp
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
        m_damage.add_row_span(row, from, to + 1);

        // Pixels whose centres lie a half pixel inside the edge are covered.
        int solid_from = to + 1, solid_to = to;
        if (inner > 0) {
            const double c = ax + (along - inner) * inv_uy, d = ax + (along + inner) * inv_uy;
            solid_from = std::max(from, ceil_int(std::min(c, d) - 0.5));
            solid_to = std::min(to, floor_int(std::max(c, d) - 0.5));
        }
        // The distance of pixel col's centre from the segment's line is
        // |py ux - px uy| with px = col + 0.5 - x0: the first term is the row's.
        const double across = (cy - y0) * ux;
        std::uint32_t* line = row_pointer(row);
        const int paint_from = std::max(from, outside_left + 1), paint_to = std::min(to, outside_right - 1);
        auto level = [&](int col) { return (outer - std::fabs(across - (col + 0.5 - x0) * uy)) * 255.0 + 0.5; };
        if (solid_from > solid_to) { // a pen too thin to cover a pixel: the centre line is on the ramp
            for (int col = paint_from; col <= paint_to; ++col) shade(line[col], level(col));
            continue;
        }
        // Either side of the covered middle the pixels lie on one side of the
        // centre line, so each level is the last one and a step.
        const int left_end = std::min(paint_to, solid_from - 1), right_from = std::max(paint_from, solid_to + 1);
        double ramp = level(paint_from);
        for (int col = paint_from; col <= left_end; ++col, ramp += step) shade(line[col], ramp);
        fill(line + solid_from, line + solid_to + 1, pixel);
        ramp = level(right_from);
        for (int col = right_from; col <= paint_to; ++col, ramp -= step) shade(line[col], ramp);
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
    m_damage.add_row_span(row, from, to + 1);

    Interval solid;
    if (m_inner > 0) solid = row_interval(cy, m_segment, m_inner);
    const int solid_from = solid.lo <= solid.hi ? static_cast<int>(std::ceil(solid.lo - 0.5)) : to + 1;
    const int solid_to = solid.lo <= solid.hi ? static_cast<int>(std::floor(solid.hi - 0.5)) : to;

    const double ux = m_segment.ux, uy = m_segment.uy, length = m_segment.length;
    std::uint32_t* line = row_pointer(row);
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

void draw_thick_line(const PixelBuffer& target, double x0, double y0, double x1, double y1, double width,
                     Colour colour, Damage& damage) {
    Stroke(target, x0, y0, x1, y1, width, colour, damage).draw();
}

} // namespace runtime
