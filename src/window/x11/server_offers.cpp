#include "window/x11/server_offers.h"

#include "window/x11/window_properties.h"
#include "window/x11/x11_visual.h"
#include "window/x11/xft_dpi.h"

#include <xcb/randr.h>
#include <xcb/shm.h>

#include <optional>

namespace runtime {

ServerOffers ask_server(xcb_connection_t* c, const xcb_screen_t& screen) {
    xcb_prefetch_extension_data(c, &xcb_shm_id);
    xcb_prefetch_extension_data(c, &xcb_randr_id);
    xcb_prefetch_maximum_request_length(c);
    ServerOffers offers;
    offers.atoms = intern_atoms(c);
    // The resources are the first screen's, whichever the window is on.
    xcb_screen_t* first = screen_of(c, 0);
    const auto resources = xcb_get_property(c, 0, first->root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 65536);
    WindowManagerQuery window_manager(c, screen, offers.atoms);
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    std::optional<xcb_randr_get_screen_info_cookie_t> screen_info;
    if (randr && randr->present) screen_info = xcb_randr_get_screen_info(c, screen.root);

    const XcbReply<xcb_get_property_reply_t> resources_reply(xcb_get_property_reply(c, resources, nullptr));
    offers.dpi = parse_xft_dpi(property_text(resources_reply.get())).value_or(kDefaultDpi);
    offers.wm = window_manager.answer();
    if (screen_info) {
        const XcbReply<xcb_randr_get_screen_info_reply_t> info(
            xcb_randr_get_screen_info_reply(c, *screen_info, nullptr));
        if (info && info->rate > 0) offers.frame_interval = std::chrono::nanoseconds(1'000'000'000 / info->rate);
    }
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    offers.shm = shm && shm->present;
    offers.shm_completion = offers.shm ? shm->first_event + XCB_SHM_COMPLETION : -1;
    return offers;
}

} // namespace runtime
