#include "runtime/window_runtime.h"

#include "runtime/desktop_dpi.h"
#include "runtime/timer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace runtime {
namespace {

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

void fill_rows(std::uint8_t* pixels, int pitch, int width, int height, Colour colour) {
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(y) * pitch);
        std::fill(row, row + width, colour);
    }
}

} // namespace

WindowRuntime::WindowRuntime(const FormDescription& description)
    : CanvasRuntime(kDefaultDpi), m_description(description) {
    open_display();
    const std::string caption(description.caption);
    m_window.reset(SDL_CreateWindow(caption.c_str(), SDL_WINDOWPOS_UNDEFINED,
                                    SDL_WINDOWPOS_UNDEFINED, 1, 1,
                                    SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI));
    if (!m_window) fail("create window");
    m_canvas.set_dpi(desktop_dpi(m_window.get()));
    const double tpp = m_canvas.twips_per_pixel();
    SDL_SetWindowSize(m_window.get(), to_pixels(description.client_width_twips, tpp),
                      to_pixels(description.client_height_twips, tpp));
    attach_surface();
    check(m_canvas.clear(), "clear");
}

WindowRuntime::~WindowRuntime() {
    // The canvas draws on the window's pixels: let go of them first.
    (void)m_canvas.attach(nullptr, 0, 0, 0);
}

void WindowRuntime::open_display() {
    // SDL would otherwise present the window surface through a software
    // OpenGL renderer, at the cost of more than a core.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
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
        return;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) fail("open display");
}

void WindowRuntime::attach_surface() {
    m_surface = SDL_GetWindowSurface(m_window.get());
    if (!m_surface) fail("window surface");
    const Uint32 format = m_surface->format->format;
    if (format != SDL_PIXELFORMAT_RGB888 && format != SDL_PIXELFORMAT_ARGB8888)
        throw RuntimeError("window surface", std::string("unsupported pixel format ") +
                                                 SDL_GetPixelFormatName(format));
    check(m_canvas.attach(static_cast<std::uint32_t*>(m_surface->pixels), m_surface->w,
                          m_surface->h, m_surface->pitch),
          "window surface");
}

void WindowRuntime::follow_window_size() {
    // A size change replaces the window surface; SDL marks the old one stale
    // as soon as it reads the change, before its event reaches us.
    int w = 0, h = 0;
    SDL_GetWindowSizeInPixels(m_window.get(), &w, &h);
    if (w != m_surface->w || h != m_surface->h) carry_picture_over();
}

void WindowRuntime::carry_picture_over() {
    const int old_w = m_surface->w, old_h = m_surface->h, old_pitch = m_surface->pitch;
    std::vector<std::uint8_t> kept(static_cast<std::size_t>(old_pitch) * old_h);
    std::memcpy(kept.data(), m_surface->pixels, kept.size());

    attach_surface();
    auto* pixels = static_cast<std::uint8_t*>(m_surface->pixels);
    fill_rows(pixels, m_surface->pitch, m_surface->w, m_surface->h, kBackground);
    const int w = std::min(old_w, m_surface->w), h = std::min(old_h, m_surface->h);
    for (int y = 0; y < h; ++y)
        std::memcpy(pixels + static_cast<std::ptrdiff_t>(y) * m_surface->pitch,
                    kept.data() + static_cast<std::ptrdiff_t>(y) * old_pitch,
                    static_cast<std::size_t>(w) * 4);
    present_all();
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
    m_canvas.take_damage();
    if (!m_visible) return;
    follow_window_size();
    m_canvas.take_damage();
    if (SDL_UpdateWindowSurface(m_window.get()) != 0) fail("present");
}

void WindowRuntime::present_damage() {
    const Damage& damage = m_canvas.damage();
    if (damage.empty()) return;
    if (!m_visible) {
        m_canvas.take_damage();
        return;
    }
    follow_window_size();
    if (m_canvas.damage().empty()) return; // the whole picture was just presented
    std::array<SDL_Rect, Damage::kMaxRects> rects;
    std::size_t n = 0;
    for (const PixelRect& r : damage) rects[n++] = SDL_Rect{r.x, r.y, r.w, r.h};
    m_canvas.take_damage();
    if (SDL_UpdateWindowSurfaceRects(m_window.get(), rects.data(), static_cast<int>(n)) != 0)
        fail("present");
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
            present_all();
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
    SDL_ShowWindow(m_window.get());
    m_visible = true;
    present_all();

    FixedRateTimer timer(std::chrono::milliseconds(m_description.timer_interval_ms), Clock::now());
    SDL_Event event;
    while (!ended()) {
        const int wait_ms = m_description.timer_enabled ? timer.wait_ms(Clock::now()) : -1;
        if (SDL_WaitEventTimeout(&event, wait_ms)) {
            dispatch(event, form);
            while (!ended() && SDL_PollEvent(&event)) dispatch(event, form);
            if (ended()) break;
        }
        const Clock::time_point now = Clock::now();
        if (m_description.timer_enabled && timer.due(now)) {
            form.timer_tick();
            present_damage();
            timer.advance(now);
        }
    }
    return 0;
}

} // namespace runtime
