// When the event loop wakes, and which of the form's ticks each wake fires.
//
// Ticks come from the clock: one every interval, on a grid that starts when
// the window is made. Whether the window can be seen and whether the
// compositor's frame has come only decide when the pixels go out, and so
// when the loop wakes to draw: at most once per display frame while the
// window is visible, once a second while it is hidden, and, while a frame
// asked of the compositor is awaited, when it comes. A wake sooner than
// planned (input, a map, an expose, a frame) or planned late on purpose
// loses nothing: every tick due by then fires, in order.
//
// Only a wake later than the plan made before the sleep, by more than the
// timer's jitter allowance, is a stall (SIGSTOP, a machine that froze): the
// ticks due by the plan fire, those missed since are dropped, and the grid
// starts again from the wake, without a burst.
//
// The schedule never reads the clock: the loop passes in when it woke.
#pragma once

#include "window/timer.h"

#include <chrono>

namespace runtime {

class TickSchedule {
public:
    using Clock = FixedRateTimer::Clock;

    // How the window's pixels go out at a moment.
    struct Outlook {
        bool visible = false;
        // Between two frames of the display the window is on.
        Clock::duration frame_interval{};
        // While a frame asked of the compositor has not come, until when it
        // is waited for; the clock's epoch when none is.
        Clock::time_point frame_awaited_until{};
    };

    TickSchedule(Clock::duration interval, Clock::time_point start);

    [[nodiscard]] Clock::duration interval() const { return m_timer.interval(); }

    // Before the sleep: when to wake for the next ticks. The wake that
    // follows is judged against it.
    Clock::time_point plan(const Outlook& outlook);
    // After a wake at `now`, with the window as it is then: the ticks to
    // fire now; none when they wait for a later wake.
    FixedRateTimer::DueTicks wake(Clock::time_point now, const Outlook& outlook);

private:
    [[nodiscard]] Clock::time_point draw_at(const Outlook& outlook) const;

    FixedRateTimer m_timer;
    Clock::time_point m_drawn; // the deadline of the last tick fired
    Clock::time_point m_planned;
};

} // namespace runtime
