// The window's picture shown as frame callbacks allow: while the compositor
// has not asked for the next frame, damage gathers, and goes out with the
// callback in one commit with the buffer. Nothing is committed before the
// toplevel's first configure.
#pragma once

#include "draw/damage.h"
#include "draw/damage_bands.h"
#include "window/wayland/decorated_toplevel.h"
#include "window/wayland/shm_buffers.h"
#include "window/wayland/wayland_handles.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace runtime {

class WindowPresenter {
public:
    WindowPresenter(wl_shm* shm, const DecoratedToplevel& toplevel) : m_toplevel(toplevel), m_buffers(shm) {}
    WindowPresenter(const WindowPresenter&) = delete;
    WindowPresenter& operator=(const WindowPresenter&) = delete;

    [[nodiscard]] ShmBuffers& buffers() { return m_buffers; }
    [[nodiscard]] const ShmBuffers& buffers() const { return m_buffers; }
    void present_on(wl_surface* surface) { m_surface = surface; }
    // The window shows `width` x `height` pixels of the picture, which is
    // kept at the largest size the window has had, up to `bound_w` x
    // `bound_h`: a window that shrinks and grows back shows its rays.
    void resize(int width, int height, int bound_w, int bound_h);

    [[nodiscard]] bool visible() const;
    [[nodiscard]] std::chrono::steady_clock::time_point frame_awaited_until() const;
    void present(const Damage& damage);
    void present_all();
    // The configure was acknowledged: the next commit carries the whole
    // picture at its size, whatever the frame callbacks say.
    void restart();
    // Before the wait: what no tick presented (a configure's answer, damage
    // that waited for the frame) goes out.
    void commit_owed();
    // libdecor asked for a commit of the window's surface.
    void commit_requested();

private:
    using Clock = std::chrono::steady_clock;

    static void frame_done(void* data, wl_callback*, std::uint32_t) {
        static_cast<WindowPresenter*>(data)->m_frame_callback.reset();
    }
    static constexpr wl_callback_listener kFrameListener = [] {
        wl_callback_listener l{};
        l.done = frame_done;
        return l;
    }();

    [[nodiscard]] bool owed() const {
        return m_toplevel.configured() && !m_frame_callback && !m_pending.empty();
    }
    void push_whole_picture();
    void commit();

    const DecoratedToplevel& m_toplevel;
    wl_surface* m_surface = nullptr;
    WlCallback m_frame_callback;
    ShmBuffers m_buffers;
    int m_shown_w = 0, m_shown_h = 0;     // pixels of the picture the window shows
    std::vector<PixelRect> m_pending;     // not yet committed, rectangle by rectangle
    DamageBands m_bands;                  // m_pending as it is sent
    Clock::time_point m_frame_asked{};
};

} // namespace runtime
