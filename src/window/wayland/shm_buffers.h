// The buffers the compositor reads the window's pixels from: wl_shm memory
// in XRGB8888, each a copy of the kept picture as it was when last shown.
//
// A buffer belongs to the compositor from its attach until it is released.
// Showing damage takes a free buffer, brings it up to date (the damage shown
// since it was last used, and the new damage) and hands it over; the rest of
// the buffer already holds the right pixels. Two buffers are enough when
// commits follow frame callbacks; with neither free the damage waits.
#pragma once

#include "draw/damage.h"
#include "draw/picture.h"
#include "window/wayland/wayland_handles.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace runtime {

class ShmBuffers {
public:
    explicit ShmBuffers(wl_shm* shm) : m_shm(shm) {}
    ShmBuffers(const ShmBuffers&) = delete;
    ShmBuffers& operator=(const ShmBuffers&) = delete;
    ~ShmBuffers();

    // Buffers of another size from now on; those the compositor still holds
    // go when it releases them.
    void resize(int width, int height);

    // A free buffer holding `picture` within `damage` and everything shown
    // before; null when the compositor holds every buffer. The buffer counts
    // as held from here on. Raises the run-time error when no memory can be
    // shared.
    wl_buffer* take(const Picture& picture, std::span<const PixelRect> damage);

private:
    struct Buffer;
    static void released(void* data, wl_buffer* buffer);
    static constexpr wl_buffer_listener kListener = {released};

    wl_shm* m_shm;
    int m_width = 0, m_height = 0;
    std::array<Buffer*, 2> m_buffers{};
    std::vector<Buffer*> m_retired; // of an old size, still held
};

} // namespace runtime
