// One picture shown as the background of every output. Each output has a
// surface of its own in the layer shell's background layer, anchored to its
// four edges, under panels (exclusive zone -1) and never focused; each
// shows the top-left corner of the one picture at its own size and scale,
// out of the same shared memory. The picture is as large as the largest
// output, in pixels, and drawn at the sharpest output's scale.
//
// The compositor reads the memory while rays draws on: at worst a ray is
// shown half drawn for one frame, as on an X root window.
#include "window/wayland/layer_background.h"

#include "form/colour.h"
#include "form/units.h"
#include "window/quit_signals.h"
#include "window/wayland/wayland_connect.h"
#include "window/wayland/wayland_failure.h"
#include "window/wayland/wayland_handles.h"

#include "wlr-layer-shell-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace runtime {
namespace {

constexpr auto kUnknownFrameInterval = std::chrono::nanoseconds(1'000'000'000 / 60);
// Damage waiting for a frame beyond this many rectangles goes whole.
constexpr std::size_t kMaxPendingRects = 256;

struct LayerDeleter {
    void operator()(zwlr_layer_shell_v1* p) const { zwlr_layer_shell_v1_destroy(p); }
    void operator()(zwlr_layer_surface_v1* p) const { zwlr_layer_surface_v1_destroy(p); }
    void operator()(wl_shm_pool* p) const { wl_shm_pool_destroy(p); }
};
template <typename T>
using LayerHandle = std::unique_ptr<T, LayerDeleter>;

// An output and the background surface on it.
struct Screen {
    std::uint32_t name = 0;
    WlOutput output;
    int scale = 1;
    int refresh_mhz = 0;
    WlSurface surface;
    LayerHandle<zwlr_layer_surface_v1> layer;
    WlBuffer buffer;
    WlCallback frame;
    int width = 0, height = 0; // surface coordinates, as configured
    int buffer_w = 0, buffer_h = 0;
    std::uint32_t serial = 0;
    bool configured = false, reconfigured = false, rescaled = false, closed = false;
    std::vector<PixelRect> pending;

    [[nodiscard]] int pixels_w() const { return width * scale; }
    [[nodiscard]] int pixels_h() const { return height * scale; }
};

class LayerBackground final : public Platform {
public:
    explicit LayerBackground(WlDisplay display);
    ~LayerBackground() override;

    double dpi() const override { return kDefaultDpi * m_scale; }
    void create_window(const WindowSetup&) override;
    Status set_window_state(int) override { return Status::ok(); } // the background is as the outputs are
    void show() override {}
    Picture picture() const override { return m_picture; }
    int fd() const override { return wl_display_get_fd(m_display.get()); }
    bool prepare_wait() override;
    void dispatch(bool readable, WindowEvents& events) override;
    bool visible() const override;
    std::chrono::nanoseconds frame_interval() const override;
    void present(const Damage& damage) override;
    void present_all() override;

private:
    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
    static void global_remove(void* data, wl_registry*, std::uint32_t name);
    static constexpr wl_registry_listener kRegistryListener = [] {
        wl_registry_listener l{};
        l.global = global;
        l.global_remove = global_remove;
        return l;
    }();

    static void output_geometry(void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                std::int32_t, const char*, const char*, std::int32_t) {}
    static void output_mode(void* data, wl_output*, std::uint32_t flags, std::int32_t, std::int32_t,
                            std::int32_t refresh) {
        if (flags & WL_OUTPUT_MODE_CURRENT) static_cast<Screen*>(data)->refresh_mhz = refresh;
    }
    static void output_done(void*, wl_output*) {}
    static void output_scale(void* data, wl_output*, std::int32_t factor) {
        auto* screen = static_cast<Screen*>(data);
        screen->rescaled = screen->scale != std::max(1, factor);
        screen->scale = std::max(1, factor);
    }
    static constexpr wl_output_listener kOutputListener = [] {
        wl_output_listener l{};
        l.geometry = output_geometry;
        l.mode = output_mode;
        l.done = output_done;
        l.scale = output_scale;
        return l;
    }();

    static void configure(void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t width,
                          std::uint32_t height) {
        auto* screen = static_cast<Screen*>(data);
        screen->serial = serial;
        screen->width = static_cast<int>(std::min<std::uint32_t>(width, 1u << 15));
        screen->height = static_cast<int>(std::min<std::uint32_t>(height, 1u << 15));
        screen->reconfigured = true;
    }
    static void closed(void* data, zwlr_layer_surface_v1*) { static_cast<Screen*>(data)->closed = true; }
    static constexpr zwlr_layer_surface_v1_listener kLayerListener = [] {
        zwlr_layer_surface_v1_listener l{};
        l.configure = configure;
        l.closed = closed;
        return l;
    }();

    static void frame_done(void* data, wl_callback*, std::uint32_t) { static_cast<Screen*>(data)->frame.reset(); }
    static constexpr wl_callback_listener kFrameListener = [] {
        wl_callback_listener l{};
        l.done = frame_done;
        return l;
    }();

    void check(int result) {
        if (result < 0) throw connection_failure(m_display.get());
    }
    void cover(Screen& screen);
    void after_dispatch(WindowEvents* events);
    bool fit_picture();
    void commit(Screen& screen);
    static void push_whole(Screen& screen);

    WlDisplay m_display;
    WlRegistry m_registry;
    WlCompositor m_compositor;
    WlShm m_shm;
    LayerHandle<zwlr_layer_shell_v1> m_shell;
    std::vector<std::unique_ptr<Screen>> m_screens;

    // The picture's memory, shared with the compositor through the pool.
    LayerHandle<wl_shm_pool> m_pool;
    Picture m_picture;
    std::size_t m_size = 0;
    int m_scale = 1; // the sharpest configured output's
    bool m_read_prepared = false;
};

LayerBackground::LayerBackground(WlDisplay display) : m_display(std::move(display)) {
    const QuitSignals::MayBlock may_block;
    m_registry.reset(wl_display_get_registry(m_display.get()));
    wl_registry_add_listener(m_registry.get(), &kRegistryListener, this);
    await_first_answer(m_display.get()); // the globals
    if (!m_compositor || !m_shm)
        throw RuntimeError("Wayland compositor", "offers no wl_compositor of version 4 or no wl_shm");
    if (!m_shell)
        throw RuntimeError("Wayland compositor",
                           "offers no layer shell (zwlr_layer_shell_v1), which --root needs to draw the background");
    check(wl_display_roundtrip(m_display.get())); // what the outputs say of themselves
}

LayerBackground::~LayerBackground() {
    if (m_read_prepared) wl_display_cancel_read(m_display.get());
    m_screens.clear();
    m_pool.reset();
    if (m_picture.pixels) munmap(m_picture.pixels, m_size);
    if (wl_display_get_error(m_display.get()) == 0) wl_display_flush(m_display.get());
}

void LayerBackground::global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                             std::uint32_t version) {
    auto* self = static_cast<LayerBackground*>(data);
    const std::string_view which = interface;
    if (which == wl_compositor_interface.name && version >= 4) {
        self->m_compositor.reset(
            static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4)));
    } else if (which == wl_shm_interface.name) {
        self->m_shm.reset(static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1)));
    } else if (which == zwlr_layer_shell_v1_interface.name) {
        self->m_shell.reset(static_cast<zwlr_layer_shell_v1*>(
            wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, 1)));
    } else if (which == wl_output_interface.name && version >= 2) {
        // Its surface is made after the dispatch.
        auto screen = std::make_unique<Screen>();
        screen->name = name;
        screen->output.reset(static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 2)));
        wl_output_add_listener(screen->output.get(), &kOutputListener, screen.get());
        self->m_screens.push_back(std::move(screen));
    }
}

