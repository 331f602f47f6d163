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
constexpr std::size_t kMaxStaleBands = 4096;

namespace {

// Most of the cost of showing a ray on Wayland is this copy: written so that
// the compiler makes it wide (see CMakeLists.txt).
void copy_opaque(const std::uint32_t* __restrict from, std::uint32_t* __restrict to, int count) {
    for (int x = 0; x < count; ++x) to[x] = from[x] | kOpaque;
}

} // namespace

struct ShmBuffers::Buffer {
    ShmBuffers* owner = nullptr;
    WlBuffer buffer;
    std::uint8_t* pixels = nullptr;
    std::size_t size = 0;
    int stride = 0;
    bool held = false;    // by the compositor
    bool fresh = true;    // never written: everything is stale
    // Shown since this buffer was last brought up to date: every rectangle of
    // every ray, not their union, or a few rays would copy half the window.
    std::vector<PixelRect> stale;

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

wl_buffer* ShmBuffers::take(const Picture& picture, std::span<const PixelRect> damage) {
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
        const int x1 = std::min({r.x + r.w, m_width, picture.width});
        const int y1 = std::min({r.y + r.h, m_height, picture.height});
        for (int y = y0; y < y1; ++y) {
            auto* to = reinterpret_cast<std::uint32_t*>(b.pixels + static_cast<std::ptrdiff_t>(y) * b.stride);
            copy_opaque(picture.row(y) + x0, to + x0, x1 - x0);
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
            other->stale.insert(other->stale.end(), damage.begin(), damage.end());
    for (Buffer* other : m_buffers)
        if (other && other->stale.size() > kMaxStaleBands) {
            // Long out of use: it is brought up to date whole.
            other->stale.clear();
            other->fresh = true;
        }
    return b.buffer.get();
}

} // namespace runtime
