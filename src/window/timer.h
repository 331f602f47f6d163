// A fixed-rate timer on the monotonic clock.
//
// Deadlines follow each other at exactly the interval, so ticks do not drift.
// The event loop may wake later than a deadline on purpose (once per display
// frame, once a second while the window is hidden, when the compositor's
// frame comes) and then fires every tick that fell due, in order. After a
// stall past the wake it planned before it slept (SIGSTOP, a machine that
// froze) the ticks missed meanwhile are dropped and the next one comes an
// interval from now: no burst. TickSchedule decides the wakes.
#pragma once

#include <algorithm>
#include <chrono>

namespace runtime {

class FixedRateTimer {
public:
    using Clock = std::chrono::steady_clock;

    FixedRateTimer(Clock::duration interval, Clock::time_point start)
        : m_interval(interval), m_deadline(start + interval) {}

    [[nodiscard]] Clock::duration interval() const { return m_interval; }
    [[nodiscard]] Clock::time_point deadline() const { return m_deadline; }
    [[nodiscard]] bool due(Clock::time_point now) const { return now >= m_deadline; }

    // The first deadline at or after `t`: a wake there draws its tick at
    // once, and the ticks before it at most an interval late.
    [[nodiscard]] Clock::time_point deadline_from(Clock::time_point t) const {
        if (t <= m_deadline) return m_deadline;
        const auto intervals = (t - m_deadline + m_interval - Clock::duration(1)) / m_interval;
        return m_deadline + intervals * m_interval;
    }

    struct DueTicks {
        Clock::time_point first; // the deadline of the first of them
        int count = 0;
    };

    // A wake this much later than planned is the machine's ordinary jitter
    // (a busy core, a virtual machine's hiccup), not a stall: every tick
    // still fires, so that a second holds exactly its hundred ticks.
    static constexpr Clock::duration kJitter = std::chrono::milliseconds(100);

    // Whether a wake at `now` for one planned at `planned` came after a stall.
    [[nodiscard]] bool stalled(Clock::time_point planned, Clock::time_point now) const {
        return now - planned > std::max(m_interval, kJitter);
    }

    // The loop planned, before it slept, to wake at `planned` and woke at
    // `now`: the ticks to fire, whose deadlines the timer then leaves behind.
    DueTicks take_due(Clock::time_point planned, Clock::time_point now) {
        const bool stalled = this->stalled(planned, now);
        const Clock::time_point until = stalled ? planned : now;
        DueTicks due{m_deadline, 0};
        while (m_deadline <= until) {
            m_deadline += m_interval;
            ++due.count;
        }
        if (stalled) m_deadline = now + m_interval;
        return due;
    }

private:
    Clock::duration m_interval;
    Clock::time_point m_deadline;
};

// Whole milliseconds from `now` to `then` for poll(), rounded up so that a
// wait never ends before it; 0 when it has passed.
inline int wait_ms(FixedRateTimer::Clock::time_point then, FixedRateTimer::Clock::time_point now) {
    if (now >= then) return 0;
    const auto left = then - now;
    return static_cast<int>((left + std::chrono::milliseconds(1) - FixedRateTimer::Clock::duration(1)) /
                            std::chrono::milliseconds(1));
}

} // namespace runtime
