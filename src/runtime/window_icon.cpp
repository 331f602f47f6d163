#include "runtime/window_icon.h"

#include "runtime/cairo_handles.h"

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace runtime {
namespace {

struct PngReader {
    std::span<const unsigned char> rest;
};

cairo_status_t read_png(void* closure, unsigned char* data, unsigned int length) {
    auto& reader = *static_cast<PngReader*>(closure);
    if (length > reader.rest.size()) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, reader.rest.data(), length);
    reader.rest = reader.rest.subspan(length);
    return CAIRO_STATUS_SUCCESS;
}

// cairo keeps colour multiplied by alpha; SDL's icons, like PNG, do not.
std::uint32_t unpremultiply(std::uint32_t pixel) {
    const std::uint32_t alpha = pixel >> 24;
    if (alpha == 0) return 0;
    if (alpha == 255) return pixel;
    auto channel = [&](int shift) {
        const std::uint32_t c = (pixel >> shift) & 0xFF;
        return std::min<std::uint32_t>(255, (c * 255 + alpha / 2) / alpha) << shift;
    };
    return (alpha << 24) | channel(16) | channel(8) | channel(0);
}

} // namespace

SdlSurface icon_surface_from_png(std::span<const unsigned char> png) {
    PngReader reader{png};
    const CairoSurface decoded(cairo_image_surface_create_from_png_stream(read_png, &reader));
    if (cairo_surface_status(decoded.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    const int width = cairo_image_surface_get_width(decoded.get());
    const int height = cairo_image_surface_get_height(decoded.get());

    // An opaque PNG decodes without alpha; painting it onto ARGB gives every
    // PNG the one layout that SDL_PIXELFORMAT_ARGB8888 describes.
    const CairoSurface argb(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    const CairoContext cr(cairo_create(argb.get()));
    cairo_set_source_surface(cr.get(), decoded.get(), 0, 0);
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr.get());
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_surface_flush(argb.get());

    SdlSurface icon(SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888));
    if (!icon) return nullptr;
    const auto* from = cairo_image_surface_get_data(argb.get());
    const int from_stride = cairo_image_surface_get_stride(argb.get());
    auto* to = static_cast<std::uint8_t*>(icon->pixels);
    for (int y = 0; y < height; ++y) {
        const auto* in = reinterpret_cast<const std::uint32_t*>(from + static_cast<std::ptrdiff_t>(y) * from_stride);
        auto* out = reinterpret_cast<std::uint32_t*>(to + static_cast<std::ptrdiff_t>(y) * icon->pitch);
        std::transform(in, in + width, out, unpremultiply);
    }
    return icon;
}

void set_window_icon(SDL_Window* window) {
    const SdlSurface icon = icon_surface_from_png(window_icon_png());
    // SDL copies the pixels for the window manager: the surface can go at once.
    if (icon) SDL_SetWindowIcon(window, icon.get());
}

} // namespace runtime
