// A window of our own, and what we ask of the window manager for it: its
// ICCCM and EWMH properties, the state it is to be shown in (normal,
// minimised, maximised, full screen), and what the window does itself where
// the window manager does not do it the EWMH way: it covers the work area
// (or the screen), and fits itself on the screen once a frame that knows
// no EWMH (twm's) has pushed it down. A window manager that comes later is
// asked for the state again. Minimised, a window manager may leave the
// window mapped (mutter, for its thumbnails): _NET_WM_STATE_HIDDEN says so.
#pragma once

#include "form/form_runtime.h"
#include "window/platform.h"
#include "window/x11/window_manager.h"
#include "window/x11/x11_connection.h"
#include "window/x11/x11_visual.h"

#include <xcb/xcb.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace runtime {

class ManagedWindow {
public:
    // `fullscreen`: shown over the whole screen rather than maximised.
    ManagedWindow(xcb_connection_t* c, const xcb_screen_t& screen, const Atoms& atoms, const WindowManager& wm,
                  bool fullscreen);

    // Makes the window, not mapped yet, with `setup`'s title, class and
    // icon, showing `background`.
    xcb_window_t create(const WindowSetup& setup, const ChosenVisual& visual, std::uint32_t background);
    // kNormal, kMinimised or kMaximised: before map(), how the window first
    // appears.
    void set_state(int state);
    // Maps the window; from now on a window manager that comes is seen
    // arriving.
    void map();

    // What the server sends that concerns the window manager: a window
    // manager announcing itself on the root, a frame put round the window,
    // a change of _NET_WM_STATE. False for other events.
    bool handle(const xcb_generic_event_t& event);
    // After the events: takes the reply about _NET_WM_STATE if it has come
    // (true then), and takes on a window manager that has arrived.
    bool take_state();
    void follow_window_manager();
    // True while the window manager keeps the window minimised yet mapped.
    [[nodiscard]] bool hidden() const { return m_hidden; }

private:
    void set_property(xcb_atom_t property, xcb_atom_t type, int format, std::size_t count, const void* data);
    void set_size_hints(bool position_given);
    [[nodiscard]] std::vector<xcb_atom_t> wm_states(int state) const;
    [[nodiscard]] bool wm_shows(int state) const;
    void cover_work_area();
    void fit_frame_on_screen();
    void send_wm_state(bool add, const std::vector<xcb_atom_t>& states);
    void ask_wm_state();

    xcb_connection_t* m_c;
    const xcb_screen_t& m_screen;
    Atoms m_atoms;
    bool m_fullscreen;
    // What the window manager does the EWMH way; what it does not, the
    // window does itself: it covers the work area, or the screen.
    WindowManager m_wm;
    bool m_wm_announced = false; // since the last look at the root
    xcb_window_t m_window = 0;
    int m_state = kNormal;
    bool m_shown = false, m_hidden = false;
    // The request for _NET_WM_STATE whose reply is still to come.
    std::optional<unsigned int> m_state_asked;
};

} // namespace runtime