void LayerBackground::global_remove(void* data, wl_registry*, std::uint32_t name) {
    // The compositor closes the surface of an output it removes; it goes
    // with the output.
    std::erase_if(static_cast<LayerBackground*>(data)->m_screens,
                  [&](const auto& screen) { return screen->name == name; });
}

void LayerBackground::cover(Screen& screen) {
    screen.surface.reset(wl_compositor_create_surface(m_compositor.get()));
    screen.layer.reset(zwlr_layer_shell_v1_get_layer_surface(m_shell.get(), screen.surface.get(),
                                                             screen.output.get(),
                                                             ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND, "rays"));
    zwlr_layer_surface_v1_add_listener(screen.layer.get(), &kLayerListener, &screen);
    zwlr_layer_surface_v1_set_size(screen.layer.get(), 0, 0); // the output's, as the anchors say
    zwlr_layer_surface_v1_set_anchor(screen.layer.get(),
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(screen.layer.get(), -1); // under panels, not beside them
    zwlr_layer_surface_v1_set_keyboard_interactivity(screen.layer.get(), 0);
    wl_region* opaque = wl_compositor_create_region(m_compositor.get());
    wl_region_add(opaque, 0, 0, std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max());
    wl_surface_set_opaque_region(screen.surface.get(), opaque);
    wl_region_destroy(opaque);
    wl_surface_commit(screen.surface.get()); // no buffer: the compositor answers with a configure
}

void LayerBackground::create_window(const WindowSetup&) {
    const QuitSignals::MayBlock may_block;
    after_dispatch(nullptr);
    check(wl_display_roundtrip(m_display.get())); // the first configures
    after_dispatch(nullptr);
}

bool LayerBackground::fit_picture() {
    // As large as the largest output, in pixels, at the sharpest scale;
    // it never shrinks, so an output that goes and comes back keeps it.
    int w = std::max(1, m_picture.width), h = std::max(1, m_picture.height), scale = 1;
    for (const auto& s : m_screens) {
        if (!s->configured) continue;
        w = std::max(w, s->pixels_w());
        h = std::max(h, s->pixels_h());
        scale = std::max(scale, s->scale);
    }
    const bool rescaled = scale != m_scale && std::any_of(m_screens.begin(), m_screens.end(),
                                                          [](const auto& s) { return s->configured; });
    if (rescaled) m_scale = scale;
    if (m_picture.pixels && w == m_picture.width && h == m_picture.height) return rescaled;

    // A pool's size is 32-bit signed on the wire.
    const std::size_t stride = static_cast<std::size_t>(w) * 4;
    const std::size_t size = stride * static_cast<std::size_t>(h);
    if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw RuntimeError("background picture", std::to_string(w) + "x" + std::to_string(h) +
                                                     " pixels is more than a compositor can share (2 GiB)");
    const int fd = memfd_create("rays-background", MFD_CLOEXEC);
    void* pixels = fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) == 0
                       ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                       : MAP_FAILED;
    if (pixels == MAP_FAILED) {
        const std::string reason = std::strerror(errno);
        if (fd >= 0) close(fd);
        throw RuntimeError("background picture", "no memory to share with the compositor: " + reason);
    }
    LayerHandle<wl_shm_pool> pool(wl_shm_create_pool(m_shm.get(), fd, static_cast<std::int32_t>(size)));
    close(fd);
    const Picture next{static_cast<std::uint32_t*>(pixels), w, h, static_cast<int>(stride)};
    carry_picture(m_picture, next, kBackground | kOpaque);
    // The buffers of the old memory go; the compositor keeps what it shows
    // until the next commit.
    for (const auto& s : m_screens) {
        s->buffer.reset();
        push_whole(*s);
    }
    if (m_picture.pixels) munmap(m_picture.pixels, m_size);
    m_pool = std::move(pool);
    m_picture = next;
    m_size = size;
    return true;
}

