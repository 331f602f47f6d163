// The window runtime's event loop in real time, on a platform of pretend
// whose window is hidden and shown, and whose compositor is slow to give
// frames: a timerfd wakes the loop for each of these, as the display
// server's socket would.
#include "form/form.h"
#include "form/form_runtime.h"
#include "window/platform.h"
#include "window/quit_signals.h"
#include "window/window_runtime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <sys/timerfd.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class PretendPlatform final : public runtime::Platform {
public:
    // Hidden from `hide` to `show` after the window is made; each commit's
    // frame comes `frame_delay` later (none asked for when zero).
    PretendPlatform(Clock::duration hide, Clock::duration show, Clock::duration frame_delay)
        : m_made(Clock::now()), m_hide(m_made + hide), m_show(m_made + show), m_frame_delay(frame_delay),
          m_fd(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)), m_pixels(64 * 64) {
        arm();
    }
    ~PretendPlatform() override { close(m_fd); }

    double dpi() const override { return 96; }
    void create_window(const runtime::WindowSetup&) override {}
    runtime::Status set_window_state(int) override { return runtime::Status::ok(); }
    void show() override {}
    runtime::Picture picture() const override { return {m_pixels.data(), 64, 64, 64 * 4}; }
    int fd() const override { return m_fd; }
    bool prepare_wait() override { return false; }
    void dispatch(bool readable, runtime::WindowEvents&) override {
        std::uint64_t expirations = 0;
        if (readable) (void)!read(m_fd, &expirations, sizeof expirations);
        if (m_awaiting && Clock::now() >= m_frame_comes) m_awaiting = false;
        arm();
    }
    bool visible() const override {
        const auto now = Clock::now();
        // As on Wayland, a frame awaited half a second means unseen.
        return (now < m_hide || now >= m_show) && (!m_awaiting || now - m_asked < 500ms);
    }
    std::chrono::nanoseconds frame_interval() const override { return 16'666'667ns; }
    Clock::time_point frame_awaited_until() const override {
        return m_awaiting ? m_asked + 500ms : Clock::time_point{};
    }
    void present(const runtime::Damage&) override { commit(); }
    void present_all() override { commit(); }

private:
    void commit() {
        if (m_frame_delay == 0s || m_awaiting) return;
        m_awaiting = true;
        m_asked = Clock::now();
        m_frame_comes = m_asked + m_frame_delay;
        arm();
    }
    // The next of the moments that wake the loop.
    void arm() {
        const auto now = Clock::now();
        Clock::time_point next = Clock::time_point::max();
        for (auto t : {m_hide, m_show, m_awaiting ? m_frame_comes : Clock::time_point::max()})
            if (t > now) next = std::min(next, t);
        itimerspec when{};
        if (next != Clock::time_point::max()) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(next.time_since_epoch()).count();
            when.it_value = {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
        }
        timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &when, nullptr);
    }

    Clock::time_point m_made, m_hide, m_show;
    Clock::duration m_frame_delay;
    int m_fd;
    mutable std::vector<std::uint32_t> m_pixels;
    bool m_awaiting = false;
    Clock::time_point m_asked{}, m_frame_comes{};
};

// Ends the program after this many ticks.
class CountingForm final : public runtime::Form {
public:
    CountingForm(runtime::FormRuntime& runtime, int ticks) : m_runtime(runtime), m_left(ticks) {}
    void load() override {}
    void mouse_down(std::int16_t, std::int16_t, float, float) override {}
    void timer_tick() override {
        if (--m_left == 0) m_runtime.end();
    }

private:
    runtime::FormRuntime& m_runtime;
    int m_left;
};

constexpr runtime::FormDescription kDescription{"Form1", 960, 960, 10, true};

} // namespace

TEST(WindowRuntime, HiddenAndShownOrWaitingForLateFramesItFiresEveryTick) {
    struct Case {
        const char* name;
        Clock::duration hide, show, frame_delay;
    } cases[] = {
        {"hidden at 0.5 s, shown at 1.4 s", 500ms, 1400ms, 0s},
        {"frames 150 ms after each commit, hidden at 0.5 s, shown at 1.4 s", 500ms, 1400ms, 150ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char* text = nullptr;
        std::size_t size = 0;
        std::FILE* log = open_memstream(&text, &size);
        ASSERT_NE(log, nullptr);
        {
            runtime::QuitSignals quit_signals;
            runtime::WindowRuntime window(kDescription, std::make_unique<PretendPlatform>(c.hide, c.show, c.frame_delay),
                                          quit_signals);
            window.set_tick_log(log);
            CountingForm form(window, 340);
            EXPECT_EQ(window.run(form), 0);
        }
        std::fclose(log);
        std::istringstream in(text);
        std::free(text);
        std::vector<long long> deadlines;
        std::string word;
        long long at, deadline, presented;
        while (in >> word)
            if (word == "tick" && (in >> at >> deadline >> presented)) deadlines.push_back(deadline);
        // The batch that ended the program is not logged.
        ASSERT_GT(deadlines.size(), 300u);
        for (std::size_t i = 1; i < deadlines.size(); ++i)
            ASSERT_EQ(deadlines[i] - deadlines[i - 1], 10'000'000) << "after tick " << i;
        // The first 3 s from the window's making hold their 300 ticks.
        EXPECT_EQ(std::count_if(deadlines.begin(), deadlines.end(),
                                [&](long long d) { return d - deadlines.front() < 3'000'000'000; }),
                  300);
    }
}
