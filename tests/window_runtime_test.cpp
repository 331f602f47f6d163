// The window runtime's event loop in real time, on a pretend platform whose
// window is hidden and shown and whose frames come late: a timerfd wakes the
// loop for each of these, as the display server's socket would.
#include "form/form.h"
#include "window/window_runtime.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    // Hidden from `hide` to `show`; each commit's frame comes `frame_delay`
    // later, none asked for when zero.
    PretendPlatform(Clock::duration hide, Clock::duration show, Clock::duration frame_delay)
        : m_hide(Clock::now() + hide), m_show(Clock::now() + show), m_frame_delay(frame_delay) {
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
    void dispatch(bool, runtime::WindowEvents&) override {
        if (m_awaiting && Clock::now() >= m_frame_comes) m_awaiting = false;
        arm();
    }
    bool visible() const override {
        const auto now = Clock::now(); // a frame awaited half a second means unseen, as on Wayland
        return (now < m_hide || now >= m_show) && (!m_awaiting || now - m_asked < 500ms);
    }
    std::chrono::nanoseconds frame_interval() const override { return 16'666'667ns; }
    Clock::time_point frame_awaited_until() const override { return m_awaiting ? m_asked + 500ms : Clock::time_point{}; }
    void present(const runtime::Damage&) override { present_all(); }
    void present_all() override {
        if (m_frame_delay == 0s || m_awaiting) return;
        m_awaiting = true;
        m_asked = Clock::now();
        m_frame_comes = m_asked + m_frame_delay;
        arm();
    }

private:
    // For the next moment that wakes the loop; reading is left to poll().
    void arm() {
        Clock::time_point next = Clock::time_point::max();
        for (auto t : {m_hide, m_show, m_awaiting ? m_frame_comes : next})
            if (t > Clock::now()) next = std::min(next, t);
        const auto ns = next == Clock::time_point::max() ? 0 : next.time_since_epoch() / 1ns;
        const itimerspec when{{0, 0}, {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)}};
        timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &when, nullptr);
    }

    Clock::time_point m_hide, m_show;
    Clock::duration m_frame_delay;
    int m_fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    mutable std::vector<std::uint32_t> m_pixels = std::vector<std::uint32_t>(64 * 64);
    bool m_awaiting = false;
    Clock::time_point m_asked{}, m_frame_comes{};
};

// Ends the program at its 340th tick.
struct CountingForm final : runtime::Form {
    explicit CountingForm(runtime::FormRuntime& r) : runtime(r) {}
    void load() override {}
    void mouse_down(std::int16_t, std::int16_t, float, float) override {}
    void timer_tick() override {
        if (++ticks == 340) runtime.end();
    }
    runtime::FormRuntime& runtime;
    int ticks = 0;
};

} // namespace

TEST(WindowRuntime, HiddenAndShownOrWaitingForLateFramesItFiresEveryTick) {
    for (const auto frame_delay : {0ms, 150ms}) {
        SCOPED_TRACE("hidden at 0.5 s, shown at 1.4 s, frames " + std::to_string(frame_delay.count()) + " ms late");
        char* text = nullptr;
        std::size_t size = 0;
        std::FILE* log = open_memstream(&text, &size);
        {
            runtime::QuitSignals quit_signals;
            // A temporary description: the runtime keeps a copy (ASan sees a dangling one).
            runtime::WindowRuntime window(runtime::FormDescription{"Form1", 960, 960, 10, true},
                                          std::make_unique<PretendPlatform>(500ms, 1400ms, frame_delay), quit_signals);
            window.set_tick_log(log);
            CountingForm form(window);
            EXPECT_EQ(window.run(form), 0);
        }
        std::fclose(log);
        std::istringstream in(text);
        std::free(text);
        std::vector<long long> due;
        std::string word;
        for (long long at, deadline, presented; in >> word;)
            if (word == "tick" && (in >> at >> deadline >> presented)) due.push_back(deadline);
        // The batch that ended the program is not logged.
        ASSERT_GT(due.size(), 300u);
        for (std::size_t i = 1; i < due.size(); ++i) EXPECT_EQ(due[i] - due[i - 1], 10'000'000) << "tick " << i;
        EXPECT_EQ(std::count_if(due.begin(), due.end(), [&](long long d) { return d - due[0] < 3'000'000'000; }), 300);
    }
}
