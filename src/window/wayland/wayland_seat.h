// The pointer and the keyboard of one Wayland seat, as the form sees them:
// presses of the three buttons on the window's surface, with the shift
// state the keyboard's modifiers give (through xkbcommon).
//
// Listeners run inside libwayland's dispatch, where nothing may throw or
// call back into the program: presses are queued there and taken after.
#pragma once

#include "window/wayland/wayland_handles.h"

#include <cstdint>
#include <vector>

namespace runtime {

struct PointerPress {
    std::int16_t button, shift;
    double x, y; // surface coordinates
};

class WaylandSeat {
public:
    // Presses count only on `surface`; the seat is bound at `version`.
    WaylandSeat(wl_registry* registry, std::uint32_t name, std::uint32_t version, wl_surface* const& surface);
    WaylandSeat(const WaylandSeat&) = delete;
    WaylandSeat& operator=(const WaylandSeat&) = delete;
    ~WaylandSeat();

    [[nodiscard]] std::uint32_t name() const { return m_name; }
    // The presses since the last call, oldest first.
    std::vector<PointerPress> take_presses();

private:
    static void capabilities(void* data, wl_seat* seat, std::uint32_t caps);
    static void seat_name(void*, wl_seat*, const char*) {}
    static constexpr wl_seat_listener kSeatListener = [] {
        wl_seat_listener l{};
        l.capabilities = capabilities;
        l.name = seat_name;
        return l;
    }();

    static void enter(void* data, wl_pointer*, std::uint32_t, wl_surface* surface, wl_fixed_t x, wl_fixed_t y);
    static void leave(void* data, wl_pointer*, std::uint32_t, wl_surface*);
    static void motion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y);
    static void button(void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button,
                       std::uint32_t state);
    static void axis(void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {}
    static void frame(void*, wl_pointer*) {}
    static void axis_source(void*, wl_pointer*, std::uint32_t) {}
    static void axis_stop(void*, wl_pointer*, std::uint32_t, std::uint32_t) {}
    static void axis_discrete(void*, wl_pointer*, std::uint32_t, std::int32_t) {}
    static void axis_value120(void*, wl_pointer*, std::uint32_t, std::int32_t) {}
    static constexpr wl_pointer_listener kPointerListener = [] {
        wl_pointer_listener l{};
        l.enter = enter;
        l.leave = leave;
        l.motion = motion;
        l.button = button;
        l.axis = axis;
        l.frame = frame;
        l.axis_source = axis_source;
        l.axis_stop = axis_stop;
        l.axis_discrete = axis_discrete;
        l.axis_value120 = axis_value120;
        return l;
    }();

    static void keymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size);
    static void key_enter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
    static void key_leave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
    static void key(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
    static void modifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
                          std::uint32_t locked, std::uint32_t group);
    static void repeat_info(void*, wl_keyboard*, std::int32_t, std::int32_t) {}
    static constexpr wl_keyboard_listener kKeyboardListener = [] {
        wl_keyboard_listener l{};
        l.keymap = keymap;
        l.enter = key_enter;
        l.leave = key_leave;
        l.key = key;
        l.modifiers = modifiers;
        l.repeat_info = repeat_info;
        return l;
    }();

    [[nodiscard]] std::int16_t shift_state() const;

    std::uint32_t m_name;
    wl_surface* const& m_surface;
    WlSeat m_seat;
    WlPointer m_pointer;
    WlKeyboard m_keyboard;
    XkbContext m_xkb;
    XkbKeymap m_keymap;
    XkbState m_state;
    bool m_on_surface = false;
    double m_x = 0, m_y = 0;
    std::vector<PointerPress> m_presses;
};

} // namespace runtime
