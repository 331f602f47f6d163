#include "window/wayland/background_screen.h"

#include <algorithm>
#include <limits>

namespace runtime {

void BackgroundScreen::cover(wl_compositor* compositor, zwlr_layer_shell_v1* shell) {
    m_surface.reset(wl_compositor_create_surface(compositor));
    m_layer.reset(zwlr_layer_shell_v1_get_layer_surface(shell, m_surface.get(), m_output.output.get(),
                                                        ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND, "rays"));
    zwlr_layer_surface_v1_add_listener(m_layer.get(), &kLayerListener, this);
    zwlr_layer_surface_v1_set_size(m_layer.get(), 0, 0); // the output's, as the anchors say
    zwlr_layer_surface_v1_set_anchor(m_layer.get(),
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(m_layer.get(), -1); // under panels, not beside them
    zwlr_layer_surface_v1_set_keyboard_interactivity(m_layer.get(), 0);
    wl_region* opaque = wl_compositor_create_region(compositor);
    wl_region_add(opaque, 0, 0, std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max());
    wl_surface_set_opaque_region(m_surface.get(), opaque);
    wl_region_destroy(opaque);
    wl_surface_commit(m_surface.get()); // no buffer: the compositor answers with a configure
}

void BackgroundScreen::configure(void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t width,
                                 std::uint32_t height) {
    auto* self = static_cast<BackgroundScreen*>(data);
    self->m_serial = serial;
    self->m_width = static_cast<int>(std::min<std::uint32_t>(width, 1u << 15));
    self->m_height = static_cast<int>(std::min<std::uint32_t>(height, 1u << 15));
    self->m_reconfigured = true;
}

bool BackgroundScreen::follow_configure() {
    const bool rescaled = m_scale != m_output.scale;
    m_scale = m_output.scale;
    if (m_reconfigured) {
        m_reconfigured = false;
        zwlr_layer_surface_v1_ack_configure(m_layer.get(), m_serial);
        m_configured = m_width > 0 && m_height > 0;
    } else if (!rescaled) {
        return false;
    }
    m_frame.reset();
    push_whole();
    return true;
}

void BackgroundScreen::drop_buffer() {
    m_buffer.reset();
    push_whole();
}

void BackgroundScreen::push_whole() {
    m_pending.clear();
    m_pending.push_back({0, 0, pixels_w(), pixels_h()});
}

void BackgroundScreen::present(const Damage& damage, wl_shm_pool* pool, const Picture& picture) {
    if (!m_configured) return;
    for (const PixelRect& r : damage) {
        if (const PixelRect in = clipped(r, pixels_w(), pixels_h()); !in.empty()) m_pending.push_back(in);
    }
    if (m_pending.size() > kMaxWaitingRects) push_whole();
    if (!m_frame) commit(pool, picture);
}

void BackgroundScreen::present_all(wl_shm_pool* pool, const Picture& picture) {
    if (!m_configured) return;
    push_whole();
    if (!m_frame) commit(pool, picture);
}

void BackgroundScreen::commit_owed(wl_shm_pool* pool, const Picture& picture) {
    if (m_configured && !m_frame && !m_pending.empty()) commit(pool, picture);
}

void BackgroundScreen::commit(wl_shm_pool* pool, const Picture& picture) {
    if (!m_configured || m_pending.empty() || !pool) return;
    // The output's corner of the picture; an output larger than the
    // picture (not yet fitted) waits for it.
    const int w = pixels_w(), h = pixels_h();
    if (w > picture.width || h > picture.height) return;
    if (!m_buffer || m_buffer_w != w || m_buffer_h != h) {
        m_buffer.reset(wl_shm_pool_create_buffer(pool, 0, w, h, picture.stride, WL_SHM_FORMAT_XRGB8888));
        m_buffer_w = w;
        m_buffer_h = h;
    }
    wl_surface* surface = m_surface.get();
    wl_surface_set_buffer_scale(surface, m_scale);
    wl_surface_attach(surface, m_buffer.get(), 0, 0);
    for (const PixelRect& r : m_pending) wl_surface_damage_buffer(surface, r.x, r.y, r.w, r.h);
    m_pending.clear();
    m_frame.reset(wl_surface_frame(surface));
    wl_callback_add_listener(m_frame.get(), &kFrameListener, this);
    wl_surface_commit(surface);
}

} // namespace runtime
