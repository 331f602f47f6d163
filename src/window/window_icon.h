// The icon a window manager shows for the program's window, built into the
// program so that an installed program shows it wherever it runs from: for
// each size (48, 32 and 16 px) its width, height and ARGB pixels, as
// _NET_WM_ICON takes them.
#pragma once

#include <cstdint>
#include <span>

namespace runtime {

std::span<const std::uint32_t> window_icon();

} // namespace runtime
