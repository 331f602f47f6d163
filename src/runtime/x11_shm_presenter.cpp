#include "runtime/x11_shm_presenter.h"

#include "runtime/colour.h"
#include "runtime/status.h"

// Xlib defines Status as a macro: it comes after our own headers.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <algorithm>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>

namespace runtime {
namespace {

class X11ShmPresenter final : public Presenter {
public:
    static std::unique_ptr<X11ShmPresenter> create(SDL_Window* window);
    ~X11ShmPresenter() override;

    std::uint32_t* pixels() override { return reinterpret_cast<std::uint32_t*>(m_image->data); }
    int width() const override { return m_width; }
    int height() const override { return m_height; }
    int stride() const override { return m_image->bytes_per_line; }

    bool follow_window_size() override;
    void present(const Damage& damage) override;
    void present_all() override;
    bool wait_for_events(int timeout_ms) override;

private:
    X11ShmPresenter(SDL_Window* window, Display* display, ::Window xwindow, Visual* visual, int depth);
    struct Buffer;
    static std::unique_ptr<Buffer> make_buffer(Display* display, Visual* visual, int depth, int w, int h);
    void put(int x, int y, int w, int h);

    SDL_Window* m_window;
    Display* m_display;
    ::Window m_xwindow;
    Visual* m_visual;
    int m_depth;
    GC m_gc;
    std::unique_ptr<Buffer> m_buffer;
    XImage* m_image = nullptr; // the buffer's; may be larger than the window
    int m_width = 0, m_height = 0;
};

// One shared-memory image, attached on both sides.
struct X11ShmPresenter::Buffer {
    Display* display = nullptr;
    XShmSegmentInfo info{};
    XImage* image = nullptr;
    bool attached = false;

    ~Buffer() {
        if (attached) {
            XShmDetach(display, &info);
            XSync(display, False); // the server lets go before the memory goes
        }
        if (image) {
            image->data = nullptr;
            XDestroyImage(image);
        }
        if (info.shmaddr && info.shmaddr != reinterpret_cast<char*>(-1)) shmdt(info.shmaddr);
    }
};

bool g_attach_failed = false;

int note_attach_failure(Display*, XErrorEvent*) {
    g_attach_failed = true;
    return 0;
}

std::unique_ptr<X11ShmPresenter::Buffer> X11ShmPresenter::make_buffer(Display* display, Visual* visual,
                                                                      int depth, int w, int h) {
    auto buffer = std::make_unique<Buffer>();
    buffer->display = display;
    buffer->image = XShmCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, nullptr,
                                    &buffer->info, static_cast<unsigned>(w), static_cast<unsigned>(h));
    if (!buffer->image) return nullptr;
    if (buffer->image->bits_per_pixel != 32 || buffer->image->red_mask != 0xFF0000 ||
        buffer->image->green_mask != 0xFF00 || buffer->image->blue_mask != 0xFF ||
        buffer->image->byte_order != LSBFirst)
        return nullptr;
    const std::size_t size = static_cast<std::size_t>(buffer->image->bytes_per_line) * static_cast<std::size_t>(h);
    buffer->info.shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (buffer->info.shmid < 0) return nullptr;
    buffer->info.shmaddr = static_cast<char*>(shmat(buffer->info.shmid, nullptr, 0));
    buffer->info.readOnly = True;
    if (buffer->info.shmaddr == reinterpret_cast<char*>(-1)) {
        shmctl(buffer->info.shmid, IPC_RMID, nullptr);
        return nullptr;
    }
    buffer->image->data = buffer->info.shmaddr;
    // One call maps every page, much cheaper than a fault per page when the
    // picture is first painted.
    madvise(buffer->info.shmaddr, size, MADV_POPULATE_WRITE);

