#include "runtime/desktop_dpi.h"

#include "runtime/canvas.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <charconv>

namespace runtime {

std::optional<double> parse_xft_dpi(std::string_view resources) {
    constexpr std::string_view kName = "Xft.dpi:";
    while (!resources.empty()) {
        const std::size_t eol = resources.find('\n');
        std::string_view line = resources.substr(0, eol);
        resources = eol == std::string_view::npos ? std::string_view{} : resources.substr(eol + 1);
        if (!line.starts_with(kName)) continue;
        line.remove_prefix(kName.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        double dpi = 0;
        const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), dpi);
        if (error != std::errc{}) return std::nullopt;
        if (!(dpi >= kMinDpi && dpi <= kMaxDpi)) return std::nullopt;
        return dpi;
    }
    return std::nullopt;
}

double desktop_dpi(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info)) return kDefaultDpi;
    if (info.subsystem == SDL_SYSWM_X11) {
        const char* resources = XResourceManagerString(info.info.x11.display);
        if (!resources) return kDefaultDpi;
        return parse_xft_dpi(resources).value_or(kDefaultDpi);
    }
    // Wayland and the rest: the ratio of buffer pixels to logical points is
    // the output's scale.
    int points_w = 0, points_h = 0, pixels_w = 0, pixels_h = 0;
    SDL_GetWindowSize(window, &points_w, &points_h);
    SDL_GetWindowSizeInPixels(window, &pixels_w, &pixels_h);
    if (points_w <= 0 || pixels_w <= 0) return kDefaultDpi;
    return kDefaultDpi * pixels_w / points_w;
}

} // namespace runtime
