#include "window/x11/x11_visual.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

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

xcb_window_t create_window_in(xcb_connection_t* c, const xcb_screen_t& screen, const ChosenVisual& chosen,
                              std::uint16_t width, std::uint16_t height, std::uint32_t background,
                              std::uint32_t events) {
    const xcb_window_t window = xcb_generate_id(c);
    std::vector<std::uint32_t> values{background, 0, XCB_GRAVITY_NORTH_WEST, events};
    std::uint32_t mask = XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_BIT_GRAVITY | XCB_CW_EVENT_MASK;
    if (chosen.visual->visual_id != screen.root_visual) {
        // Another visual than the root's needs a colormap of its own.
        const xcb_colormap_t colormap = xcb_generate_id(c);
        xcb_create_colormap(c, XCB_COLORMAP_ALLOC_NONE, colormap, screen.root, chosen.visual->visual_id);
        values.push_back(colormap);
        mask |= XCB_CW_COLORMAP;
    }
    xcb_create_window(c, chosen.depth, window, screen.root, 0, 0, width, height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      chosen.visual->visual_id, mask, values.data());
    return window;
}

} // namespace runtime
