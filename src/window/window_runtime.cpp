#include "window/window_runtime.h"

#include "form/units.h"
#include "window/window_icon.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace runtime {
namespace {

long long nanoseconds(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

} // namespace

WindowRuntime::WindowRuntime(const FormDescription& description, std::unique_ptr<Platform> platform,
                             QuitSignals& quit_signals)
    : CanvasRuntime(platform->dpi()), m_description(description), m_platform(std::move(platform)),
      m_quit_signals(quit_signals),
      m_schedule(std::chrono::milliseconds(description.timer_interval_ms), Clock::now()) {
    const double dpi = m_platform->dpi();
    m_platform->create_window({description.caption, "rays",
                               twips_to_pixels(description.client_width_twips, dpi),
                               twips_to_pixels(description.client_height_twips, dpi), window_icon()});
    picture_changed();
}

WindowRuntime::~WindowRuntime() {
    // The canvas draws on the platform's pixels: let go of them first.
    (void)m_canvas.attach(nullptr, 0, 0, 0);
}

Status WindowRuntime::set_window_state(int state) { return m_platform->set_window_state(state); }

void WindowRuntime::attach_canvas() {
    const Picture picture = m_platform->picture();
    check(m_canvas.attach(picture.pixels, picture.width, picture.height, picture.stride), "window picture");
}

void WindowRuntime::picture_changed() {
    m_canvas.set_dpi(m_platform->dpi());
    attach_canvas();
    m_present_all = true;
}

void WindowRuntime::claim_picture() {
    // Nothing was drawn since the picture was last presented: the canvas
    // has no damage to lose.
    if (m_platform->claim_picture()) attach_canvas();
}

void WindowRuntime::mouse_down(std::int16_t button, std::int16_t shift, int x, int y) {
    if (ended()) return; // presses queued behind the one that ended the program
    claim_picture();
    const double tpp = m_canvas.twips_per_pixel();
    m_form->mouse_down(button, shift, static_cast<float>(x * tpp), static_cast<float>(y * tpp));
}

TickSchedule::Outlook WindowRuntime::outlook() const {
    return {m_platform->visible(), std::chrono::duration_cast<Clock::duration>(m_platform->frame_interval()),
            m_platform->frame_awaited_until()};
}

void WindowRuntime::present() {
    if (m_present_all) {
        m_present_all = false;
        m_canvas.take_damage();
        if (m_platform->visible()) m_platform->present_all();
        return;
    }
    if (m_canvas.damage().empty()) return;
    // While the window cannot be seen the picture goes on changing; it is
    // shown whole when the window comes back.
    if (m_platform->visible()) m_platform->present(m_canvas.damage());
    m_canvas.take_damage();
}

void WindowRuntime::log(const char* what, Clock::time_point at, Clock::time_point deadline,
                        Clock::time_point presented) const {
    if (deadline == Clock::time_point{})
        std::fprintf(m_tick_log, "step %s %lld\n", what, nanoseconds(at));
    else
        std::fprintf(m_tick_log, "%s %lld %lld %lld\n", what, nanoseconds(at), nanoseconds(deadline),
                     nanoseconds(presented));
}

int WindowRuntime::run(Form& form) {
    m_form = &form;
    if (m_tick_log) log("window", Clock::now());
    form.load();
    if (ended()) return 0;
    m_platform->show();
    if (m_tick_log) log("show", Clock::now());
    m_quit_signals.deliver_to_loop();

    bool was_visible = m_platform->visible();
    while (!ended()) {
        const bool input_waiting = m_platform->prepare_wait();
        // After prepare_wait(), which may have asked the compositor for a
        // frame.
        const Clock::time_point planned = m_schedule.plan(outlook());
        const short events = m_platform->wants_to_write() ? POLLIN | POLLOUT : POLLIN;
        pollfd fds[2] = {{m_platform->fd(), events, 0}, {m_quit_signals.fd(), POLLIN, 0}};
        const int timeout = input_waiting                 ? 0
                            : m_description.timer_enabled ? wait_ms(planned, Clock::now())
                                                          : -1;
        const int ready = poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR) throw RuntimeError("event loop", "poll failed");
        if (ready > 0 && fds[1].revents) return 0;
        m_platform->dispatch(ready > 0 && fds[0].revents != 0, *this);
        if (ended()) break;
        if (m_platform->claim_released_picture()) attach_canvas();
        // A window that comes into view shows the picture as it is now,
        // with the ticks due by now: at the start, its first commit
        // carries the first rays.
        const bool visible = m_platform->visible();
        if (visible && !was_visible) m_present_all = true;
        was_visible = visible;

        const Clock::time_point now = Clock::now();
        FixedRateTimer::DueTicks due{};
        if (m_description.timer_enabled) due = m_schedule.wake(now, outlook());
        if (due.count > 0) claim_picture();
        for (int i = 0; i < due.count && !ended(); ++i) m_form->timer_tick();
        if (ended()) break;
        present();
        if (m_tick_log && due.count > 0) {
            const Clock::time_point presented = Clock::now();
            for (int i = 0; i < due.count; ++i)
                log("tick", now, due.first + i * m_schedule.interval(), presented);
        }
    }
    return 0;
}

} // namespace runtime
