// rays-icon: draws the program's icon, the way the data/icons PNGs were made.
//
// Usage: rays-icon DIR writes DIR/NxN/rays.png for N = 16, 32, 48, 64, 128
// and 256, and DIR/scalable/rays.svg. A few thick rays in the animation's
// colours fan out from near the top-left corner of a light rounded square,
// as the window looks a moment after the program starts. Each size has its
// own line widths so that the small ones stay crisp rather than being scaled
// down; the SVG is the same drawing on cairo's SVG surface, for docks and
// software centres that scale to sizes of their own.
#include "cairo_handles.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>
#include <system_error>

namespace {

using runtime::CairoContext;
using runtime::CairoSurface;

struct Rgb {
    double r, g, b;
};

constexpr Rgb from_bytes(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }

// The animation's background and the colours its rays take most often.
constexpr Rgb kBackground = from_bytes(240, 240, 240);
constexpr Rgb kBorder = from_bytes(128, 128, 128);
constexpr std::array kRayColours = {
    from_bytes(0, 255, 0),   // light green
    from_bytes(128, 0, 128), // magenta
    from_bytes(0, 0, 0),     // black
    from_bytes(128, 0, 0),   // red
};

// Directions of the rays, in degrees clockwise from the right: the fan
// opens over the quarter the window shows.
constexpr std::array kRayDegrees = {6.0, 30.0, 56.0, 82.0};

// Where the rays start, as a fraction of the side: near, not at, the corner,
// as in the program where the start point lies within 80 pixels of it.
constexpr double kOrigin = 0.22;

struct IconSize {
    int side;
    double ray_width;    // pixels
    double border_width; // pixels
    double corner;       // radius of the rounded square, pixels
};

// Up to 48 px the widths are tuned by eye to the pixel grid; above, they
// grow with the side (a ray about a twelfth of it), the border by whole
// pixels so that it stays sharp.
constexpr std::array kPngSizes = {
    IconSize{16, 2.0, 1.0, 3.0},    IconSize{32, 3.0, 1.0, 5.0},    IconSize{48, 4.5, 1.0, 7.0},
    IconSize{64, 6.0, 1.0, 9.0},    IconSize{128, 11.0, 2.0, 18.0}, IconSize{256, 22.0, 4.0, 36.0},
};

// The scalable icon has the proportions of the large PNGs; its side is the
// viewBox, not a size it is meant to be shown at.
constexpr IconSize kSvgSize{128, 11.0, 2.0, 18.0};

void rounded_square(cairo_t* cr, double inset, double side, double radius) {
    constexpr double kQuarter = std::numbers::pi / 2;
    const double lo = inset + radius, hi = side - inset - radius;
    cairo_new_path(cr);
    cairo_arc(cr, hi, lo, radius, -kQuarter, 0);
    cairo_arc(cr, hi, hi, radius, 0, kQuarter);
    cairo_arc(cr, lo, hi, radius, kQuarter, 2 * kQuarter);
    cairo_arc(cr, lo, lo, radius, 2 * kQuarter, 3 * kQuarter);
    cairo_close_path(cr);
}

void draw_icon(cairo_t* cr, const IconSize& size) {
    const double side = size.side;
    // The border's centre line sits half its width inside the image.
    const double inset = size.border_width / 2;

    rounded_square(cr, inset, side, size.corner);
    cairo_set_source_rgb(cr, kBackground.r, kBackground.g, kBackground.b);
    cairo_fill_preserve(cr);

    cairo_save(cr);
    cairo_clip(cr);
    const double origin = kOrigin * side;
    const double reach = 2 * side; // well past the far edges; the clip ends them
    cairo_set_line_width(cr, size.ray_width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    for (std::size_t i = 0; i < kRayColours.size(); ++i) {
        const double angle = kRayDegrees[i] * std::numbers::pi / 180;
        cairo_move_to(cr, origin, origin);
        cairo_line_to(cr, origin + reach * std::cos(angle), origin + reach * std::sin(angle));
        cairo_set_source_rgb(cr, kRayColours[i].r, kRayColours[i].g, kRayColours[i].b);
        cairo_stroke(cr);
    }
    cairo_restore(cr);

    rounded_square(cr, inset, side, size.corner);
    cairo_set_line_width(cr, size.border_width);
    cairo_set_source_rgb(cr, kBorder.r, kBorder.g, kBorder.b);
    cairo_stroke(cr);
}

bool create_parent(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) {
        std::fprintf(stderr, "rays-icon: cannot create %s: %s\n", path.parent_path().c_str(),
                     error.message().c_str());
        return false;
    }
    return true;
}

bool report(cairo_status_t status, const std::filesystem::path& path) {
    if (status == CAIRO_STATUS_SUCCESS) return true;
    std::fprintf(stderr, "rays-icon: cannot write %s: %s\n", path.c_str(), cairo_status_to_string(status));
    return false;
}

bool write_png(const std::filesystem::path& dir, const IconSize& size) {
    const std::string name = std::to_string(size.side) + "x" + std::to_string(size.side);
    const std::filesystem::path path = dir / name / "rays.png";
    if (!create_parent(path)) return false;
    const CairoSurface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size.side, size.side));
    const CairoContext cr(cairo_create(surface.get()));
    draw_icon(cr.get(), size);
    cairo_surface_flush(surface.get());
    return report(cairo_surface_write_to_png(surface.get(), path.c_str()), path);
}

bool write_svg(const std::filesystem::path& dir, const IconSize& size) {
    const std::filesystem::path path = dir / "scalable" / "rays.svg";
    if (!create_parent(path)) return false;
    const CairoSurface surface(cairo_svg_surface_create(path.c_str(), size.side, size.side));
    // Pixels rather than cairo's default points, so that the image's size is
    // its viewBox and a viewer shows it at the size it was drawn.
    cairo_svg_surface_set_document_unit(surface.get(), CAIRO_SVG_UNIT_PX);
    {
        const CairoContext cr(cairo_create(surface.get()));
        draw_icon(cr.get(), size);
    }
    // The file is written when the surface finishes, and only then do write
    // errors show.
    cairo_surface_finish(surface.get());
    return report(cairo_surface_status(surface.get()), path);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: rays-icon DIR\n");
        return 2;
    }
    bool ok = true;
    for (const IconSize& size : kPngSizes) ok = write_png(argv[1], size) && ok;
    ok = write_svg(argv[1], kSvgSize) && ok;
    return ok ? 0 : 1;
}
