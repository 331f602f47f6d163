// The window icon: PNG bytes to the pixels the window manager is handed.
#include "tools/cairo_handles.h"
#include "tools/icon_cardinals.h"
#include "window/window_icon.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using runtime::CairoContext;
using runtime::CairoSurface;
using tools::icon_cardinals_from_png;

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

Rgba pixel(const std::vector<std::uint32_t>& icon, int x, int y) {
    const std::uint32_t p = icon.at(2 + static_cast<std::size_t>(y) * icon[0] + static_cast<std::size_t>(x));
    return {int(p >> 16 & 0xFF), int(p >> 8 & 0xFF), int(p & 0xFF), int(p >> 24)};
}

Bytes file_bytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file) << path;
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
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
    const auto icon = icon_cardinals_from_png(
        png_of({{10, 20, 30, 255}, {200, 100, 50, 128}, {255, 255, 255, 0}}, CAIRO_FORMAT_ARGB32));
    ASSERT_TRUE(icon);
    EXPECT_EQ((*icon)[0], 3u);
    EXPECT_EQ((*icon)[1], 1u);
    ASSERT_EQ(icon->size(), 5u);
    expect_near(pixel(*icon, 0, 0), {10, 20, 30, 255}, 0, "opaque");
    expect_near(pixel(*icon, 1, 0), {200, 100, 50, 128}, 2, "translucent");
    EXPECT_EQ(pixel(*icon, 2, 0).a, 0);
}

TEST(WindowIcon, APngWithoutAlphaGivesAnOpaqueIcon) {
    const auto icon = icon_cardinals_from_png(png_of({{240, 240, 240, 255}, {0, 255, 0, 255}}, CAIRO_FORMAT_RGB24));
    ASSERT_TRUE(icon);
    expect_near(pixel(*icon, 0, 0), {240, 240, 240, 255}, 0, "background");
    expect_near(pixel(*icon, 1, 0), {0, 255, 0, 255}, 0, "light green");
}

TEST(WindowIcon, BytesThatAreNotAWholePngGiveNoIcon) {
    const Bytes png = file_bytes(RAYS_ICON_DIR "/16x16/rays.png");
    const Bytes garbage = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'};
    EXPECT_FALSE(icon_cardinals_from_png({}));
    EXPECT_FALSE(icon_cardinals_from_png(garbage));
    EXPECT_FALSE(icon_cardinals_from_png(std::span(png).first(png.size() / 2)));
}

TEST(WindowIcon, TheBuiltInIconIsThe48To16PixelOnesInDataIcons) {
    std::vector<std::uint32_t> committed;
    for (const char* size : {"48x48", "32x32", "16x16"}) {
        const auto icon = icon_cardinals_from_png(file_bytes(std::string(RAYS_ICON_DIR "/") + size + "/rays.png"));
        ASSERT_TRUE(icon) << size;
        committed.insert(committed.end(), icon->begin(), icon->end());
    }
    const auto built_in = runtime::window_icon();
    EXPECT_TRUE(std::equal(built_in.begin(), built_in.end(), committed.begin(), committed.end()))
        << "the program carries a stale icon: build it again";
}

// Every size a desktop may hand the window manager decodes whole, at its size.
TEST(WindowIcon, EveryPngInDataIconsDecodesToItsSize) {
    for (const std::string side : {"16", "32", "48", "64", "128", "256"}) {
        const auto icon = icon_cardinals_from_png(file_bytes(RAYS_ICON_DIR "/" + side + "x" + side + "/rays.png"));
        ASSERT_TRUE(icon) << side;
        EXPECT_EQ(std::to_string((*icon)[0]) + "x" + std::to_string((*icon)[1]), side + "x" + side);
    }
}