void LayerBackground::after_dispatch(WindowEvents* events) {
    std::erase_if(m_screens, [](const auto& s) { return s->closed; });
    for (const auto& s : m_screens)
        if (!s->surface) cover(*s);
    bool resized = false;
    for (const auto& s : m_screens) {
        if (s->reconfigured) {
            s->reconfigured = false;
            zwlr_layer_surface_v1_ack_configure(s->layer.get(), s->serial);
            s->configured = s->width > 0 && s->height > 0;
        } else if (!s->rescaled) {
            continue;
        }
        s->rescaled = false;
        s->frame.reset();
        push_whole(*s);
        resized = true;
    }
    if ((resized || !m_picture.pixels) && fit_picture() && events) events->picture_changed();
}

bool LayerBackground::prepare_wait() {
    wl_display* d = m_display.get();
    for (const auto& s : m_screens)
        if (s->configured && !s->frame && !s->pending.empty()) commit(*s);
    bool dispatched = false;
    while (wl_display_prepare_read(d) != 0) {
        const int count = wl_display_dispatch_pending(d);
        check(count);
        dispatched = dispatched || count > 0;
    }
    m_read_prepared = true;
    if (wl_display_flush(d) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(d);
        m_read_prepared = false;
        throw connection_failure(d);
    }
    return dispatched;
}

