#include "window/x11/xft_dpi.h"

#include "form/units.h"

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

} // namespace runtime
