// Status of a window operation, and the run-time error that a failed one raises.
//
// Every operation on the window answers with a Status; the caller tests it at
// once with check(). A failure is not handled anywhere: it travels up as a
// RuntimeError, and the program reports it and ends with status 1.
#pragma once

#include <stdexcept>
#include <string>

namespace runtime {

struct Status {
    int code = 0;                 // negative means failure
    const char* reason = nullptr; // static text, set when failed

    [[nodiscard]] bool failed() const { return code < 0; }

    static constexpr Status ok() { return {}; }
    static constexpr Status failure(const char* why) { return {-1, why}; }
};

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(const std::string& what_failed, const std::string& reason)
        : std::runtime_error(what_failed + ": " + reason) {}
};

// Raises the run-time error for a failed status; `what` names the operation.
inline void check(Status status, const char* what) {
    if (status.failed()) throw RuntimeError(what, status.reason ? status.reason : "failed");
}

} // namespace runtime
