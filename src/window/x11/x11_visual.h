// Which screen and visual the window uses, and how that visual lays out a
// pixel: TrueColor of depth 24, 30, 16 or 15, whatever the root's visual is.
#pragma once

#include "window/x11/pixel_format.h"

#include <xcb/xcb.h>

#include <cstdint>

namespace runtime {

struct ChosenVisual {
    xcb_visualtype_t* visual = nullptr; // null: none we can draw with
    std::uint8_t depth = 0;
};

// The screen `number` of the connection, or null.
xcb_screen_t* screen_of(xcb_connection_t* c, int number);

// The root's visual when it is TrueColor of a depth we show; otherwise the
// best TrueColor visual the screen offers.
ChosenVisual choose_visual(xcb_screen_t* screen);

// The visual of a window another program made, when we can draw in it.
ChosenVisual visual_of(xcb_screen_t* screen, xcb_visualid_t id);

// How the server lays out pixels of that visual in images.
PixelFormat pixel_format_of(xcb_connection_t* c, const ChosenVisual& chosen);

// A window of ours in that visual at the screen's corner, not mapped yet:
// `background` shows until it is drawn in, and it reports `events`.
xcb_window_t create_window_in(xcb_connection_t* c, const xcb_screen_t& screen, const ChosenVisual& chosen,
                              std::uint16_t width, std::uint16_t height, std::uint32_t background,
                              std::uint32_t events);

} // namespace runtime
