#include "window/x11/x11_visual.h"

#include <algorithm>
#include <array>

namespace runtime {
namespace {

// The depths whose pixels we can lay out, best first.
constexpr std::array<std::uint8_t, 4> kDepths = {24, 30, 16, 15};

} // namespace

xcb_screen_t* screen_of(xcb_connection_t* c, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem > 0; xcb_screen_next(&it), ++i)
        if (i == number) return it.data;
    return nullptr;
}

ChosenVisual choose_visual(xcb_screen_t* screen) {
    ChosenVisual root, best;
    int best_rank = static_cast<int>(kDepths.size());
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem > 0; xcb_depth_next(&d)) {
        const auto rank = std::find(kDepths.begin(), kDepths.end(), d.data->depth) - kDepths.begin();
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v)) {
            if (v.data->_class != XCB_VISUAL_CLASS_TRUE_COLOR || rank == static_cast<long>(kDepths.size())) continue;
            if (v.data->visual_id == screen->root_visual) root = {v.data, d.data->depth};
            if (rank < best_rank) {
                best_rank = static_cast<int>(rank);
                best = {v.data, d.data->depth};
            }
        }
    }
    return root.visual ? root : best;
}

ChosenVisual visual_of(xcb_screen_t* screen, xcb_visualid_t id) {
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem > 0; xcb_depth_next(&d)) {
        if (std::find(kDepths.begin(), kDepths.end(), d.data->depth) == kDepths.end()) continue;
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v))
            if (v.data->visual_id == id && v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR)
                return {v.data, d.data->depth};
    }
    return {};
}

PixelFormat pixel_format_of(xcb_connection_t* c, const ChosenVisual& chosen) {
    PixelFormat format;
    format.depth = chosen.depth;
    format.red_mask = chosen.visual->red_mask;
    format.green_mask = chosen.visual->green_mask;
    format.blue_mask = chosen.visual->blue_mask;
    const xcb_setup_t* setup = xcb_get_setup(c);
    format.msb_first = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem > 0; xcb_format_next(&f)) {
        if (f.data->depth != chosen.depth) continue;
        format.bits_per_pixel = f.data->bits_per_pixel;
        format.scanline_pad = f.data->scanline_pad;
    }
    return format;
}

} // namespace runtime
