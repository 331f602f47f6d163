#include "window/wayland/shm_buffers.h"

#include "form/status.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace runtime {

class ShmBuffers::ShmBuffer final : public PictureBuffers::Buffer {
public:
    ShmBuffer(const Picture& picture, std::size_t size, wl_shm_pool* pool, PictureBuffers* owner)
        : Buffer(picture), m_size(size), m_pool(pool), m_owner(owner) {}
    ~ShmBuffer() override {
        buffer.reset();
        wl_shm_pool_destroy(m_pool);
        munmap(picture().pixels, m_size);
    }

    // The part the window shows, made anew when the window's size changes
    // (only while the compositor does not hold it).
    wl_buffer* view(int width, int height) {
        if (!buffer || width != m_view_w || height != m_view_h) {
            buffer.reset(wl_shm_pool_create_buffer(m_pool, 0, width, height, picture().stride,
                                                   WL_SHM_FORMAT_XRGB8888));
            wl_buffer_add_listener(buffer.get(), &kListener, this);
            m_view_w = width;
            m_view_h = height;
        }
        return buffer.get();
    }

    WlBuffer buffer;

private:
    friend class ShmBuffers;
    std::size_t m_size;
    wl_shm_pool* m_pool;
    int m_view_w = 0, m_view_h = 0;
    PictureBuffers* m_owner;
};

ShmBuffers::ShmBuffers(wl_shm* shm)
    : m_shm(shm), m_buffers([this](int width, int height) -> std::unique_ptr<PictureBuffers::Buffer> {
          // A pool's size and a buffer's stride are 32-bit signed on the wire.
          constexpr std::size_t kMaxPoolBytes = std::numeric_limits<std::int32_t>::max();
          const std::size_t row_bytes = static_cast<std::size_t>(width) * 4;
          const std::size_t size = row_bytes * static_cast<std::size_t>(height);
          if (size > kMaxPoolBytes)
              throw RuntimeError("window picture", std::to_string(width) + "x" + std::to_string(height) +
                                                       " pixels is more than a compositor can share (2 GiB)");
          const int stride = static_cast<int>(row_bytes);
          const int fd = memfd_create("rays-buffer", MFD_CLOEXEC);
          if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) < 0) {
              const std::string reason = std::strerror(errno);
              if (fd >= 0) close(fd);
              throw RuntimeError("window picture", "no memory to share with the compositor: " + reason);
          }
          void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
          if (pixels == MAP_FAILED) {
              close(fd);
              throw RuntimeError("window picture", "no memory to share with the compositor");
          }
          // Every page at once, much cheaper than a fault per page as the
          // picture is first filled; and memory that is not there is found
          // now, not as a SIGBUS while drawing. (Kernels before 5.14 say
          // EINVAL and fault page by page.)
          if (madvise(pixels, size, MADV_POPULATE_WRITE) < 0 && errno != EINVAL) {
              munmap(pixels, size);
              close(fd);
              throw RuntimeError("window picture", "no memory to share with the compositor");
          }
          // The pool keeps the memory for the buffers made from it; the
          // descriptor is no longer needed.
          wl_shm_pool* pool = wl_shm_create_pool(m_shm, fd, static_cast<std::int32_t>(size));
          close(fd);
          return std::make_unique<ShmBuffer>(Picture{static_cast<std::uint32_t*>(pixels), width, height, stride},
                                             size, pool, &m_buffers);
      }) {}

void ShmBuffers::released(void* data, wl_buffer*) {
    auto* b = static_cast<ShmBuffer*>(data);
    b->m_owner->released(b);
}

wl_buffer* ShmBuffers::hand_over(std::span<const PixelRect> damage, int width, int height) {
    PictureBuffers::Buffer* b = m_buffers.hand_over(damage);
    return b ? static_cast<ShmBuffer*>(b)->view(width, height) : nullptr;
}

} // namespace runtime
