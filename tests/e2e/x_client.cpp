// A tiny X client for the end-to-end tests, doing what no packaged tool does:
//   x_client destroy ID    destroys another client's window
//   x_client create WxH    creates and maps a window, prints its id, and
//                          keeps it until killed
//   x_client owner NAME    exits 0 when a client owns selection NAME
//   x_client own NAME      owns selection NAME, as a compositing manager
//                          owns _NET_WM_CM_S0, until killed
//   x_client expose ID     sends window ID whole-window Expose events, as
//                          fast as the server takes them, until killed
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return 1;
    const std::string command = argv[1];
    if (command == "destroy") {
        const auto window = static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 0));
        xcb_generic_error_t* error = xcb_request_check(c, xcb_destroy_window_checked(c, window));
        const bool destroyed = error == nullptr;
        std::free(error);
        return destroyed ? 0 : 1;
    }
    if (command == "owner" || command == "own") {
        const std::string name = argv[2];
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr);
        if (!atom) return 1;
        if (command == "own") {
            xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
            const xcb_window_t window = xcb_generate_id(c);
            xcb_create_window(c, 0, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                              XCB_COPY_FROM_PARENT, 0, nullptr);
            xcb_set_selection_owner(c, window, atom->atom, XCB_CURRENT_TIME);
            std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
            std::puts("owned");
            std::fflush(stdout);
            pause();
        }
        xcb_get_selection_owner_reply_t* owner =
            atom ? xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr) : nullptr;
        const bool owned = owner && owner->owner != XCB_WINDOW_NONE;
        std::free(owner);
        std::free(atom);
        return owned ? 0 : 1;
    }
    if (command == "expose") {
        const auto window = static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 0));
        xcb_expose_event_t expose{};
        expose.response_type = XCB_EXPOSE;
        expose.window = window;
        expose.width = 0x7FFF;
        expose.height = 0x7FFF;
        for (;;) {
            for (int i = 0; i < 1000; ++i)
                xcb_send_event(c, 0, window, XCB_EVENT_MASK_EXPOSURE, reinterpret_cast<const char*>(&expose));
            // A round trip a thousand: the flood never runs ahead of the server.
            std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
            if (xcb_connection_has_error(c)) return 1;
        }
    }
    if (command == "create") {
        unsigned w = 0, h = 0;
        if (std::sscanf(argv[2], "%ux%u", &w, &h) != 2) return 2;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const xcb_window_t window = xcb_generate_id(c);
        const std::uint32_t black = screen->black_pixel;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, static_cast<std::uint16_t>(w),
                          static_cast<std::uint16_t>(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL, &black);
        xcb_map_window(c, window);
        xcb_flush(c);
        std::printf("0x%x\n", window);
        std::fflush(stdout);
        pause();
    }
    return 2;
}
