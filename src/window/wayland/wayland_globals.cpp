#include "window/wayland/wayland_globals.h"

#include "form/status.h"
#include "window/platform.h"
#include "window/wayland/wayland_connect.h"

#include <algorithm>
#include <utility>

namespace runtime {

WaylandGlobals::WaylandGlobals(wl_display* display, GlobalHooks hooks)
    : m_display(display), m_hooks(std::move(hooks)), m_registry(wl_display_get_registry(display)) {
    wl_registry_add_listener(m_registry.get(), &kRegistryListener, this);
}

void WaylandGlobals::receive() {
    await_first_answer(m_display);
    if (!m_compositor || !m_shm)
        throw RuntimeError("Wayland compositor", "offers no wl_compositor of version 4 or no wl_shm");
}

void WaylandGlobals::global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                            std::uint32_t version) {
    auto* self = static_cast<WaylandGlobals*>(data);
    const std::string_view which = interface;
    if (which == wl_compositor_interface.name && version >= 4) {
        self->m_compositor.reset(
            static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4)));
    } else if (which == wl_shm_interface.name) {
        self->m_shm.reset(static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1)));
    } else if (which == wl_output_interface.name && version >= 2) {
        auto output = std::make_unique<WaylandOutput>();
        output->name = name;
        output->output.reset(static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 2)));
        wl_output_add_listener(output->output.get(), &kOutputListener, output.get());
        self->m_outputs.push_back(std::move(output));
        if (self->m_hooks.output_added) self->m_hooks.output_added(*self->m_outputs.back());
    } else if (self->m_hooks.offered) {
        self->m_hooks.offered(registry, name, which, version);
    }
}

void WaylandGlobals::global_remove(void* data, wl_registry*, std::uint32_t name) {
    auto* self = static_cast<WaylandGlobals*>(data);
    if (self->m_hooks.removed) self->m_hooks.removed(name);
    std::erase_if(self->m_outputs, [&](const auto& output) { return output->name == name; });
}

void WaylandGlobals::output_mode(void* data, wl_output*, std::uint32_t flags, std::int32_t width,
                                 std::int32_t height, std::int32_t refresh) {
    if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
    auto* output = static_cast<WaylandOutput*>(data);
    output->refresh_mhz = refresh;
    output->width = width;
    output->height = height;
}

void WaylandGlobals::output_scale(void* data, wl_output*, std::int32_t factor) {
    static_cast<WaylandOutput*>(data)->scale = std::max(1, factor);
}

std::chrono::nanoseconds frame_interval_at(int refresh_mhz) {
    if (refresh_mhz <= 0) return kUnknownFrameInterval;
    return std::chrono::nanoseconds(1'000'000'000'000LL / refresh_mhz);
}

} // namespace runtime
