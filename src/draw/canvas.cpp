#include "draw/canvas.h"

#include "form/form_runtime.h"
#include "draw/line_clip.h"
#include "draw/thick_line.h"

#include <algorithm>
#include <cmath>

namespace runtime {
namespace {

// Damage is taken in bands of about this many pixels along a line.
constexpr double kBandLength = 32.0;

bool valid_coordinate(float v) {
    return std::isfinite(v) && std::fabs(v) <= kMaxCoordinateTwips;
}

} // namespace

Canvas::Canvas(double dpi) : m_twips_per_pixel(kTwipsPerInch / dpi) {}

Status Canvas::attach(std::uint32_t* pixels, int width, int height, int stride) {
    m_pixels = nullptr;
    m_width = m_height = m_stride = 0;
    m_damage.clear();
    if (!pixels) return Status::ok();
    if (width <= 0 || height <= 0 || stride < std::int64_t{width} * 4 || stride % 4 != 0)
        return Status::failure("bad pixel buffer");
    m_pixels = pixels;
    m_width = width;
    m_height = height;
    m_stride = stride;
    return Status::ok();
}

Status Canvas::set_pen_width(int pixels) {
    if (pixels < 1 || pixels > kMaxPenWidth) return Status::failure("pen width out of range");
    m_pen_width = pixels;
    return Status::ok();
}

Status Canvas::set_fill_style(int style) {
    if (style < kFillSolid || style > kFillLast) return Status::failure("unknown fill style");
    m_fill_style = style;
    return Status::ok();
}

Status Canvas::set_fill_colour(Colour colour) {
    if (!is_colour(colour)) return Status::failure("invalid colour");
    m_fill_colour = colour;
    return Status::ok();
}

Status Canvas::clear() {
    m_current_x = m_current_y = 0;
    if (!m_pixels) return Status::ok();
    auto* row = reinterpret_cast<std::uint8_t*>(m_pixels);
    for (int y = 0; y < m_height; ++y, row += m_stride) {
        auto* first = reinterpret_cast<std::uint32_t*>(row);
        std::fill(first, first + m_width, kBackground);
    }
    m_damage.clear();
    m_damage.add({0, 0, m_width, m_height});
    return Status::ok();
}

Status Canvas::draw_line(int flags, float x1, float y1, float x2, float y2, Colour colour) {
    if (flags & ~(kLineStartGiven | kLineColourGiven)) return Status::failure("unknown line flags");
    if (!(flags & kLineColourGiven)) colour = 0;
    if (!is_colour(colour)) return Status::failure("invalid colour");
    if (!(flags & kLineStartGiven)) {
        x1 = static_cast<float>(m_current_x);
        y1 = static_cast<float>(m_current_y);
    }
    if (!valid_coordinate(x1) || !valid_coordinate(y1) || !valid_coordinate(x2) ||
        !valid_coordinate(y2))
        return Status::failure("coordinate out of range");
    m_current_x = x2;
    m_current_y = y2;
    if (!m_pixels) return Status::ok();

    // A twip coordinate names the pixel it falls in; pixel n covers
    // [n, n + 1), so its centre is at n + 0.5.
    const double k = 1.0 / m_twips_per_pixel;
    Segment s{x1 * k + 0.5, y1 * k + 0.5, x2 * k + 0.5, y2 * k + 0.5};
    // Keep the round caps of a clipped end outside the surface.
    const double margin = m_pen_width / 2.0 + 2.0;
    if (!clip_segment(s, -margin, -margin, m_width + margin, m_height + margin))
        return Status::ok();

    // Lines are the animation's hot path: drawn by a rasteriser made for
    // them, which touches each covered pixel once and nothing else.
    draw_thick_line({m_pixels, m_width, m_height, m_stride}, s.x0, s.y0, s.x1, s.y1, m_pen_width, colour);
    add_line_damage(s.x0, s.y0, s.x1, s.y1);
    return Status::ok();
}

void Canvas::add_line_damage(double x0, double y0, double x1, double y1) {
    // Anti-aliasing touches one pixel beyond the pen's edge.
    const double half_pen = m_pen_width / 2.0;
    const double reach = half_pen + 1.0;
    const bool along_x = std::fabs(x1 - x0) >= std::fabs(y1 - y0);
    // Walk along the major axis; u is that axis, v the other.
    double u0 = along_x ? x0 : y0, v0 = along_x ? y0 : x0;
    double u1 = along_x ? x1 : y1, v1 = along_x ? y1 : x1;
    if (u1 < u0) {
        std::swap(u0, u1);
        std::swap(v0, v1);
    }
    const double length = u1 - u0;
    const int bands = std::clamp(static_cast<int>(std::ceil(length / kBandLength)), 1,
                                 static_cast<int>(Damage::kMaxRects));
    const double slope = length > 0 ? (v1 - v0) / length : 0.0;
    // Across the major axis a sloped pen is thicker by sqrt(1 + slope^2).
    const double v_reach = half_pen * std::sqrt(1.0 + slope * slope) + 1.0;
    const int u_limit = along_x ? m_width : m_height;
    const int v_limit = along_x ? m_height : m_width;
    for (int i = 0; i < bands; ++i) {
        const double ua = u0 + length * i / bands, ub = u0 + length * (i + 1) / bands;
        const double va = v0 + slope * (ua - u0), vb = v0 + slope * (ub - u0);
        const int lo_u = std::max(0, static_cast<int>(std::floor(ua - (i == 0 ? reach : 0))));
        const int hi_u = std::min(u_limit, static_cast<int>(std::ceil(ub + (i == bands - 1 ? reach : 0))));
        const int lo_v = std::max(0, static_cast<int>(std::floor(std::min(va, vb) - v_reach)));
        const int hi_v = std::min(v_limit, static_cast<int>(std::ceil(std::max(va, vb) + v_reach)));
        if (hi_u <= lo_u || hi_v <= lo_v) continue;
        m_damage.add(along_x ? PixelRect{lo_u, lo_v, hi_u - lo_u, hi_v - lo_v}
                             : PixelRect{lo_v, lo_u, hi_v - lo_v, hi_u - lo_u});
    }
}

} // namespace runtime
