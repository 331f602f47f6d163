// Calls that connect to a display fail for many reasons, most of which mean
// nobody is there; one that failed for want of file descriptors or memory
// says so instead, in the system's words.
#pragma once

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

namespace runtime {

inline std::optional<std::string> shortage_reason(int error) {
    if (error == EMFILE || error == ENFILE || error == ENOMEM || error == ENOBUFS) return std::strerror(error);
    return std::nullopt;
}

} // namespace runtime
