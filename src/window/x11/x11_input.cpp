#include "window/x11/x11_input.h"

#include "form/form_runtime.h"

#include <cstdint>

namespace runtime {
namespace {

// X's pointer buttons, as the form numbers them; the wheel (4 to 7) and
// others are not buttons to the form.
std::int16_t button_code(xcb_button_t detail) {
    switch (detail) {
    case 1: return kLeftButton;
    case 2: return kMiddleButton;
    case 3: return kRightButton;
    default: return 0;
    }
}

std::int16_t shift_state(std::uint16_t state) {
    return static_cast<std::int16_t>(((state & XCB_MOD_MASK_SHIFT) ? 1 : 0) |
                                     ((state & XCB_MOD_MASK_CONTROL) ? 2 : 0) | ((state & XCB_MOD_MASK_1) ? 4 : 0));
}

} // namespace

bool deliver_input(const xcb_generic_event_t& event, const Atoms& atoms, WindowEvents& events) {
    switch (event.response_type & 0x7F) {
    case XCB_BUTTON_PRESS: {
        const auto& press = reinterpret_cast<const xcb_button_press_event_t&>(event);
        if (const std::int16_t code = button_code(press.detail); code != 0)
            events.mouse_down(code, shift_state(press.state), press.event_x, press.event_y);
        return true;
    }
    case XCB_CLIENT_MESSAGE: {
        const auto& message = reinterpret_cast<const xcb_client_message_event_t&>(event);
        if (message.type == atoms.wm_protocols && message.format == 32 &&
            message.data.data32[0] == atoms.wm_delete_window)
            events.close_requested();
        return true;
    }
    default: return false;
    }
}

} // namespace runtime
