// The outputs the window is on, and what follows from them: the scale its
// picture is drawn at and the time between its frames. The scale is the
// outputs' integer one, set as the buffer's, or the compositor's preferred
// fractional scale, shown through a viewport.
#pragma once

#include "window/wayland/wayland_globals.h"
#include "window/wayland/wayland_handles.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace runtime {

// Fractional scales come in 120ths.
constexpr int kScaleUnit = 120;

class WindowOutputs {
public:
    explicit WindowOutputs(const WaylandGlobals& globals) : m_globals(globals) {}
    WindowOutputs(const WindowOutputs&) = delete;
    WindowOutputs& operator=(const WindowOutputs&) = delete;

    // Binds the viewporter and the fractional scale manager, where
    // `interface` names one of them.
    void offer(wl_registry* registry, std::uint32_t name, std::string_view interface);
    // An output that goes, before it is forgotten.
    void output_gone(std::uint32_t name);
    // Once the outputs have said what they are: the picture starts at the
    // sharpest scale there is.
    void start() { m_scale120 = scale() * kScaleUnit; }

    // Follows the window's surface from now on: the outputs it enters,
    // the scale the compositor prefers for it.
    void follow(wl_surface* surface);
    // The viewport, where there is one, shows the buffer, whatever its
    // pixels, on the window's size (surface coordinates).
    void show_at(int width, int height);
    // After a dispatch: takes the scale the compositor now wants. True when
    // it changed, and the picture is to be drawn anew at it.
    bool rescale();
    // Before the surface goes.
    void forget_surface();

    // The scale the picture is drawn at, in 120ths.
    [[nodiscard]] int scale120() const { return m_scale120; }
    [[nodiscard]] int to_pixels(double length) const {
        return static_cast<int>(length * m_scale120 / kScaleUnit + 0.5);
    }
    [[nodiscard]] std::chrono::nanoseconds frame_interval() const;

private:
    static void surface_enter(void* data, wl_surface*, wl_output* output);
    static void surface_leave(void* data, wl_surface*, wl_output* output);
    static constexpr wl_surface_listener kSurfaceListener = [] {
        wl_surface_listener l{};
        l.enter = surface_enter;
        l.leave = surface_leave;
        return l;
    }();

    static void preferred_scale(void* data, wp_fractional_scale_v1*, std::uint32_t scale) {
        static_cast<WindowOutputs*>(data)->m_preferred120 = static_cast<int>(scale);
    }
    static constexpr wp_fractional_scale_v1_listener kFractionalListener = [] {
        wp_fractional_scale_v1_listener l{};
        l.preferred_scale = preferred_scale;
        return l;
    }();

    [[nodiscard]] bool on(const WaylandOutput& output) const;
    [[nodiscard]] int scale() const;
    [[nodiscard]] int wanted_scale120() const;

    const WaylandGlobals& m_globals;
    WpViewporter m_viewporter;
    WpFractionalScaleManager m_fractional_manager;
    wl_surface* m_surface = nullptr;
    WpViewport m_viewport;
    WpFractionalScale m_fractional;
    std::vector<wl_output*> m_entered; // the outputs the window is on

    int m_scale120 = kScaleUnit;
    int m_preferred120 = 0;
};

} // namespace runtime
