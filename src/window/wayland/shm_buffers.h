// The window's picture in wl_shm memory (XRGB8888) that the compositor reads
// as it is: the canvas draws straight into the buffers, which take turns
// as PictureBuffers says. The picture may be larger than the window (the
// largest the window has been): the compositor is handed its top-left
// corner of the window's size, out of the same memory.
#pragma once

#include "draw/picture_buffers.h"
#include "window/wayland/wayland_handles.h"

#include <cstdint>
#include <span>

namespace runtime {

class ShmBuffers {
public:
    explicit ShmBuffers(wl_shm* shm);
    ShmBuffers(const ShmBuffers&) = delete;
    ShmBuffers& operator=(const ShmBuffers&) = delete;

    [[nodiscard]] Picture picture() const { return m_buffers.picture(); }
    // Raises the run-time error when no memory can be shared.
    void resize(int width, int height, std::uint32_t background) { m_buffers.resize(width, height, background); }
    bool claim() { return m_buffers.claim(); }
    bool claim_released() { return m_buffers.claim_released(); }
    // The picture's buffer, `width` x `height` of it, to attach; null while
    // the damage has to wait.
    wl_buffer* hand_over(std::span<const PixelRect> damage, int width, int height);

private:
    class ShmBuffer;
    static void released(void* data, wl_buffer* buffer);
    static constexpr wl_buffer_listener kListener = [] {
        wl_buffer_listener l{};
        l.release = released;
        return l;
    }();

    wl_shm* m_shm;
    PictureBuffers m_buffers;
};

} // namespace runtime
