// Preloaded into rays by a test: the X server's XFixes says it is version 1,
// which cannot shape a window's input, as on a server without XFixes 2.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <string.h>
#include <xcb/xfixes.h>

xcb_xfixes_query_version_reply_t* xcb_xfixes_query_version_reply(xcb_connection_t* c,
                                                                 xcb_xfixes_query_version_cookie_t cookie,
                                                                 xcb_generic_error_t** e) {
    void* symbol = dlsym(RTLD_NEXT, "xcb_xfixes_query_version_reply");
    xcb_xfixes_query_version_reply_t* (*real)(xcb_connection_t*, xcb_xfixes_query_version_cookie_t,
                                              xcb_generic_error_t**);
    memcpy(&real, &symbol, sizeof real);
    xcb_xfixes_query_version_reply_t* reply = real(c, cookie, e);
    if (reply) reply->major_version = 1;
    return reply;
}
