#include "form/printable.h"

#include <cstdint>
#include <cstdio>

namespace runtime {
namespace {

// The length of the UTF-8 sequence that starts text[at], 0 when it is not
// one or encodes a C1 control (U+0080 to U+009F), which terminals obey too.
std::size_t sequence_length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    std::size_t length = 0;
    std::uint32_t code = 0, least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, code = lead & 0x1Fu, least = 0xA0;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, code = lead & 0x0Fu, least = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, code = lead & 0x07u, least = 0x10000;
    else return 0;
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(at + i) & 0x3Fu);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < least || code > 0x10FFFF || surrogate ? 0 : length;
}

} // namespace

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else if (const std::size_t length = c >= 0x80 ? sequence_length(text, i) : 0; length > 0) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        } else {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        }
        ++i;
    }
    return out;
}

} // namespace runtime
