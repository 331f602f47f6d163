#include "draw/thick_line.h"

#include "draw/blend.h"
#include "draw/picture.h"
#include "draw/row_fetcher.h"
#include "draw/segment_reach.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace runtime {
namespace {

// How far inside the segment's ends, along it, a row's whole stretch must
// lie for the row to be drawn as the band alone: past a pixel's width, and
// more, so that no rounding brings an end back into it.
constexpr double kBandMargin = 2.0;

// Fixed point for the band's edges: 32 fractional bits in 64-bit integers.
// Exact for a picture whose sides add up to less than kFixedLimit pixels;
// in a larger one every row is drawn as any row.
constexpr double kFixedOne = 4294967296.0;
constexpr int kFixedLimit = 1 << 28;
inline std::int64_t to_fixed(double x) { return std::llround(x * kFixedOne); }
inline int whole(std::int64_t x) { return static_cast<int>(x >> 32); } // floor
inline int ceiling(std::int64_t x) { return static_cast<int>(-(-x >> 32)); }
inline std::int64_t fixed_column(int col) { return static_cast<std::int64_t>(col) * (std::int64_t{1} << 32); }

// Where the band's edges cross a row, less half a pixel: `lo` and `hi`, in
// fixed point, are the columns whose centres lie on them. A pixel's level,
// its coverage in 255ths plus a half, is a half where its centre is on an
// edge and grows by 255 |uy| a pixel inwards.
struct BandEdges {
    std::int64_t lo, hi;
    std::int64_t ramp;  // its width, 1 / |uy|: the edges lie a pixel outside the covered ones
    double level_unit;  // 255 |uy| over kFixedOne
    [[nodiscard]] double rising(int col, std::int64_t row_lo) const {
        return 0.5 + level_unit * static_cast<double>(fixed_column(col) - row_lo);
    }
    [[nodiscard]] double falling(int col, std::int64_t row_hi) const {
        return 0.5 + level_unit * static_cast<double>(row_hi - fixed_column(col));
    }
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
    // Kept apart (not inlined into one another) so that each loop has the
    // registers to itself: the band's loop holds much, and a rectangle or a
    // long row's state spilt to memory costs more than the calls.
    [[gnu::noinline]] void band_rows(int first, int last, RowFetcher& fetcher) const;
    [[gnu::noinline]] void band_row(std::uint32_t* line, std::int64_t lo, std::int64_t hi, const BandEdges& band,
                                    const RampShader& ramps) const;
    [[gnu::noinline]] void band_damage(int first, int last, std::int64_t lo, std::int64_t hi,
                                       std::int64_t step) const;
    void any_row(int row) const;
    void shade_by_distance(std::uint32_t* line, double cy, int left_first, int left_last, int right_first,
                           int right_last) const;

