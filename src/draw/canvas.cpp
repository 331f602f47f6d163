#include "draw/canvas.h"

#include "form/form_runtime.h"
#include "draw/line_clip.h"
#include "draw/picture.h"
#include "draw/thick_line.h"

#include <algorithm>
#include <cmath>

namespace runtime {
namespace {

bool valid_coordinate(float v) {
    return std::isfinite(v) && std::fabs(v) <= kMaxCoordinateTwips;
}

} // namespace

Canvas::Canvas(double dpi) : m_twips_per_pixel(kTwipsPerInch / dpi) {}

Status Canvas::attach(std::uint32_t* pixels, int width, int height, int stride) {
    m_picture = {};
    m_damage.clear();
    if (!pixels) return Status::ok();
    if (width <= 0 || height <= 0 || stride < std::int64_t{width} * 4 || stride % 4 != 0)
        return Status::failure("bad pixel buffer");
    m_picture = {pixels, width, height, stride};
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
    if (!m_picture.pixels) return Status::ok();
    for (int y = 0; y < m_picture.height; ++y) {
        std::uint32_t* first = m_picture.row(y);
        std::fill(first, first + m_picture.width, kBackground | kOpaque);
    }
    m_damage.clear();
    m_damage.add({0, 0, m_picture.width, m_picture.height});
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
    if (!m_picture.pixels) return Status::ok();

    // A twip coordinate names the pixel it falls in; pixel n covers
    // [n, n + 1), so its centre is at n + 0.5.
    const double k = 1.0 / m_twips_per_pixel;
    Segment s{x1 * k + 0.5, y1 * k + 0.5, x2 * k + 0.5, y2 * k + 0.5};
    // Keep the round caps of a clipped end outside the surface.
    const double margin = m_pen_width / 2.0 + 2.0;
    if (!clip_segment(s, -margin, -margin, m_picture.width + margin, m_picture.height + margin))
        return Status::ok();

    // Lines are the animation's hot path: drawn by a rasteriser made for
    // them, which touches each covered pixel once and nothing else.
    draw_thick_line(m_picture, s.x0, s.y0, s.x1, s.y1, m_pen_width, colour,
                    m_damage);
    return Status::ok();
}

} // namespace runtime
