#include "window/wayland/wayland_seat.h"

#include "form/form_runtime.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>

namespace runtime {
namespace {

// The form's codes for the pointer's buttons; others are not buttons to it.
std::int16_t button_code(std::uint32_t button) {
    switch (button) {
    case BTN_LEFT: return kLeftButton;
    case BTN_RIGHT: return kRightButton;
    case BTN_MIDDLE: return kMiddleButton;
    default: return 0;
    }
}

} // namespace

WaylandSeat::WaylandSeat(wl_registry* registry, std::uint32_t name, std::uint32_t version,
                         wl_surface* const& surface)
    : m_name(name), m_surface(surface),
      m_seat(static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, 5u)))),
      m_xkb(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {
    wl_seat_add_listener(m_seat.get(), &kSeatListener, this);
}

WaylandSeat::~WaylandSeat() = default;

std::vector<PointerPress> WaylandSeat::take_presses() {
    std::vector<PointerPress> presses;
    presses.swap(m_presses);
    return presses;
}

void WaylandSeat::capabilities(void* data, wl_seat* seat, std::uint32_t caps) {
    auto* self = static_cast<WaylandSeat*>(data);
    const bool pointer = caps & WL_SEAT_CAPABILITY_POINTER, keyboard = caps & WL_SEAT_CAPABILITY_KEYBOARD;
    if (pointer && !self->m_pointer) {
        self->m_pointer.reset(wl_seat_get_pointer(seat));
        wl_pointer_add_listener(self->m_pointer.get(), &kPointerListener, self);
    } else if (!pointer) {
        self->m_pointer.reset();
        self->m_on_surface = false;
    }
    if (keyboard && !self->m_keyboard) {
        self->m_keyboard.reset(wl_seat_get_keyboard(seat));
        wl_keyboard_add_listener(self->m_keyboard.get(), &kKeyboardListener, self);
    } else if (!keyboard) {
        self->m_keyboard.reset();
        self->m_state.reset();
        self->m_keymap.reset();
    }
}

void WaylandSeat::enter(void* data, wl_pointer*, std::uint32_t, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
    auto* self = static_cast<WaylandSeat*>(data);
    // The decorations are surfaces of their own, which libdecor serves.
    self->m_on_surface = surface && surface == self->m_surface;
    self->m_x = wl_fixed_to_double(x);
    self->m_y = wl_fixed_to_double(y);
}

void WaylandSeat::leave(void* data, wl_pointer*, std::uint32_t, wl_surface*) {
    static_cast<WaylandSeat*>(data)->m_on_surface = false;
}

void WaylandSeat::motion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
    auto* self = static_cast<WaylandSeat*>(data);
    self->m_x = wl_fixed_to_double(x);
    self->m_y = wl_fixed_to_double(y);
}

void WaylandSeat::button(void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button,
                         std::uint32_t state) {
    auto* self = static_cast<WaylandSeat*>(data);
    const std::int16_t code = button_code(button);
    if (!self->m_on_surface || state != WL_POINTER_BUTTON_STATE_PRESSED || code == 0) return;
    self->m_presses.push_back({code, self->shift_state(), self->m_x, self->m_y});
}

void WaylandSeat::keymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size) {
    auto* self = static_cast<WaylandSeat*>(data);
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && self->m_xkb) {
        void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (text != MAP_FAILED) {
            XkbKeymap keymap(xkb_keymap_new_from_string(self->m_xkb.get(), static_cast<const char*>(text),
                                                        XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
            munmap(text, size);
            if (keymap) {
                self->m_state.reset(xkb_state_new(keymap.get()));
                self->m_keymap = std::move(keymap);
            }
        }
    }
    close(fd);
}

void WaylandSeat::modifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
                            std::uint32_t locked, std::uint32_t group) {
    auto* self = static_cast<WaylandSeat*>(data);
    if (self->m_state) xkb_state_update_mask(self->m_state.get(), depressed, latched, locked, 0, 0, group);
}

std::int16_t WaylandSeat::shift_state() const {
    if (!m_state) return 0;
    auto active = [&](const char* name) {
        return xkb_state_mod_name_is_active(m_state.get(), name, XKB_STATE_MODS_EFFECTIVE) > 0;
    };
    return static_cast<std::int16_t>((active(XKB_MOD_NAME_SHIFT) ? 1 : 0) | (active(XKB_MOD_NAME_CTRL) ? 2 : 0) |
                                     (active(XKB_MOD_NAME_ALT) ? 4 : 0));
}

} // namespace runtime
