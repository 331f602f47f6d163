#include "form/window_target.h"

#include <limits>

namespace runtime {

std::optional<std::uint32_t> parse_window_id(std::string_view text) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t id = 0;
    for (const char ch : text) {
        unsigned digit;
        if (ch >= '0' && ch <= '9') digit = static_cast<unsigned>(ch - '0');
        else if (base == 16 && ch >= 'a' && ch <= 'f') digit = static_cast<unsigned>(ch - 'a' + 10);
        else if (base == 16 && ch >= 'A' && ch <= 'F') digit = static_cast<unsigned>(ch - 'A' + 10);
        else return std::nullopt;
        id = id * base + digit;
        if (id > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    }
    if (id == 0) return std::nullopt;
    return static_cast<std::uint32_t>(id);
}

} // namespace runtime
