#include "window/x11/x11_picture.h"

#include "form/status.h"
#include "window/quit_signals.h"
#include "window/x11/x11_connection.h"

#include <xcb/shm.h>

#include <algorithm>
#include <array>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <unistd.h>

namespace runtime {

// Memory shared with the server, attached on both sides. Where the server
// takes a file descriptor (MIT-SHM 1.2 over a local socket) it is a memfd,
// which nothing outlives. Otherwise it is a System V segment, made, attached
// and marked for removal with the quit signals held, before the server
// attaches it: from then on it goes with the last side to let go, however
// the program ends.
struct X11Picture::Segment {
    xcb_connection_t* c = nullptr;
    xcb_shm_seg_t id = 0;
    std::uint8_t* address = nullptr;
    std::size_t size = 0;
    bool mapped = false; // a memfd's mapping rather than a System V attachment

    ~Segment() {
        // The server lets go when the connection ends too; this is for a
        // picture that goes while the program runs on.
        if (id) xcb_shm_detach(c, id);
        if (address && mapped) munmap(address, size);
        if (address && !mapped) shmdt(address);
    }

    // Null when the server cannot share memory with us (it runs on another
    // machine, or has no MIT-SHM).
    static std::unique_ptr<Segment> create(xcb_connection_t* c, std::size_t size) {
        if (takes_fds(c))
            if (auto segment = create_memfd(c, size)) return segment;
        if (xcb_connection_has_error(c)) return nullptr;
        return create_system_v(c, size);
    }

private:
    static bool takes_fds(xcb_connection_t* c) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (getsockname(xcb_get_file_descriptor(c), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
            address.ss_family != AF_UNIX)
            return false;
        const XcbReply<xcb_shm_query_version_reply_t> version(
            xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
        return version && (version->major_version > 1 || (version->major_version == 1 && version->minor_version >= 2));
    }

    bool attached(xcb_void_cookie_t cookie) {
        const XcbReply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
        return !error && !xcb_connection_has_error(c);
    }

    static std::unique_ptr<Segment> create_memfd(xcb_connection_t* c, std::size_t size) {
        const int fd = memfd_create("rays-picture", MFD_CLOEXEC);
        if (fd < 0) return nullptr;
        void* address = ftruncate(fd, static_cast<off_t>(size)) == 0
                            ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                            : MAP_FAILED;
        if (address == MAP_FAILED) {
            close(fd);
            return nullptr;
        }
        auto segment = std::make_unique<Segment>();
        segment->c = c;
        segment->address = static_cast<std::uint8_t*>(address);
        segment->size = size;
        segment->mapped = true;
        const xcb_shm_seg_t id = xcb_generate_id(c);
        // xcb closes the descriptor once it is sent.
        if (!segment->attached(xcb_shm_attach_fd_checked(c, id, fd, 0))) return nullptr;
        segment->id = id;
        return segment;
    }

    static std::unique_ptr<Segment> create_system_v(xcb_connection_t* c, std::size_t size) {
        void* address = reinterpret_cast<void*>(-1);
        int shmid = -1;
        {
            // A quit signal between shmget and the removal would leave the
            // segment behind until the machine restarts.
            const QuitSignals::Held held;
            shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
            if (shmid < 0) return nullptr;
            address = shmat(shmid, nullptr, 0);
            // Linux lets the server attach a segment marked for removal
            // while we hold it.
            shmctl(shmid, IPC_RMID, nullptr);
        }
        if (address == reinterpret_cast<void*>(-1)) return nullptr;
        auto segment = std::make_unique<Segment>();
        segment->c = c;
        segment->address = static_cast<std::uint8_t*>(address);
        segment->size = size;
        const xcb_shm_seg_t id = xcb_generate_id(c);
        if (!segment->attached(xcb_shm_attach_checked(c, id, static_cast<std::uint32_t>(shmid), 1))) return nullptr;
        segment->id = id;
        return segment;
    }
};

namespace {

// The most a piece of a put without MIT-SHM carries: a few times less than
// the room a socket has when it says it is writable.
constexpr std::size_t kPieceBytes = 32 * 1024;
constexpr std::size_t kPutImageHeader = 24;

bool server_has_shm(xcb_connection_t* c) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_shm_id);
    return extension && extension->present;
}

} // namespace

X11Picture::X11Picture(xcb_connection_t* c, xcb_window_t window, xcb_gcontext_t gc, const PixelFormat& format,
                       int max_w, int max_h, bool try_shm)
    : m_c(c), m_window(window), m_gc(gc), m_format(format), m_max_w(std::max(1, max_w)),
      m_max_h(std::max(1, max_h)),
      m_max_request_bytes(static_cast<std::size_t>(xcb_get_maximum_request_length(c)) * 4) {
    const int picture_stride = m_max_w * 4;
    const std::size_t picture_bytes = static_cast<std::size_t>(picture_stride) * static_cast<std::size_t>(m_max_h);
    const bool direct = m_format.is_picture_layout();
    const int wire_stride = direct ? picture_stride : m_format.stride(m_max_w);
    const std::size_t wire_bytes = static_cast<std::size_t>(wire_stride) * static_cast<std::size_t>(m_max_h);

    if (try_shm && server_has_shm(c)) m_segment = Segment::create(c, wire_bytes);
    try {
        if (direct && m_segment) {
            m_pixels = reinterpret_cast<std::uint32_t*>(m_segment->address);
        } else {
            // Left untouched until fill(): fresh memory is slow to touch.
            m_own = std::make_unique_for_overwrite<std::uint32_t[]>(picture_bytes / 4);
            m_pixels = m_own.get();
        }
        if (!m_segment && !direct) m_own_wire = std::make_unique_for_overwrite<std::uint8_t[]>(wire_bytes);
        if (!m_segment) m_rows.reserve(std::min(wire_bytes, kPieceBytes));
    } catch (const std::bad_alloc&) {
        throw RuntimeError("window picture", "out of memory for " + std::to_string(m_max_w) + "x" +
                                                 std::to_string(m_max_h) + " pixels");
    }
    m_stride = picture_stride;
    if (m_segment) {
        m_wire = m_segment->address;
        m_wire_segment = m_segment->id;
    } else {
        m_wire = direct ? reinterpret_cast<std::uint8_t*>(m_pixels) : m_own_wire.get();
    }
    m_wire_stride = wire_stride;
}

