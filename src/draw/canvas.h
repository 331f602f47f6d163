// The drawing surface of a form: pen, fill and lines in twips, on 32-bit
// pixels (0xXXRRGGBB, as cairo's RGB24, X11's 24-bit TrueColor and Wayland's
// XRGB8888 lay them out).
//
// The canvas draws into pixel memory it does not own: a window's surface, or
// an image. It keeps its drawing state when given new pixels, and records
// which pixels each operation changed.
#pragma once

#include "form/colour.h"
#include "draw/damage.h"
#include "draw/picture.h"
#include "form/status.h"
#include "form/units.h"

#include <cstdint>

namespace runtime {

// A single holds every whole number up to 2^24 exactly; farther coordinates
// are not a drawing anyone meant, and would overflow the rasteriser.
inline constexpr double kMaxCoordinateTwips = 16777216.0;
inline constexpr int kMaxPenWidth = 1000;

class Canvas {
public:
    explicit Canvas(double dpi = kDefaultDpi);

    // Draws on `pixels` from now on. The memory must outlive the canvas or
    // the next attach(); stride is in bytes. Null pixels detach.
    Status attach(std::uint32_t* pixels, int width, int height, int stride);

    void set_dpi(double dpi) { m_twips_per_pixel = kTwipsPerInch / dpi; }
    [[nodiscard]] double twips_per_pixel() const { return m_twips_per_pixel; }

    Status set_pen_width(int pixels);
    Status set_fill_style(int style);
    Status set_fill_colour(Colour colour);
    Status clear();
    Status draw_line(int flags, float x1, float y1, float x2, float y2, Colour colour);

    [[nodiscard]] int width() const { return m_picture.width; }
    [[nodiscard]] int height() const { return m_picture.height; }
    [[nodiscard]] int pen_width() const { return m_pen_width; }
    [[nodiscard]] int fill_style() const { return m_fill_style; }
    [[nodiscard]] Colour fill_colour() const { return m_fill_colour; }

    // Pixels changed since the last take_damage().
    [[nodiscard]] const Damage& damage() const { return m_damage; }
    void take_damage() { m_damage.clear(); }

private:
    double m_twips_per_pixel;
    int m_pen_width = 1;
    int m_fill_style = 1;
    Colour m_fill_colour = 0;
    double m_current_x = 0, m_current_y = 0; // twips, where the last line ended

    Picture m_picture; // no pixels while detached
    Damage m_damage;
};

} // namespace runtime
