#include "window/wayland/window_outputs.h"

#include <algorithm>

namespace runtime {

void WindowOutputs::offer(wl_registry* registry, std::uint32_t name, std::string_view interface) {
    if (interface == wp_viewporter_interface.name) {
        m_viewporter.reset(static_cast<wp_viewporter*>(wl_registry_bind(registry, name, &wp_viewporter_interface, 1)));
    } else if (interface == wp_fractional_scale_manager_v1_interface.name) {
        m_fractional_manager.reset(static_cast<wp_fractional_scale_manager_v1*>(
            wl_registry_bind(registry, name, &wp_fractional_scale_manager_v1_interface, 1)));
    }
}

void WindowOutputs::output_gone(std::uint32_t name) {
    for (const auto& o : m_globals.outputs())
        if (o->name == name) std::erase(m_entered, o->output.get());
}

void WindowOutputs::follow(wl_surface* surface) {
    m_surface = surface;
    wl_surface_add_listener(surface, &kSurfaceListener, this);
    if (m_viewporter && m_fractional_manager) {
        m_viewport.reset(wp_viewporter_get_viewport(m_viewporter.get(), surface));
        m_fractional.reset(wp_fractional_scale_manager_v1_get_fractional_scale(m_fractional_manager.get(), surface));
        wp_fractional_scale_v1_add_listener(m_fractional.get(), &kFractionalListener, this);
    } else {
        wl_surface_set_buffer_scale(surface, m_scale120 / kScaleUnit);
    }
}

void WindowOutputs::show_at(int width, int height) {
    if (m_viewport) wp_viewport_set_destination(m_viewport.get(), width, height);
}

bool WindowOutputs::rescale() {
    const int wanted = wanted_scale120();
    if (wanted == m_scale120 || !m_surface) return false;
    m_scale120 = wanted;
    if (!m_viewport) wl_surface_set_buffer_scale(m_surface, wanted / kScaleUnit);
    return true;
}

void WindowOutputs::forget_surface() {
    m_fractional.reset();
    m_viewport.reset();
}

void WindowOutputs::surface_enter(void* data, wl_surface*, wl_output* output) {
    auto* self = static_cast<WindowOutputs*>(data);
    const auto& outputs = self->m_globals.outputs();
    const bool known = std::any_of(outputs.begin(), outputs.end(), [&](const auto& o) { return o->output.get() == output; });
    if (known && std::find(self->m_entered.begin(), self->m_entered.end(), output) == self->m_entered.end())
        self->m_entered.push_back(output);
}

void WindowOutputs::surface_leave(void* data, wl_surface*, wl_output* output) {
    std::erase(static_cast<WindowOutputs*>(data)->m_entered, output);
}

// Before the window is on any output, it is as if it were on all of them.
bool WindowOutputs::on(const WaylandOutput& output) const {
    return m_entered.empty() || std::find(m_entered.begin(), m_entered.end(), output.output.get()) != m_entered.end();
}

int WindowOutputs::scale() const {
    // The sharpest of the outputs the window is on.
    int scale = 1;
    for (const auto& o : m_globals.outputs())
        if (on(*o)) scale = std::max(scale, o->scale);
    return scale;
}

int WindowOutputs::wanted_scale120() const {
    if (m_fractional && m_preferred120 > 0) return m_preferred120;
    return scale() * kScaleUnit;
}

std::chrono::nanoseconds WindowOutputs::frame_interval() const {
    int refresh = 0;
    for (const auto& o : m_globals.outputs())
        if (on(*o)) refresh = std::max(refresh, o->refresh_mhz);
    return frame_interval_at(refresh);
}

} // namespace runtime
