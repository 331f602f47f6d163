#include "runtime/window_runtime.h"

#include "runtime/desktop_dpi.h"
#include "runtime/sdl_surface_presenter.h"
#include "runtime/timer.h"
#include "runtime/window_icon.h"
#include "runtime/x11_lost_connection.h"
#include "runtime/x11_shm_presenter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace runtime {
namespace {

constexpr bool kTickLog = RAYS_TICK_LOG;

long long nanoseconds(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// Only drivers that show a window on a desktop, and only for a display the
// session names. Left to itself SDL falls back to its offscreen driver when
// no display opens, and the program would run on forever with no window.
// An explicit SDL_VIDEODRIVER is honoured.
std::string display_drivers() {
    std::string drivers;
    const char* x11 = SDL_getenv("DISPLAY");
    const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
    if (x11 && *x11) drivers = "x11";
    if (wayland && *wayland) drivers += drivers.empty() ? "wayland" : ",wayland";
    return drivers;
}

// In the tick-log build: when a step of the start or a tick happened.
void log_step(const char* step) {
    if constexpr (kTickLog)
        std::fprintf(stderr, "step %s %lld\n", step, nanoseconds(std::chrono::steady_clock::now()));
}

[[noreturn]] void fail(const char* what) { throw RuntimeError(what, SDL_GetError()); }

int to_pixels(int twips, double twips_per_pixel) {
    return std::max(1, static_cast<int>(std::lround(twips / twips_per_pixel)));
}

std::int16_t button_code(Uint8 sdl_button) {
    switch (sdl_button) {
    case SDL_BUTTON_LEFT: return kLeftButton;
    case SDL_BUTTON_RIGHT: return kRightButton;
    case SDL_BUTTON_MIDDLE: return kMiddleButton;
    default: return 0;
    }
}

std::int16_t shift_state() {
    const SDL_Keymod mod = SDL_GetModState();
    return static_cast<std::int16_t>(((mod & KMOD_SHIFT) ? 1 : 0) | ((mod & KMOD_CTRL) ? 2 : 0) |
                                     ((mod & KMOD_ALT) ? 4 : 0));
}

} // namespace

WindowRuntime::WindowRuntime(const FormDescription& description)
    : CanvasRuntime(kDefaultDpi), m_description(description),
      m_timer(std::chrono::milliseconds(description.timer_interval_ms), FixedRateTimer::Clock::now()) {
    log_step("start");
    open_display();
    log_step("display");
    const std::string caption(description.caption);
    m_window.reset(SDL_CreateWindow(caption.c_str(), SDL_WINDOWPOS_UNDEFINED,
                                    SDL_WINDOWPOS_UNDEFINED, 1, 1,
                                    SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI));
    if (!m_window) fail("create window");
    set_window_icon(m_window.get());
    m_canvas.set_dpi(desktop_dpi(m_window.get()));
    const double tpp = m_canvas.twips_per_pixel();
    SDL_SetWindowSize(m_window.get(), to_pixels(description.client_width_twips, tpp),
                      to_pixels(description.client_height_twips, tpp));
    log_step("window");
    m_presenter = make_x11_shm_presenter(m_window.get());
    if (!m_presenter) m_presenter = std::make_unique<SdlSurfacePresenter>(m_window.get());
    attach_canvas();
    log_step("presenter");
}

WindowRuntime::~WindowRuntime() {
    // The canvas draws on the presenter's pixels: let go of them first.
    (void)m_canvas.attach(nullptr, 0, 0, 0);
    m_presenter.reset();
}

void WindowRuntime::open_display() {
    // An animation that runs for hours must not keep the screen from locking.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (!SDL_getenv("SDL_VIDEODRIVER")) {
        const std::string drivers = display_drivers();
        if (drivers.empty())
            throw RuntimeError("open display", "no display: neither DISPLAY nor WAYLAND_DISPLAY is set");
        SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            const char* x11 = SDL_getenv("DISPLAY");
            throw RuntimeError("open display", x11 && *x11 ? std::string("cannot connect to X display ") + x11
                                                           : std::string(SDL_GetError()));
        }
    } else if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        fail("open display");
    }
    // On X11, SDL would otherwise present the window surface through a
    // software OpenGL renderer, at the cost of more than a core. Elsewhere
    // that renderer is the only way it has to show a surface.
    if (SDL_strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0) {
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        exit_when_x_connection_is_lost();
    }
}

void WindowRuntime::attach_canvas() {
    check(m_canvas.attach(m_presenter->pixels(), m_presenter->width(), m_presenter->height(),
                          m_presenter->stride()),
          "window surface");
}

void WindowRuntime::follow_window_size() {
    if (!m_presenter->follow_window_size()) return;
    attach_canvas();
    m_present_all = true;
}

Status WindowRuntime::set_window_state(int state) {
    switch (state) {
    case kNormal: SDL_RestoreWindow(m_window.get()); return Status::ok();
    case kMinimised: SDL_MinimizeWindow(m_window.get()); return Status::ok();
    case kMaximised: SDL_MaximizeWindow(m_window.get()); return Status::ok();
    default: return Status::failure("unknown window state");
    }
}

void WindowRuntime::present_all() {
    m_present_all = false;
    m_canvas.take_damage();
    if (m_visible) m_presenter->present_all();
}

void WindowRuntime::present_damage() {
    if (m_canvas.damage().empty()) return;
    // While minimised or hidden the picture goes on changing; it is shown
    // whole when the window comes back.
    if (m_visible) m_presenter->present(m_canvas.damage());
    m_canvas.take_damage();
}

void WindowRuntime::dispatch(const SDL_Event& event, Form& form) {
    switch (event.type) {
    case SDL_QUIT: end(); break;
    case SDL_MOUSEBUTTONDOWN: {
        const std::int16_t code = button_code(event.button.button);
        if (code == 0) break;
        const double tpp = m_canvas.twips_per_pixel();
        form.mouse_down(code, shift_state(), static_cast<float>(event.button.x * tpp),
                        static_cast<float>(event.button.y * tpp));
        break;
    }
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED: follow_window_size(); break;
        case SDL_WINDOWEVENT_MINIMIZED:
        case SDL_WINDOWEVENT_HIDDEN: m_visible = false; break;
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED:
        case SDL_WINDOWEVENT_EXPOSED:
            m_visible = true;
            m_present_all = true;
            break;
        default: break;
        }
        break;
    default: break;
    }
}

int WindowRuntime::run(Form& form) {
    using Clock = FixedRateTimer::Clock;
    form.load();
    if (ended()) return 0;
    log_step("load");
    SDL_ShowWindow(m_window.get());
    log_step("show");
    m_visible = true;
    follow_window_size();
    present_all();

    while (!ended()) {
        const int wait_ms = m_description.timer_enabled ? m_timer.wait_ms(Clock::now()) : -1;
        if (m_presenter->wait_for_events(wait_ms)) {
            SDL_PumpEvents();
            SDL_Event event;
            while (!ended() && SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0)
                dispatch(event, form);
            if (ended()) break;
            if (m_present_all) present_all();
        }
        const Clock::time_point now = Clock::now();
        if (m_description.timer_enabled && m_timer.due(now)) {
            form.timer_tick();
            present_damage();
            if constexpr (kTickLog)
                std::fprintf(stderr, "tick %lld %lld %lld\n", nanoseconds(now),
                             nanoseconds(m_timer.deadline()), nanoseconds(Clock::now()));
            m_timer.advance(now);
        }
    }
    return 0;
}

} // namespace runtime
