// The window runtime: a form in a real window on the desktop.
//
// One event loop serves the form: it sleeps in poll() on the window system's
// connection and the quit signals until the next planned wake, handles what
// arrived, fires every tick that fell due, in order, and presents the
// pixels they changed at once. The ticks come from the clock; the window's
// visibility and the compositor's frames only decide when they are drawn
// (TickSchedule), so rays per second stay those of the form's timer.
//
// The canvas draws straight into the platform's kept picture; an expose
// only presents it again. Where the compositor reads the picture in place,
// the platform moves it as soon as the compositor gives memory back
// (claim_released_picture()), and at the latest before the next drawing
// (claim_picture()).
#pragma once

#include "draw/canvas_runtime.h"
#include "form/form.h"
#include "window/platform.h"
#include "window/quit_signals.h"
#include "window/tick_schedule.h"

#include <cstdint>
#include <cstdio>
#include <memory>

namespace runtime {

class WindowRuntime final : public CanvasRuntime, private WindowEvents {
public:
    // Creates the form's window on `platform`, hidden until run().
    WindowRuntime(const FormDescription& description, std::unique_ptr<Platform> platform,
                  QuitSignals& quit_signals);

    WindowRuntime(const WindowRuntime&) = delete;
    WindowRuntime& operator=(const WindowRuntime&) = delete;
    ~WindowRuntime() override;

    // For benchmarks: a line per tick (and per step of the start) on `log`,
    // with the monotonic clock in nanoseconds.
    void set_tick_log(std::FILE* log) {
        m_tick_log = log;
        m_platform->log_presents(log);
    }

    Status set_window_state(int state) override;

    // Loads the form, shows the window and delivers events until the form
    // ends the program, the window is closed or a quit signal comes.
    // Returns the exit status.
    int run(Form& form);

private:
    using Clock = TickSchedule::Clock;

    void mouse_down(std::int16_t button, std::int16_t shift, int x, int y) override;
    void close_requested() override { end(); }
    void picture_changed() override;
    void attach_canvas();
    void claim_picture();

    [[nodiscard]] TickSchedule::Outlook outlook() const;
    void present();
    void log(const char* what, Clock::time_point at, Clock::time_point deadline = {},
             Clock::time_point presented = {}) const;

    const FormDescription m_description; // a copy: the caller's may be a temporary
    std::unique_ptr<Platform> m_platform;
    QuitSignals& m_quit_signals;
    Form* m_form = nullptr;
    // The form's timer runs from the window's creation, so the first ray is
    // drawn as soon as the window is up.
    TickSchedule m_schedule;
    bool m_present_all = true;
    std::FILE* m_tick_log = nullptr;
};

} // namespace runtime
