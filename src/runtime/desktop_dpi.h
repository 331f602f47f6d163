// The resolution the desktop is set to, which maps twips to pixels.
#pragma once

#include <optional>
#include <string_view>

struct SDL_Window;

namespace runtime {

// Resolutions outside this range are taken as a misconfiguration.
inline constexpr double kMinDpi = 24.0;
inline constexpr double kMaxDpi = 960.0;

// The Xft.dpi value of an X resource database text ("Xft.dpi:\t192\n..."),
// when present and sane.
std::optional<double> parse_xft_dpi(std::string_view resources);

// The desktop's resolution for a window: Xft.dpi on X11, the output scale
// times 96 on Wayland, else 96. Never the screen's physical size, which
// virtual displays fake.
double desktop_dpi(SDL_Window* window);

} // namespace runtime
