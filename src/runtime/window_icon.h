// The icon the window manager shows for the program's window.
//
// The 48 px icon is built into the program, so an installed program shows it
// wherever it runs from. Without an icon the program works the same, so a
// failure here is never a run-time error: the window just keeps the default.
#pragma once

#include "runtime/sdl_handles.h"

#include <span>

namespace runtime {

// The bytes of data/icons/48x48/rays.png.
std::span<const unsigned char> window_icon_png();

// A PNG decoded into a surface SDL takes as a window icon: ARGB with straight,
// not premultiplied, colour. Null when the bytes are not a PNG cairo reads.
SdlSurface icon_surface_from_png(std::span<const unsigned char> png);

// Gives `window` the program's icon, if it can.
void set_window_icon(SDL_Window* window);

} // namespace runtime
