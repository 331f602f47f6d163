#include "window/wayland/wayland_failure.h"

#include "window/shortage.h"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

namespace runtime {
namespace {

// The last line libwayland logged; a protocol error is logged just before
// the call that notices it returns.
std::string& last_log_line() {
    static std::string line;
    return line;
}

void keep_line(const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string line = text;
    while (!line.empty() && line.back() == '\n') line.pop_back();
    last_log_line() = line;
}

} // namespace

void keep_wayland_log() { wl_log_set_handler_client(keep_line); }

RuntimeError connection_failure(wl_display* display) {
    const int error = wl_display_get_error(display);
    if (error == EPROTO) {
        const wl_interface* interface = nullptr;
        std::uint32_t id = 0;
        const std::uint32_t code = wl_display_get_protocol_error(display, &interface, &id);
        // The log line reads "xdg_surface@12: error 3: <the compositor's message>".
        std::string message = last_log_line();
        if (const auto at = message.find(": error "); at != std::string::npos) {
            if (const auto text = message.find(": ", at + 2); text != std::string::npos) message.erase(0, text + 2);
        }
        std::string where = interface ? std::string(interface->name) + "@" + std::to_string(id) : "an object";
        std::string reason = "protocol error " + std::to_string(code) + " on " + where;
        if (!message.empty()) reason += ": " + message;
        return RuntimeError("Wayland compositor", reason);
    }
    return RuntimeError("Wayland compositor", shortage_reason(error).value_or("connection lost"));
}

} // namespace runtime
