#include "window/wayland/shm_buffers.h"

#include "form/status.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace runtime {

// The compositor composites XRGB8888 as opaque whatever the top byte says,
// but screenshots read it as alpha: it is set to 0xFF.
constexpr std::uint32_t kOpaque = 0xFF000000u;

struct ShmBuffers::Buffer {
    ShmBuffers* owner = nullptr;
    WlBuffer buffer;
    std::uint8_t* pixels = nullptr;
    std::size_t size = 0;
    int stride = 0;
    bool held = false;    // by the compositor
    bool fresh = true;    // never written: everything is stale
    Damage stale;         // shown since this buffer was last brought up to date

    ~Buffer() {
        if (pixels) munmap(pixels, size);
    }
};

ShmBuffers::~ShmBuffers() {
    for (Buffer* b : m_buffers) delete b;
    for (Buffer* b : m_retired) delete b;
}

void ShmBuffers::released(void* data, wl_buffer*) {
    auto* b = static_cast<Buffer*>(data);
    std::vector<Buffer*>& retired = b->owner->m_retired;
    if (const auto it = std::find(retired.begin(), retired.end(), b); it != retired.end()) {
        retired.erase(it);
        delete b;
        return;
    }
    b->held = false;
}

void ShmBuffers::resize(int width, int height) {
    if (width == m_width && height == m_height) return;
    m_width = width;
    m_height = height;
    for (Buffer*& b : m_buffers) {
        if (!b) continue;
        if (b->held) m_retired.push_back(b);
        else delete b;
        b = nullptr;
    }
}

wl_buffer* ShmBuffers::take(const Picture& picture, const Damage& damage) {
    Buffer** slot = std::find_if(m_buffers.begin(), m_buffers.end(), [](Buffer* b) { return !b || !b->held; });
    if (slot == m_buffers.end()) return nullptr;
    if (!*slot) {
        auto b = std::make_unique<Buffer>();
        b->owner = this;
        b->stride = m_width * 4;
        b->size = static_cast<std::size_t>(b->stride) * static_cast<std::size_t>(m_height);
        const int fd = memfd_create("rays-buffer", MFD_CLOEXEC);
        if (fd < 0 || ftruncate(fd, static_cast<off_t>(b->size)) < 0) {
            const std::string reason = std::strerror(errno);
            if (fd >= 0) close(fd);
            throw RuntimeError("window picture", "no memory to share with the compositor: " + reason);
        }
        void* pixels = mmap(nullptr, b->size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (pixels == MAP_FAILED) {
            close(fd);
            throw RuntimeError("window picture", "no memory to share with the compositor");
        }
        b->pixels = static_cast<std::uint8_t*>(pixels);
        wl_shm_pool* pool = wl_shm_create_pool(m_shm, fd, static_cast<std::int32_t>(b->size));
        b->buffer.reset(wl_shm_pool_create_buffer(pool, 0, m_width, m_height, b->stride, WL_SHM_FORMAT_XRGB8888));
        // The buffer keeps the memory; the pool and the descriptor are no
        // longer needed.
        wl_shm_pool_destroy(pool);
        close(fd);
        wl_buffer_add_listener(b->buffer.get(), &kListener, b.get());
        *slot = b.release();
    }
    Buffer& b = **slot;
    auto copy = [&](const PixelRect& r) {
        const int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
        const int x1 = std::min({r.x + r.w, m_width, picture.width}), y1 = std::min({r.y + r.h, m_height, picture.height});
        for (int y = y0; y < y1; ++y) {
            const std::uint32_t* from = picture.row(y);
            auto* to = reinterpret_cast<std::uint32_t*>(b.pixels + static_cast<std::ptrdiff_t>(y) * b.stride);
            for (int x = x0; x < x1; ++x) to[x] = from[x] | kOpaque;
        }
    };
    if (b.fresh) copy({0, 0, m_width, m_height});
    else
        for (const PixelRect& r : b.stale) copy(r);
    for (const PixelRect& r : damage) copy(r);
    b.fresh = false;
    b.stale.clear();
    b.held = true;
    for (Buffer* other : m_buffers)
        if (other && other != &b)
            for (const PixelRect& r : damage) other->stale.add(r);
    return b.buffer.get();
}

} // namespace runtime