void LayerBackground::dispatch(bool readable, WindowEvents& events) {
    wl_display* d = m_display.get();
    if (m_read_prepared) {
        m_read_prepared = false;
        if (readable) check(wl_display_read_events(d));
        else wl_display_cancel_read(d);
    }
    check(wl_display_dispatch_pending(d));
    after_dispatch(&events);
}

bool LayerBackground::visible() const {
    return std::any_of(m_screens.begin(), m_screens.end(), [](const auto& s) { return s->configured; });
}

std::chrono::nanoseconds LayerBackground::frame_interval() const {
    int refresh = 0;
    for (const auto& s : m_screens) refresh = std::max(refresh, s->refresh_mhz);
    if (refresh <= 0) return kUnknownFrameInterval;
    return std::chrono::nanoseconds(1'000'000'000'000LL / refresh);
}

void LayerBackground::push_whole(Screen& screen) {
    screen.pending.clear();
    screen.pending.push_back({0, 0, screen.pixels_w(), screen.pixels_h()});
}

void LayerBackground::present(const Damage& damage) {
    for (const auto& s : m_screens) {
        if (!s->configured) continue;
        for (const PixelRect& r : damage) {
            const int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
            const int x1 = std::min(r.x + r.w, s->pixels_w()), y1 = std::min(r.y + r.h, s->pixels_h());
            if (x1 > x0 && y1 > y0) s->pending.push_back({x0, y0, x1 - x0, y1 - y0});
        }
        if (s->pending.size() > kMaxPendingRects) push_whole(*s);
        if (!s->frame) commit(*s);
    }
}

void LayerBackground::present_all() {
    for (const auto& s : m_screens) {
        if (!s->configured) continue;
        push_whole(*s);
        if (!s->frame) commit(*s);
    }
}

void LayerBackground::commit(Screen& screen) {
    if (!screen.configured || screen.pending.empty() || !m_pool) return;
    // The output's corner of the picture; an output larger than the
    // picture (not yet fitted) waits for it.
    const int w = screen.pixels_w(), h = screen.pixels_h();
    if (w > m_picture.width || h > m_picture.height) return;
    if (!screen.buffer || screen.buffer_w != w || screen.buffer_h != h) {
        screen.buffer.reset(
            wl_shm_pool_create_buffer(m_pool.get(), 0, w, h, m_picture.stride, WL_SHM_FORMAT_XRGB8888));
        screen.buffer_w = w;
        screen.buffer_h = h;
    }
    wl_surface* surface = screen.surface.get();
    wl_surface_set_buffer_scale(surface, screen.scale);
    wl_surface_attach(surface, screen.buffer.get(), 0, 0);
    for (const PixelRect& r : screen.pending) wl_surface_damage_buffer(surface, r.x, r.y, r.w, r.h);
    screen.pending.clear();
    screen.frame.reset(wl_surface_frame(surface));
    wl_callback_add_listener(screen.frame.get(), &kFrameListener, &screen);
    wl_surface_commit(surface);
}

} // namespace

std::unique_ptr<Platform> open_layer_background() {
    keep_wayland_log();
    const QuitSignals::MayBlock may_block;
    WlDisplay display = connect_wayland_display();
    return std::make_unique<LayerBackground>(std::move(display));
}

} // namespace runtime
