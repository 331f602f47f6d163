// One output's part of the background: a surface of its own in the layer
// shell's background layer, anchored to the output's four edges, under
// panels (exclusive zone -1) and never focused. It shows the top-left
// corner of the one picture at the output's size and scale, with the
// damage gathered while the compositor has not asked for the next frame.
#pragma once

#include "draw/damage.h"
#include "draw/picture.h"
#include "window/wayland/wayland_globals.h"
#include "window/wayland/wayland_handles.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace runtime {

class BackgroundScreen {
public:
    explicit BackgroundScreen(const WaylandOutput& output) : m_output(output) {}
    BackgroundScreen(const BackgroundScreen&) = delete;
    BackgroundScreen& operator=(const BackgroundScreen&) = delete;

    [[nodiscard]] const WaylandOutput& output() const { return m_output; }
    // Made after the dispatch that bound the output: a surface without a
    // buffer, which the compositor answers with a configure.
    [[nodiscard]] bool covered() const { return m_surface != nullptr; }
    void cover(wl_compositor* compositor, zwlr_layer_shell_v1* shell);
    [[nodiscard]] bool configured() const { return m_configured; }
    // The compositor closed the surface: the screen goes.
    [[nodiscard]] bool closed() const { return m_closed; }
    [[nodiscard]] int scale() const { return m_scale; }
    [[nodiscard]] int pixels_w() const { return m_width * m_scale; }
    [[nodiscard]] int pixels_h() const { return m_height * m_scale; }

    // After a dispatch: acknowledges a configure and takes the output's
    // scale. True when the screen is to be shown whole again, at a size
    // or scale of its own.
    bool follow_configure();
    // The picture's memory is new: the buffer of the old one goes, and the
    // whole corner is shown again.
    void drop_buffer();
    void present(const Damage& damage, wl_shm_pool* pool, const Picture& picture);
    void present_all(wl_shm_pool* pool, const Picture& picture);
    // What waited for a frame, when the frame has come.
    void commit_owed(wl_shm_pool* pool, const Picture& picture);

private:
    static void configure(void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t width,
                          std::uint32_t height);
    static void layer_closed(void* data, zwlr_layer_surface_v1*) { static_cast<BackgroundScreen*>(data)->m_closed = true; }
    static constexpr zwlr_layer_surface_v1_listener kLayerListener = [] {
        zwlr_layer_surface_v1_listener l{};
        l.configure = configure;
        l.closed = layer_closed;
        return l;
    }();

    static void frame_done(void* data, wl_callback*, std::uint32_t) {
        static_cast<BackgroundScreen*>(data)->m_frame.reset();
    }
    static constexpr wl_callback_listener kFrameListener = [] {
        wl_callback_listener l{};
        l.done = frame_done;
        return l;
    }();

    void push_whole();
    void commit(wl_shm_pool* pool, const Picture& picture);

    const WaylandOutput& m_output;
    WlSurface m_surface;
    LayerSurface m_layer;
    WlBuffer m_buffer;
    WlCallback m_frame;
    int m_scale = 1;               // the output's, as last followed
    int m_width = 0, m_height = 0; // surface coordinates, as configured
    int m_buffer_w = 0, m_buffer_h = 0;
    std::uint32_t m_serial = 0;
    bool m_configured = false, m_reconfigured = false, m_closed = false;
    std::vector<PixelRect> m_pending;
};

} // namespace runtime