    const Picture& m_target;
    Damage& m_damage;
    Colour m_colour;
    std::uint32_t m_pixel;
    double m_x0, m_y0, m_y1, m_dx, m_dy;
    // Coverage ramps from 1 at half a pixel inside the edge to 0 half a
    // pixel outside it.
    double m_outer, m_inner;
    UnitSegment m_segment{};
};

// The rows the ends are far from: the stretch within reach of the segment
// is bounded by the band's two edges alone, each linear in the row, and every
// pixel's distance is along the normal. Only the pixels on the ramps are
// shaded; those between are filled. Everything a row needs is held in
// locals, which the pixel stores cannot touch.
//
// The edges are stepped from row to row in fixed point, exact sums, so no
// rounding gathers down a line; a level is then a multiply from its edge.
// Most rows of a ray are steep ones well inside the picture: two ramps of
// at most two pixels around a covered middle, drawn in one blend and a fill.
void Stroke::band_rows(int first, int last, RowFetcher& fetcher) const {
    RowFetcher ahead = fetcher; // held here, where the pixel stores cannot change it
    const UnitSegment& s = m_segment;
    const double slope = s.ux * s.inv_uy, reach = m_outer * std::fabs(s.inv_uy);
    const double centre = s.ax + (first + 0.5 - s.ay) * slope - 0.5;
    const BandEdges band{to_fixed(centre - reach), to_fixed(centre + reach), to_fixed(std::fabs(s.inv_uy)),
                         255.0 * std::fabs(s.uy) / kFixedOne};
    std::int64_t lo = band.lo, hi = band.hi;
    const std::int64_t step = to_fixed(slope);
    const std::uint32_t pixel = m_pixel;
    const bool covers = m_inner > 0;
    const int width = m_target.width;
    const RampShader ramps(m_colour, 255.0 * std::fabs(s.uy));
    auto* bytes = reinterpret_cast<std::uint8_t*>(m_target.row(first));
    const std::ptrdiff_t stride = m_target.stride;
    for (int row = first; row <= last; ++row, lo += step, hi += step, bytes += stride) {
        ahead.ahead();
        auto* const line = reinterpret_cast<std::uint32_t*>(bytes);
        const int outside_left = whole(lo), outside_right = ceiling(hi);
        if (covers && outside_left >= 0 && outside_right <= width - 2) {
            const int solid_from = ceiling(lo + band.ramp), solid_to = whole(hi - band.ramp);
            const int left = outside_left + 1, right = solid_to + 1;
            if (solid_from <= solid_to &&
                ramps.shade_pair(line, width, left, solid_from - left, band.rising(left, lo), right,
                                 outside_right - right, band.falling(right, hi))) {
                fill_pixels(line + solid_from, line + solid_to + 1, pixel);
                continue;
            }
        }
        band_row(line, lo, hi, band, ramps);
    }
    fetcher = ahead;
    band_damage(first, last, band.lo, band.hi, step);
}

// The band's damage, in blocks of rows. A block of n rows of a band that
// slopes by s pixels a row, w pixels wide, is a rectangle of about
// n (w + s (n - 1)) pixels for the n w changed; with kRectCost more for the
// rectangle, that costs least per pixel changed at n = sqrt(kRectCost / s),
// the height at which joining rows one at a time would stop. The spans move
// one way down the band, so a block's are within those of its first and
// last rows.
void Stroke::band_damage(int first, int last, std::int64_t lo, std::int64_t hi, std::int64_t step) const {
    const int last_column = m_target.width - 1, count = last - first + 1;
    const double slope = std::fabs(static_cast<double>(step)) / kFixedOne;
    const double best = slope > 0 ? std::sqrt(static_cast<double>(Damage::kRectCost) / slope) : count;
    const int rows_each = static_cast<int>(std::clamp(std::round(best), 1.0, static_cast<double>(count)));
    Damage::Rows damage(m_damage);
    for (int row = first; row <= last; row += rows_each) {
        const int rows = std::min(rows_each, last - row + 1);
        const std::int64_t top = (row - first) * step, bottom = top + (rows - 1) * step;
        const int first_from = std::max(0, whole(lo + top)), first_to = std::min(last_column, ceiling(hi + top));
        const int last_from = std::max(0, whole(lo + bottom)), last_to = std::min(last_column, ceiling(hi + bottom));
        const int widths = std::max(0, first_to - first_from + 1) + std::max(0, last_to - last_from + 1);
        const std::int64_t used = std::int64_t{rows} * widths / 2;
        damage.add_block(row, rows, std::min(first_from, last_from), std::max(first_to, last_to) + 1, used);
    }
}

// A row of the band the quick way cannot take: cut by a side of the
// picture, with ramps longer than two pixels, or of a pen too thin to cover
// a pixel.
void Stroke::band_row(std::uint32_t* line, std::int64_t lo, std::int64_t hi, const BandEdges& band,
                      const RampShader& ramps) const {
    const int outside_left = whole(lo), outside_right = ceiling(hi);
    const int from = std::max(0, outside_left), to = std::min(m_target.width - 1, outside_right);
    if (from > to) return;
    // Pixels whose centres lie a half pixel inside the edge are covered.
    int solid_from = to + 1, solid_to = to;
    if (m_inner > 0) {
        solid_from = std::max(from, ceiling(lo + band.ramp));
        solid_to = std::min(to, whole(hi - band.ramp));
    }
    // The first and last pixels of the span have their centres on or
    // outside the edges: they are damaged but never painted.
    const int paint_from = std::max(from, outside_left + 1), paint_to = std::min(to, outside_right - 1);
    if (solid_from > solid_to) { // the centre line is on the ramp: a pixel is as far as its nearer edge allows
        for (int col = paint_from; col <= paint_to; ++col)
            shade_level(line[col], m_colour, std::min(band.rising(col, lo), band.falling(col, hi)));
        return;
    }
    // Either side of the covered middle the pixels lie on one side of the
    // centre line, so each level is the last one and a step.
    const int left_end = std::min(paint_to, solid_from - 1), right_from = std::max(paint_from, solid_to + 1);
    ramps.shade(line, m_target.width, paint_from, left_end, band.rising(paint_from, lo), true);
    ramps.shade(line, m_target.width, right_from, paint_to, band.falling(right_from, hi), false);
    fill_pixels(line + solid_from, line + solid_to + 1, m_pixel);
}

// Any row, the caps' among them: the stretch is the union of the band's and
// the end discs', and each pixel's distance is to the nearest point of the
// segment, an end or along its normal.
void Stroke::any_row(int row) const {
    const double cy = row + 0.5;
    const Stretch touched = row_stretch(cy, m_segment, m_outer);
    if (touched.lo > touched.hi) return;
    const int from = std::max(0, static_cast<int>(std::floor(touched.lo - 0.5)));
    const int to = std::min(m_target.width - 1, static_cast<int>(std::ceil(touched.hi - 0.5)));
    if (from > to) return;
    Damage::Rows(m_damage).add(row, from, to + 1);

    Stretch solid;
    if (m_inner > 0) solid = row_stretch(cy, m_segment, m_inner);
    const int solid_from = solid.lo <= solid.hi ? static_cast<int>(std::ceil(solid.lo - 0.5)) : to + 1;
    const int solid_to = solid.lo <= solid.hi ? static_cast<int>(std::floor(solid.hi - 0.5)) : to;

    std::uint32_t* line = m_target.row(row);
    const int fill_from = std::max(from, solid_from), fill_to = std::min(to, solid_to);
    if (fill_from <= fill_to) fill_pixels(line + fill_from, line + fill_to + 1, m_pixel);
    shade_by_distance(line, cy, from, std::min(to, solid_from - 1), std::max(from, solid_to + 1), to);
}

// Pixels left_first..left_last and right_first..right_last of the row
// whose centres are at height cy (either may be empty), each by its
// centre's distance from the segment: from an end where the nearest point
// is one, from the centre line elsewhere. Where SSE2 allows, four at a
// time while they stay in the row: both ends' distances and the centre
// line's are found for every pixel, and the one that holds is taken, to the
// same bytes (the root of a square is the value's size exactly).
void Stroke::shade_by_distance(std::uint32_t* line, double cy, int left_first, int left_last, int right_first,
                               int right_last) const {
    const double ux = m_segment.ux, uy = m_segment.uy, length = m_segment.length;
    const double py = cy - m_y0;
    auto one_by_one = [&](int col, int last) {
        for (; col <= last; ++col) {
            const double px = col + 0.5 - m_x0;
            const double t = px * ux + py * uy;
            double distance;
            if (t <= 0) distance = std::sqrt(px * px + py * py);
            else if (t >= length) distance = std::sqrt((px - m_dx) * (px - m_dx) + (py - m_dy) * (py - m_dy));
            else distance = std::fabs(py * ux - px * uy);
            shade(line[col], m_outer - distance);
        }
    };
#if defined(__SSE2__)
    const __m128d vux = _mm_set1_pd(ux), vuy = _mm_set1_pd(uy), vlength = _mm_set1_pd(length);
    const __m128d vpy2 = _mm_set1_pd(py * py), along = _mm_set1_pd(py * uy);
    const __m128d across = _mm_set1_pd(py * ux), fy = _mm_set1_pd(py - m_dy), vdx = _mm_set1_pd(m_dx);
    const __m128d fy2 = _mm_mul_pd(fy, fy), x0 = _mm_set1_pd(m_x0), half = _mm_set1_pd(0.5);
    const __m128d outer = _mm_set1_pd(m_outer), scale = _mm_set1_pd(255.0), zero = _mm_setzero_pd();
    const __m128i colour16 = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(m_colour)), _mm_setzero_si128());
    auto levels = [&](int at) {
        const __m128d px = _mm_sub_pd(_mm_add_pd(_mm_cvtepi32_pd(_mm_setr_epi32(at, at + 1, 0, 0)), half), x0);
        const __m128d t = _mm_add_pd(_mm_mul_pd(px, vux), along);
        const __m128d before = _mm_cmple_pd(t, zero), beyond = _mm_andnot_pd(before, _mm_cmpge_pd(t, vlength));
        const __m128d normal = _mm_sub_pd(across, _mm_mul_pd(px, vuy));
        const __m128d ex = _mm_sub_pd(px, vdx);
        const __m128d start2 = _mm_add_pd(_mm_mul_pd(px, px), vpy2), end2 = _mm_add_pd(_mm_mul_pd(ex, ex), fy2);
        __m128d square = _mm_mul_pd(normal, normal);
        square = _mm_or_pd(_mm_andnot_pd(before, square), _mm_and_pd(before, start2));
        square = _mm_or_pd(_mm_andnot_pd(beyond, square), _mm_and_pd(beyond, end2));
        return _mm_add_pd(_mm_mul_pd(_mm_sub_pd(outer, _mm_sqrt_pd(square)), scale), half);
    };
    auto in_fours = [&](int col, int last) {
        for (; col <= last && col <= m_target.width - 4; col += 4) {
            __m128i* const at = reinterpret_cast<__m128i*>(line + col);
            const __m128i alpha = sse2::weights(levels(col), levels(col + 2), _mm_set1_epi32(last - col + 1));
            _mm_storeu_si128(at, sse2::blend4(_mm_loadu_si128(at), alpha, colour16));
        }
        one_by_one(col, last);
    };
    in_fours(left_first, left_last);
    in_fours(right_first, right_last);
