// The desktop's resolution on X11: the Xft.dpi resource, which desktops set
// and toolkits follow. Never the screen's size in millimetres, which
// virtual displays fake.
#pragma once

#include <optional>
#include <string_view>

namespace runtime {

// The Xft.dpi value of an X resource database text ("Xft.dpi:\t192\n..."),
// when present and sane.
std::optional<double> parse_xft_dpi(std::string_view resources);

} // namespace runtime
