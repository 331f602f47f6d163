#include "window/wayland/wayland_connect.h"

#include "form/printable.h"
#include "form/status.h"
#include "window/shortage.h"
#include "window/timer.h"
#include "window/wayland/wayland_failure.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <poll.h>
#include <string>

namespace runtime {
namespace {

constexpr auto kFirstAnswerLimit = std::chrono::seconds(2);

void check(wl_display* display, int result) {
    if (result < 0) throw connection_failure(display);
}

} // namespace

WlDisplay connect_wayland_display() {
    errno = 0;
    WlDisplay display(wl_display_connect(nullptr));
    if (!display) {
        const int error = errno;
        const char* name = std::getenv("WAYLAND_DISPLAY");
        std::string reason = "cannot connect to Wayland display " + printable(name ? name : "");
        if (const auto shortage = shortage_reason(error)) reason += ": " + *shortage;
        throw RuntimeError("open display", reason);
    }
    return display;
}

void await_first_answer(wl_display* d) {
    using Clock = FixedRateTimer::Clock;
    bool answered = false;
    static constexpr wl_callback_listener kDone = [] {
        wl_callback_listener l{};
        l.done = [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; };
        return l;
    }();
    const WlCallback sync(wl_display_sync(d));
    wl_callback_add_listener(sync.get(), &kDone, &answered);
    const auto limit = Clock::now() + kFirstAnswerLimit;
    while (!answered) {
        while (wl_display_prepare_read(d) != 0) check(d, wl_display_dispatch_pending(d));
        if (wl_display_flush(d) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(d);
            throw connection_failure(d);
        }
        pollfd connection{wl_display_get_fd(d), POLLIN, 0};
        const auto now = Clock::now();
        const int ready = now < limit ? poll(&connection, 1, wait_ms(limit, now)) : 0;
        if (ready <= 0) {
            wl_display_cancel_read(d);
            if (ready < 0 && errno == EINTR) continue;
            if (ready == 0)
                throw RuntimeError("Wayland compositor",
                                   "no answer within " + std::to_string(kFirstAnswerLimit.count()) + " s");
            throw RuntimeError("Wayland compositor", "poll failed");
        }
        check(d, wl_display_read_events(d));
        check(d, wl_display_dispatch_pending(d));
    }
}

} // namespace runtime