X11Picture::~X11Picture() = default;

void X11Picture::fill(std::uint32_t background) {
    // One call maps every page, much cheaper than a fault per page.
    if (m_segment) madvise(m_segment->address, m_segment->size, MADV_POPULATE_WRITE);
    reveal_background(reinterpret_cast<std::uint8_t*>(m_pixels), m_stride, 0, 0, m_max_w, m_max_h, background);
    m_filled = true;
}

bool X11Picture::resize(int window_w, int window_h, std::uint32_t background) {
    m_window_w = std::clamp(window_w, 1, m_max_w);
    m_window_h = std::clamp(window_h, 1, m_max_h);
    // The picture only grows: a window that shrinks keeps what lies beyond
    // it, and the rays drawn meanwhile are drawn there in full.
    const int w = std::max(m_window_w, m_width), h = std::max(m_window_h, m_height);
    if (w == m_width && h == m_height) return false;
    if (m_filled)
        reveal_background(reinterpret_cast<std::uint8_t*>(m_pixels), m_stride, m_width, m_height, w, h, background);
    m_width = w;
    m_height = h;
    return true;
}

bool X11Picture::start_put(const Damage& damage) {
    std::array<xcb_rectangle_t, Damage::kMaxRects> rects;
    int count = 0;
    PixelRect bounds{};
    m_unsent.clear();
    for (const PixelRect& r : damage) {
        const PixelRect in = clipped(r, m_window_w, m_window_h);
        if (in.empty()) continue;
        if (!m_format.is_picture_layout())
            convert_rect(picture(), in, m_wire, m_wire_stride, m_format);
        if (!m_segment) {
            m_unsent.push_back(in);
            continue;
        }
        rects[static_cast<std::size_t>(count++)] = {static_cast<std::int16_t>(in.x), static_cast<std::int16_t>(in.y),
                                                    static_cast<std::uint16_t>(in.w),
                                                    static_cast<std::uint16_t>(in.h)};
        bounds = bounds.empty() ? in : Damage::unite(bounds, in);
    }
    std::reverse(m_unsent.begin(), m_unsent.end());
    if (count > 0) put_rects(rects.data(), count, bounds);
    return count > 0 || !m_unsent.empty();
}

void X11Picture::put_rects(const xcb_rectangle_t* rects, int count, const PixelRect& bounds) {
    // The server copies only what the clip lets through: one request for
    // every rectangle of the rays, however many there are.
    xcb_set_clip_rectangles(m_c, XCB_CLIP_ORDERING_UNSORTED, m_gc, 0, 0, static_cast<std::uint32_t>(count), rects);
    xcb_shm_put_image(m_c, m_window, m_gc, static_cast<std::uint16_t>(m_wire_stride * 8 / m_format.bits_per_pixel),
                      static_cast<std::uint16_t>(m_max_h), static_cast<std::uint16_t>(bounds.x),
                      static_cast<std::uint16_t>(bounds.y), static_cast<std::uint16_t>(bounds.w),
                      static_cast<std::uint16_t>(bounds.h), static_cast<std::int16_t>(bounds.x),
                      static_cast<std::int16_t>(bounds.y), static_cast<std::uint8_t>(m_format.depth),
                      XCB_IMAGE_FORMAT_Z_PIXMAP, 1 /* send the completion event */, m_wire_segment, 0);
}

int X11Picture::rows_per_piece(int width) const {
    const std::size_t row_bytes = static_cast<std::size_t>(m_format.stride(width));
    const std::size_t most = std::min(kPieceBytes, m_max_request_bytes - kPutImageHeader);
    return std::max(1, static_cast<int>(most / row_bytes));
}

void X11Picture::write_piece() {
    if (m_unsent.empty()) return;
    const int bytes_per_pixel = m_format.bits_per_pixel / 8;
    PixelRect& rect = m_unsent.back();
    const int rows = std::min(rows_per_piece(rect.w), rect.h);
    const int row_bytes = m_format.stride(rect.w);
    m_rows.assign(static_cast<std::size_t>(row_bytes) * static_cast<std::size_t>(rows), 0);
    for (int i = 0; i < rows; ++i)
        std::copy_n(m_wire + static_cast<std::ptrdiff_t>(rect.y + i) * m_wire_stride + rect.x * bytes_per_pixel,
                    rect.w * bytes_per_pixel, m_rows.data() + static_cast<std::ptrdiff_t>(i) * row_bytes);
    xcb_put_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_window, m_gc, static_cast<std::uint16_t>(rect.w),
                  static_cast<std::uint16_t>(rows), static_cast<std::int16_t>(rect.x),
                  static_cast<std::int16_t>(rect.y), 0, static_cast<std::uint8_t>(m_format.depth),
                  static_cast<std::uint32_t>(m_rows.size()), m_rows.data());
    rect.y += rows;
    rect.h -= rows;
    if (rect.h == 0) m_unsent.pop_back();
}

} // namespace runtime
