// Preloaded into rays by a test: every shared-memory put of the picture
// names a segment the X server does not know, so the server refuses it.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <string.h>
#include <xcb/shm.h>

xcb_void_cookie_t xcb_shm_put_image(xcb_connection_t* c, xcb_drawable_t drawable, xcb_gcontext_t gc,
                                    uint16_t total_width, uint16_t total_height, uint16_t src_x, uint16_t src_y,
                                    uint16_t src_width, uint16_t src_height, int16_t dst_x, int16_t dst_y,
                                    uint8_t depth, uint8_t format, uint8_t send_event, xcb_shm_seg_t shmseg,
                                    uint32_t offset) {
    void* symbol = dlsym(RTLD_NEXT, "xcb_shm_put_image");
    xcb_void_cookie_t (*real)(xcb_connection_t*, xcb_drawable_t, xcb_gcontext_t, uint16_t, uint16_t, uint16_t,
                              uint16_t, uint16_t, uint16_t, int16_t, int16_t, uint8_t, uint8_t, uint8_t,
                              xcb_shm_seg_t, uint32_t);
    memcpy(&real, &symbol, sizeof real);
    return real(c, drawable, gc, total_width, total_height, src_x, src_y, src_width, src_height, dst_x, dst_y,
                depth, format, send_event, shmseg + 1, offset);
}
