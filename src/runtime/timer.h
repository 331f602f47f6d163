// A fixed-rate timer on the monotonic clock.
//
// Deadlines follow each other at exactly the interval, so ticks do not drift.
// After a stall of more than one interval (a busy machine, SIGSTOP) the timer
// skips ahead to now + interval instead of firing the missed ticks in a burst.
#pragma once

#include <chrono>

namespace runtime {

class FixedRateTimer {
public:
    using Clock = std::chrono::steady_clock;

    FixedRateTimer(Clock::duration interval, Clock::time_point start)
        : m_interval(interval), m_deadline(start + interval) {}

    [[nodiscard]] bool due(Clock::time_point now) const { return now >= m_deadline; }
    [[nodiscard]] Clock::time_point deadline() const { return m_deadline; }

    // Call once a due tick has fired.
    void advance(Clock::time_point now) {
        m_deadline += m_interval;
        if (now - m_deadline > m_interval) m_deadline = now + m_interval;
    }

    // Whole milliseconds to wait for the next deadline, rounded up so that a
    // wait never ends before it.
    [[nodiscard]] int wait_ms(Clock::time_point now) const {
        if (now >= m_deadline) return 0;
        const auto left = m_deadline - now;
        return static_cast<int>((left + std::chrono::milliseconds(1) - Clock::duration(1)) /
                                std::chrono::milliseconds(1));
    }

private:
    Clock::duration m_interval;
    Clock::time_point m_deadline;
};

} // namespace runtime
