// A window system as the window runtime sees it: one top-level window, its
// input, and a way to show the kept picture. X11 and Wayland each implement
// it in their own folder; the event loop, the timer and the form never know
// which one they run on.
//
// Every call happens on the one thread. A failure of the window system (the
// connection lost, a protocol error, a window destroyed by someone else)
// raises a RuntimeError in the program's own words.
#pragma once

#include "draw/damage.h"
#include "draw/picture.h"
#include "form/status.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

namespace runtime {

// The frame interval of a display that does not say its refresh rate: 60 Hz.
inline constexpr auto kUnknownFrameInterval = std::chrono::nanoseconds(1'000'000'000 / 60);

// What a window looks like before it is first shown.
struct WindowSetup {
    std::string_view caption; // the title bar's text
    std::string_view app_id;  // the desktop entry's name: WM_CLASS, xdg app id
    int width, height;        // pixels, the size the window is restored to
    // For each size its width, height and ARGB pixels, as _NET_WM_ICON
    // takes them; a platform with no use for it ignores it.
    std::span<const std::uint32_t> icon;
};

// What a platform tells the event loop while it handles what arrived.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    // A press in the client area, in the form's button codes (1 left,
    // 2 right, 4 middle) with the shift state (1 shift, 2 control, 4 alt);
    // x and y in pixels. Other buttons and the wheel are not reported.
    virtual void mouse_down(std::int16_t button, std::int16_t shift, int x, int y) = 0;
    // The user closed the window through the window system, or a window
    // that another program lent us went away: the program ends with 0.
    virtual void close_requested() = 0;
    // The picture was replaced or resized, or the resolution changed: the
    // canvas must draw on picture() at dpi() from now on.
    virtual void picture_changed() = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // The resolution that maps twips to pixels: the desktop's setting, never
    // the screen's claimed size in millimetres.
    [[nodiscard]] virtual double dpi() const = 0;

    // Creates the window, not shown yet; picture() is valid afterwards. A
    // platform lent a window by another program (WindowTarget) takes that
    // one as it is instead, and ignores `setup`.
    virtual void create_window(const WindowSetup& setup) = 0;
    // kNormal, kMinimised or kMaximised; before show() it is how the window
    // first appears. A lent window stays as its owner keeps it.
    virtual Status set_window_state(int state) = 0;
    virtual void show() = 0;

    // The kept picture. It changes only inside create_window() and
    // dispatch(), which then call picture_changed(), and in
    // claim_picture() and claim_released_picture().
    [[nodiscard]] virtual Picture picture() const = 0;
    // Before anything is drawn: a platform that handed the picture's memory
    // to the compositor moves the picture to memory of its own, holding the
    // same pixels, and returns true.
    virtual bool claim_picture() { return false; }
    // The same after each dispatch, but only onto memory the compositor
    // has given back, never new memory: what was just drawn is copied while
    // it is still in the cache.
    virtual bool claim_released_picture() { return false; }

    // The connection to wait on with poll() for input.
    [[nodiscard]] virtual int fd() const = 0;
    // True while part of a picture waits for room in the connection: the
    // wait then also ends when it can be written.
    [[nodiscard]] virtual bool wants_to_write() const { return false; }
    // Before the wait: everything queued goes out, and (Wayland) the
    // connection is ready to read. True when input has already been read
    // and waits to be handled: the loop then does not sleep.
    virtual bool prepare_wait() = 0;
    // After the wait: reads what arrived when `readable`, handles it and
    // tells `events`. Called after every prepare_wait().
    virtual void dispatch(bool readable, WindowEvents& events) = 0;

    // True while any of the window can be seen; while it cannot, the picture
    // goes on changing and nothing is presented.
    [[nodiscard]] virtual bool visible() const = 0;
    // Time between two frames of the display the window is on: the loop
    // wakes at most this often while the window is visible.
    [[nodiscard]] virtual std::chrono::nanoseconds frame_interval() const = 0;
    // While the compositor has been asked for a frame and has not given it,
    // nothing drawn can be shown sooner: until this moment the loop lets
    // the due ticks wait for the frame and runs them when it comes. None
    // (the clock's epoch) where frames are not asked for.
    [[nodiscard]] virtual std::chrono::steady_clock::time_point frame_awaited_until() const { return {}; }

    // Shows the pixels of the picture that `damage` covers, or all of it.
    // A platform may hold damage back (the compositor has not asked for a
    // frame, the server does not read) and show it with later damage.
    virtual void present(const Damage& damage) = 0;
    virtual void present_all() = 0;

    // For benchmarks: a line on `log` for each picture sent to the display
    // server, where the platform knows when it sends one.
    virtual void log_presents(std::FILE* /*log*/) {}
};

} // namespace runtime
