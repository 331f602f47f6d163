// The program's icon as a window manager takes it (_NET_WM_ICON): for each
// size its width, its height, then its pixels row by row as ARGB with
// straight, not premultiplied, colour.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tools {

// One PNG in that form; nothing when the bytes are not a PNG cairo reads.
std::optional<std::vector<std::uint32_t>> icon_cardinals_from_png(std::span<const unsigned char> png);

} // namespace tools
