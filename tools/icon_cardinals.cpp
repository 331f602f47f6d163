#include "tools/icon_cardinals.h"

#include "tools/cairo_handles.h"

#include <algorithm>
#include <cstring>

namespace tools {
namespace {

using runtime::CairoContext;
using runtime::CairoSurface;

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

// cairo keeps colour multiplied by alpha; window managers, like PNG, do not.
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

std::optional<std::vector<std::uint32_t>> icon_cardinals_from_png(std::span<const unsigned char> png) {
    PngReader reader{png};
    const CairoSurface decoded(cairo_image_surface_create_from_png_stream(read_png, &reader));
    if (cairo_surface_status(decoded.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    const int width = cairo_image_surface_get_width(decoded.get());
    const int height = cairo_image_surface_get_height(decoded.get());

    // An opaque PNG decodes without alpha; painting it onto ARGB gives every
    // PNG the one layout.
    const CairoSurface argb(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    const CairoContext cr(cairo_create(argb.get()));
    cairo_set_source_surface(cr.get(), decoded.get(), 0, 0);
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr.get());
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    cairo_surface_flush(argb.get());

    std::vector<std::uint32_t> cardinals{static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
    cardinals.reserve(2 + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const auto* data = cairo_image_surface_get_data(argb.get());
    const int stride = cairo_image_surface_get_stride(argb.get());
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        std::transform(row, row + width, std::back_inserter(cardinals), unpremultiply);
    }
    return cardinals;
}

} // namespace tools
