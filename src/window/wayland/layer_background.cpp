// One picture shown as the background of every output, each output showing
// it through a screen of its own (background_screen.h), out of the same
// shared memory. The picture is as large as the largest output, in pixels,
// and drawn at the sharpest output's scale.
//
// The compositor reads the memory while rays draws on: at worst a ray is
// shown half drawn for one frame, as on an X root window.
#include "window/wayland/layer_background.h"

#include "form/colour.h"
#include "form/units.h"
#include "window/quit_signals.h"
#include "window/wayland/background_screen.h"
#include "window/wayland/wayland_connect.h"
#include "window/wayland/wayland_failure.h"
#include "window/wayland/wayland_globals.h"
#include "window/wayland/wayland_handles.h"

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
    void check(int result) {
        if (result < 0) throw connection_failure(m_display.get());
    }
    void after_dispatch(WindowEvents* events);
    bool fit_picture();

    WlDisplay m_display;
    WaylandGlobals m_globals;
    LayerShell m_shell;
    std::vector<std::unique_ptr<BackgroundScreen>> m_screens;

    // The picture's memory, shared with the compositor through the pool.
    WlShmPool m_pool;
    Picture m_picture;
    std::size_t m_size = 0;
    int m_scale = 1; // the sharpest configured output's
    bool m_read_prepared = false;
};

LayerBackground::LayerBackground(WlDisplay display)
    : m_display(std::move(display)),
      m_globals(m_display.get(),
                {.offered =
                     [this](wl_registry* registry, std::uint32_t name, std::string_view interface, std::uint32_t) {
                         if (interface == zwlr_layer_shell_v1_interface.name)
                             m_shell.reset(static_cast<zwlr_layer_shell_v1*>(
                                 wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, 1)));
                     },
                 // Its surface is made after the dispatch.
                 .output_added =
                     [this](WaylandOutput& output) { m_screens.push_back(std::make_unique<BackgroundScreen>(output)); },
                 // The compositor closes the surface of an output it removes;
                 // it goes with the output.
                 .removed =
                     [this](std::uint32_t name) {
                         std::erase_if(m_screens, [&](const auto& s) { return s->output().name == name; });
                     }}) {
    const QuitSignals::MayBlock may_block;
    m_globals.receive();
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
        if (!s->configured()) continue;
        w = std::max(w, s->pixels_w());
        h = std::max(h, s->pixels_h());
        scale = std::max(scale, s->scale());
    }
    const bool rescaled = scale != m_scale && std::any_of(m_screens.begin(), m_screens.end(),
                                                          [](const auto& s) { return s->configured(); });
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
    WlShmPool pool(wl_shm_create_pool(m_globals.shm(), fd, static_cast<std::int32_t>(size)));
    close(fd);
    const Picture next{static_cast<std::uint32_t*>(pixels), w, h, static_cast<int>(stride)};
    carry_picture(m_picture, next, kBackground | kOpaque);
    // The buffers of the old memory go; the compositor keeps what it shows
    // until the next commit.
    for (const auto& s : m_screens) s->drop_buffer();
    if (m_picture.pixels) munmap(m_picture.pixels, m_size);
    m_pool = std::move(pool);
    m_picture = next;
    m_size = size;
    return true;
}

void LayerBackground::after_dispatch(WindowEvents* events) {
    std::erase_if(m_screens, [](const auto& s) { return s->closed(); });
    for (const auto& s : m_screens)
        if (!s->covered()) s->cover(m_globals.compositor(), m_shell.get());
    bool resized = false;
    for (const auto& s : m_screens) resized = s->follow_configure() || resized;
    if ((resized || !m_picture.pixels) && fit_picture() && events) events->picture_changed();
}

bool LayerBackground::prepare_wait() {
    wl_display* d = m_display.get();
    for (const auto& s : m_screens) s->commit_owed(m_pool.get(), m_picture);
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
    return std::any_of(m_screens.begin(), m_screens.end(), [](const auto& s) { return s->configured(); });
}

std::chrono::nanoseconds LayerBackground::frame_interval() const {
    int refresh = 0;
    for (const auto& s : m_screens) refresh = std::max(refresh, s->output().refresh_mhz);
    return frame_interval_at(refresh);
}

void LayerBackground::present(const Damage& damage) {
    for (const auto& s : m_screens) s->present(damage, m_pool.get(), m_picture);
}

void LayerBackground::present_all() {
    for (const auto& s : m_screens) s->present_all(m_pool.get(), m_picture);
}

} // namespace

std::unique_ptr<Platform> open_layer_background() {
    keep_wayland_log();
    const QuitSignals::MayBlock may_block;
    WlDisplay display = connect_wayland_display();
    return std::make_unique<LayerBackground>(std::move(display));
}

} // namespace runtime
