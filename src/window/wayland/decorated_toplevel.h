// The window's xdg_toplevel, decorated by libdecor (the compositor's
// decorations where it offers them, libdecor's own otherwise): the state
// it is asked for (normal, maximised, minimised or full screen) and the
// compositor's configures.
//
// libdecor's configure commits the size it takes inside the dispatch (the
// configuration lives only that long); the buffer of that size follows.
#pragma once

#include "form/form_runtime.h"
#include "form/status.h"
#include "window/wayland/wayland_handles.h"

#include <string_view>
#include <utility>

namespace runtime {

class DecoratedToplevel {
public:
    // Starts libdecor on `display`, its globals bound (a round trip).
    // Raises the run-time error where it cannot start, or where the
    // address-space limit leaves too little for its plugin. A `fullscreen`
    // toplevel covers its output whenever it is not minimised.
    DecoratedToplevel(wl_display* display, bool fullscreen);
    DecoratedToplevel(const DecoratedToplevel&) = delete;
    DecoratedToplevel& operator=(const DecoratedToplevel&) = delete;
    ~DecoratedToplevel();

    // libdecor's, which its plugin may watch for more than the compositor's
    // connection (the GTK plugin runs a GLib main loop there).
    [[nodiscard]] int fd() const { return libdecor_get_fd(m_decor.get()); }
    // libdecor reads and dispatches the connection itself, and gives its
    // plugin its turn; with no wait, it never blocks. Then raises what
    // libdecor reported, and asks for the state once the toplevel is there.
    void dispatch();

    // Decorates `surface`, restored to `width` x `height` (surface
    // coordinates): the size where the compositor leaves it to us.
    void decorate(wl_surface* surface, std::string_view caption, std::string_view app_id, int width, int height);
    Status set_state(int state);
    void map();

    [[nodiscard]] bool configured() const { return m_configured; }
    // The compositor said it does not show the window.
    [[nodiscard]] bool suspended() const { return m_suspended; }
    // Surface coordinates, as last configured.
    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    // What happened since the last call.
    bool take_reconfigured() { return std::exchange(m_reconfigured, false); }
    bool take_close() { return std::exchange(m_close, false); }
    bool take_commit_request() { return std::exchange(m_commit_requested, false); }

private:
    static void configure(libdecor_frame* frame, libdecor_configuration* configuration, void* data);
    static void close(libdecor_frame*, void* data) { static_cast<DecoratedToplevel*>(data)->m_close = true; }
    static void commit_requested(libdecor_frame*, void* data) {
        static_cast<DecoratedToplevel*>(data)->m_commit_requested = true;
    }
    static void dismiss_popup(libdecor_frame*, const char*, void*) {}

    void apply_state();

    wl_display* m_display;
    Libdecor m_decor;
    LibdecorFrame m_frame;

    int m_state = kNormal;
    bool m_fullscreen;
    int m_restored_w = 1, m_restored_h = 1;
    int m_width = 0, m_height = 0;
    bool m_shown = false, m_configured = false, m_state_applied = false;
    bool m_reconfigured = false, m_close = false, m_commit_requested = false;
    bool m_suspended = false;
};

} // namespace runtime
