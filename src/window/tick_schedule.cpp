#include "window/tick_schedule.h"

#include <algorithm>

namespace runtime {
namespace {

// While nothing can be seen, the picture still follows the timer, in one
// batch of ticks a second.
constexpr auto kHiddenWakeInterval = std::chrono::seconds(1);

} // namespace

TickSchedule::TickSchedule(Clock::duration interval, Clock::time_point start)
    : m_timer(interval, start), m_drawn(start), m_planned(start) {}

TickSchedule::Clock::time_point TickSchedule::draw_at(const Outlook& outlook) const {
    const Clock::duration least_gap =
        outlook.visible ? outlook.frame_interval : std::chrono::duration_cast<Clock::duration>(kHiddenWakeInterval);
    // On the ticks' grid: on a 60 Hz display every other tick, 50 wakes a
    // second, each tick on screen at most one interval after it fell due.
    const Clock::time_point next = m_timer.deadline_from(m_drawn + least_gap);
    // Waiting for the compositor's frame, the ticks go with it: a wake
    // before it would draw what could not be shown sooner anyway. (A frame
    // awaited past its time has made the window count as hidden.)
    return outlook.visible ? std::max(next, outlook.frame_awaited_until) : next;
}

TickSchedule::Clock::time_point TickSchedule::plan(const Outlook& outlook) {
    m_planned = draw_at(outlook);
    return m_planned;
}

FixedRateTimer::DueTicks TickSchedule::wake(Clock::time_point now, const Outlook& outlook) {
    const bool stalled = m_timer.stalled(m_planned, now);
    // A wake before its time, by input, or one that now finds the window
    // hidden, draws nothing: the ticks keep for the next.
    if (!stalled && now < draw_at(outlook)) return {};
    const FixedRateTimer::DueTicks due = m_timer.take_due(m_planned, now);
    if (due.count > 0) m_drawn = due.first + (due.count - 1) * m_timer.interval();
    // After a stall the grid starts again from the wake, as though a tick
    // had just been drawn.
    if (stalled) m_drawn = now;
    return due;
}

} // namespace runtime