#else
    one_by_one(left_first, left_last);
    one_by_one(right_first, right_last);
#endif
}

void Stroke::draw() const {
    const UnitSegment& s = m_segment;
    const double top = std::min(m_y0, m_y1), bottom = std::max(m_y0, m_y1);
    const int first_row = std::max(0, static_cast<int>(std::floor(top - m_outer)));
    const int last_row = std::min(m_target.height - 1, static_cast<int>(std::ceil(bottom + m_outer)));
    if (first_row > last_row) return;

    // The rows whose stretch lies, with kBandMargin to spare, between the
    // lines across the segment's ends: along the segment, the band's edges
    // at height y are at t = (y - ay -+ outer ux) / uy.
    int band_first = last_row + 1, band_last = last_row;
    if (s.uy != 0 && m_target.width + m_target.height < kFixedLimit) {
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
        fetcher.ahead();
        any_row(row);
    }
    if (band_first <= band_last) band_rows(band_first, band_last, fetcher);
    for (int row = band_last + 1; row <= last_row; ++row) {
        fetcher.ahead();
        any_row(row);
    }
}

} // namespace

void draw_thick_line(const Picture& target, double x0, double y0, double x1, double y1, double width,
                     Colour colour, Damage& damage) {
    Stroke(target, x0, y0, x1, y1, width, colour, damage).draw();
}

} // namespace runtime
