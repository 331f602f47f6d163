// Where the form draws: a window of its own, shown as the form asks or
// over the whole screen, or a window that another program made and hands
// over (a screen saver's, the desktop's root).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace runtime {

struct WindowTarget {
    enum class Kind { kOwnWindow, kFullScreenWindow, kGivenWindow, kRootWindow };
    Kind kind = Kind::kOwnWindow;
    std::uint32_t window = 0; // the window's id, for kGivenWindow

    // A window of our own: the user's to move, close, and put full screen.
    [[nodiscard]] bool own() const { return kind == Kind::kOwnWindow || kind == Kind::kFullScreenWindow; }
};

// A window id as X tools print them: decimal, or hexadecimal after 0x.
// Nothing for anything else, and for 0, which names no window.
std::optional<std::uint32_t> parse_window_id(std::string_view text);

} // namespace runtime
