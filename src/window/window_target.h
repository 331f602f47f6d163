// Where the form draws: a window of its own, or a window that another
// program made and hands over (a screen saver's, the desktop's root).
#pragma once

#include <cstdint>

namespace runtime {

struct WindowTarget {
    enum class Kind { kOwnWindow, kGivenWindow, kRootWindow };
    Kind kind = Kind::kOwnWindow;
    std::uint32_t window = 0; // the window's id, for kGivenWindow
};

} // namespace runtime
