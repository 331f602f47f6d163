// The window icon: PNG bytes to the surface SDL hands to the window manager.
#include "runtime/cairo_handles.h"
#include "runtime/window_icon.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using runtime::CairoContext;
using runtime::CairoSurface;
using runtime::icon_surface_from_png;

namespace {

struct Rgba {
    int r, g, b, a;
};

using Bytes = std::vector<unsigned char>;

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<Bytes*>(closure)->insert(static_cast<Bytes*>(closure)->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

// A one-row PNG with the given pixels, made the way any PNG writer would:
// colour stored straight, not multiplied by alpha.
Bytes png_of(const std::vector<Rgba>& pixels, cairo_format_t format) {
    const CairoSurface surface(cairo_image_surface_create(format, static_cast<int>(pixels.size()), 1));
    const CairoContext cr(cairo_create(surface.get()));
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
    for (std::size_t x = 0; x < pixels.size(); ++x) {
        const Rgba& p = pixels[x];
        cairo_set_source_rgba(cr.get(), p.r / 255.0, p.g / 255.0, p.b / 255.0, p.a / 255.0);
        cairo_rectangle(cr.get(), static_cast<double>(x), 0, 1, 1);
        cairo_fill(cr.get());
    }
    Bytes png;
    EXPECT_EQ(cairo_surface_write_to_png_stream(surface.get(), append, &png), CAIRO_STATUS_SUCCESS);
    return png;
}

Rgba pixel(SDL_Surface* surface, int x, int y) {
    const auto* row = static_cast<const std::uint8_t*>(surface->pixels) + static_cast<std::ptrdiff_t>(y) * surface->pitch;
    Uint8 r, g, b, a;
    SDL_GetRGBA(reinterpret_cast<const std::uint32_t*>(row)[x], surface->format, &r, &g, &b, &a);
    return {r, g, b, a};
}

// Premultiplying to 8 bits and back loses a little on translucent pixels.
void expect_near(Rgba got, Rgba want, int tolerance, const char* what) {
    EXPECT_LE(std::abs(got.r - want.r), tolerance) << what << " red " << got.r;
    EXPECT_LE(std::abs(got.g - want.g), tolerance) << what << " green " << got.g;
    EXPECT_LE(std::abs(got.b - want.b), tolerance) << what << " blue " << got.b;
    EXPECT_EQ(got.a, want.a) << what;
}

} // namespace

TEST(WindowIcon, ColourAndAlphaComeThroughStraight) {
    const runtime::SdlSurface icon = icon_surface_from_png(
        png_of({{10, 20, 30, 255}, {200, 100, 50, 128}, {255, 255, 255, 0}}, CAIRO_FORMAT_ARGB32));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->w, 3);
    EXPECT_EQ(icon->h, 1);
    EXPECT_EQ(icon->format->format, SDL_PIXELFORMAT_ARGB8888);
    expect_near(pixel(icon.get(), 0, 0), {10, 20, 30, 255}, 0, "opaque");
    expect_near(pixel(icon.get(), 1, 0), {200, 100, 50, 128}, 2, "translucent");
    EXPECT_EQ(pixel(icon.get(), 2, 0).a, 0);
}

TEST(WindowIcon, APngWithoutAlphaGivesAnOpaqueIcon) {
    const runtime::SdlSurface icon =
        icon_surface_from_png(png_of({{240, 240, 240, 255}, {0, 255, 0, 255}}, CAIRO_FORMAT_RGB24));
    ASSERT_TRUE(icon);
    expect_near(pixel(icon.get(), 0, 0), {240, 240, 240, 255}, 0, "background");
    expect_near(pixel(icon.get(), 1, 0), {0, 255, 0, 255}, 0, "light green");
}

TEST(WindowIcon, BytesThatAreNotAWholePngGiveNoIcon) {
    const auto built_in = runtime::window_icon_png();
    const Bytes garbage = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'};
    EXPECT_FALSE(icon_surface_from_png({}));
    EXPECT_FALSE(icon_surface_from_png(garbage));
    EXPECT_FALSE(icon_surface_from_png(built_in.first(built_in.size() / 2)));
}

TEST(WindowIcon, TheBuiltInIconIsThe48PixelOneInDataIcons) {
    std::ifstream file(RAYS_ICON_DIR "/48x48/rays.png", std::ios::binary);
    ASSERT_TRUE(file) << RAYS_ICON_DIR;
    const Bytes committed{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const auto built_in = runtime::window_icon_png();
    EXPECT_TRUE(std::equal(built_in.begin(), built_in.end(), committed.begin(), committed.end()))
        << "the program carries a stale icon: run cmake again";

    const runtime::SdlSurface icon = icon_surface_from_png(built_in);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->w, 48);
    EXPECT_EQ(icon->h, 48);
}

// Every size a desktop may hand the window manager decodes whole, at its size.
TEST(WindowIcon, EveryPngInDataIconsDecodesToItsSize) {
    for (const std::string side : {"16", "32", "48", "64", "128", "256"}) {
        std::ifstream file(RAYS_ICON_DIR "/" + side + "x" + side + "/rays.png", std::ios::binary);
        const runtime::SdlSurface icon = icon_surface_from_png(
            Bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()});
        ASSERT_TRUE(icon) << side;
        EXPECT_EQ(std::to_string(icon->w) + "x" + std::to_string(icon->h), side + "x" + side);
    }
}
