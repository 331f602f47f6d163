// The globals the window and the background both bind from the registry:
// the compositor, shared memory and the outputs, with what each output says
// of itself (its scale and current mode). Every other global is offered to
// the owner, which binds what it needs from the same registry.
#pragma once

#include "window/wayland/wayland_handles.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace runtime {

struct WaylandOutput {
    std::uint32_t name = 0; // the registry's
    WlOutput output;
    int scale = 1;
    int refresh_mhz = 0;
    int width = 0, height = 0; // pixels of the current mode
};

// What the owner does as globals come and go. They run inside libwayland's
// dispatch, where nothing may throw.
struct GlobalHooks {
    // A global not bound here, with the registry to bind it from.
    std::function<void(wl_registry* registry, std::uint32_t name, std::string_view interface, std::uint32_t version)>
        offered;
    // An output just bound; what it says of itself comes with the next round trip.
    std::function<void(WaylandOutput& output)> output_added;
    // A global that goes, told before its output, if it is one, is forgotten.
    std::function<void(std::uint32_t name)> removed;
};

class WaylandGlobals {
public:
    // Asks for the globals; they are bound in receive().
    WaylandGlobals(wl_display* display, GlobalHooks hooks);
    WaylandGlobals(const WaylandGlobals&) = delete;
    WaylandGlobals& operator=(const WaylandGlobals&) = delete;

    // Waits for the compositor's first answer, the globals (no longer than
    // await_first_answer() does). Raises the run-time error when it does
    // not answer or offers no wl_compositor of version 4 or no wl_shm.
    void receive();

    [[nodiscard]] wl_compositor* compositor() const { return m_compositor.get(); }
    [[nodiscard]] wl_shm* shm() const { return m_shm.get(); }
    [[nodiscard]] const std::vector<std::unique_ptr<WaylandOutput>>& outputs() const { return m_outputs; }

private:
    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
    static void global_remove(void* data, wl_registry* registry, std::uint32_t name);
    static constexpr wl_registry_listener kRegistryListener = [] {
        wl_registry_listener l{};
        l.global = global;
        l.global_remove = global_remove;
        return l;
    }();

    static void output_geometry(void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                std::int32_t, const char*, const char*, std::int32_t) {}
    static void output_mode(void* data, wl_output* output, std::uint32_t flags, std::int32_t width,
                            std::int32_t height, std::int32_t refresh);
    static void output_done(void*, wl_output*) {}
    static void output_scale(void* data, wl_output* output, std::int32_t factor);
    static void output_name(void*, wl_output*, const char*) {}
    static void output_description(void*, wl_output*, const char*) {}
    static constexpr wl_output_listener kOutputListener = [] {
        wl_output_listener l{};
        l.geometry = output_geometry;
        l.mode = output_mode;
        l.done = output_done;
        l.scale = output_scale;
        l.name = output_name;
        l.description = output_description;
        return l;
    }();

    wl_display* m_display;
    GlobalHooks m_hooks;
    WlRegistry m_registry;
    WlCompositor m_compositor;
    WlShm m_shm;
    std::vector<std::unique_ptr<WaylandOutput>> m_outputs;
};

// The time between two frames at the fastest of the refresh rates (mHz)
// seen; 60 Hz's while none is known.
std::chrono::nanoseconds frame_interval_at(int refresh_mhz);

} // namespace runtime