    // The server may refuse (it runs on another machine, say): ask, and wait
    // for the answer, rather than let the refusal end the program later.
    XSync(display, False);
    g_attach_failed = false;
    const auto previous = XSetErrorHandler(note_attach_failure);
    XShmAttach(display, &buffer->info);
    XSync(display, False);
    XSetErrorHandler(previous);
    // Marked for removal now, the segment goes when both sides detach, even
    // if the program is killed.
    shmctl(buffer->info.shmid, IPC_RMID, nullptr);
    if (g_attach_failed) return nullptr;
    buffer->attached = true;
    return buffer;
}

std::unique_ptr<X11ShmPresenter> X11ShmPresenter::create(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    Display* display = info.info.x11.display;
    if (!XShmQueryExtension(display)) return nullptr;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, info.info.x11.window, &attributes)) return nullptr;
    std::unique_ptr<X11ShmPresenter> presenter(
        new X11ShmPresenter(window, display, info.info.x11.window, attributes.visual, attributes.depth));
    int w = 0, h = 0;
    SDL_GetWindowSizeInPixels(window, &w, &h);
    // Room for the whole screen from the start: maximising, the first thing
    // the window does, then needs no new buffer and no round trip.
    SDL_Rect screen{0, 0, w, h};
    SDL_GetDisplayBounds(std::max(0, SDL_GetWindowDisplayIndex(window)), &screen);
    presenter->m_buffer = make_buffer(display, attributes.visual, attributes.depth, std::max(w, screen.w),
                                      std::max(h, screen.h));
    if (!presenter->m_buffer) return nullptr;
    presenter->m_image = presenter->m_buffer->image;
    presenter->m_width = w;
    presenter->m_height = h;
    carry_picture(nullptr, 0, 0, 0, reinterpret_cast<std::uint8_t*>(presenter->m_image->data), w, h,
                  presenter->stride(), kBackground);
    return presenter;
}

X11ShmPresenter::X11ShmPresenter(SDL_Window* window, Display* display, ::Window xwindow, Visual* visual,
                                 int depth)
    : m_window(window), m_display(display), m_xwindow(xwindow), m_visual(visual), m_depth(depth),
      m_gc(XCreateGC(display, xwindow, 0, nullptr)) {}

X11ShmPresenter::~X11ShmPresenter() {
    m_buffer.reset();
    XFreeGC(m_display, m_gc);
}

bool X11ShmPresenter::follow_window_size() {
    int w = 0, h = 0;
    SDL_GetWindowSizeInPixels(m_window, &w, &h);
    if (w <= 0 || h <= 0 || (w == m_width && h == m_height)) return false;
    if (w <= m_image->width && h <= m_image->height) {
        reveal_background(reinterpret_cast<std::uint8_t*>(m_image->data), stride(), m_width, m_height, w, h,
                          kBackground);
    } else {
        std::unique_ptr<Buffer> next = make_buffer(m_display, m_visual, m_depth, w, h);
        if (!next) throw RuntimeError("window surface", "cannot share a new image with the X server");
        carry_picture(reinterpret_cast<const std::uint8_t*>(m_image->data), m_width, m_height, stride(),
                      reinterpret_cast<std::uint8_t*>(next->image->data), w, h, next->image->bytes_per_line,
                      kBackground);
        m_buffer = std::move(next);
        m_image = m_buffer->image;
    }
    m_width = w;
    m_height = h;
    return true;
}

void X11ShmPresenter::put(int x, int y, int w, int h) {
    XShmPutImage(m_display, m_xwindow, m_gc, m_image, x, y, x, y, static_cast<unsigned>(w),
                 static_cast<unsigned>(h), False);
}

void X11ShmPresenter::present(const Damage& damage) {
    // No wait for the server to finish: a pixel that changes while it reads
    // belongs to the next tick's damage and goes out with it.
    for (const PixelRect& r : damage) put(r.x, r.y, r.w, r.h);
    XFlush(m_display);
}

void X11ShmPresenter::present_all() {
    put(0, 0, m_width, m_height);
    XFlush(m_display);
}

bool X11ShmPresenter::wait_for_events(int timeout_ms) {
    // Every request we or SDL make is flushed when made (SDL flushes as it
    // reads events), and a flush reads what the server sent: so the events
    // that arrived are in Xlib's queue or still on the socket.
    if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) return true;
    if (XEventsQueued(m_display, QueuedAlready) > 0) return true;
    pollfd connection{ConnectionNumber(m_display), POLLIN, 0};
    // Interrupted by a signal counts as "maybe": SDL turns SIGINT and SIGTERM
    // into a quit event when it next reads events.
    return poll(&connection, 1, timeout_ms) != 0;
}

} // namespace

std::unique_ptr<Presenter> make_x11_shm_presenter(SDL_Window* window) {
    return X11ShmPresenter::create(window);
}

} // namespace runtime
