#include "runtime/sdl_surface_presenter.h"

#include "runtime/colour.h"
#include "runtime/status.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace runtime {

SdlSurfacePresenter::SdlSurfacePresenter(SDL_Window* window) : m_window(window) {
    get_surface();
    carry_picture(nullptr, 0, 0, 0, static_cast<std::uint8_t*>(m_surface->pixels), m_surface->w,
                  m_surface->h, m_surface->pitch, kBackground);
}

void SdlSurfacePresenter::get_surface() {
    m_surface = SDL_GetWindowSurface(m_window);
    if (!m_surface) throw RuntimeError("window surface", SDL_GetError());
    const Uint32 format = m_surface->format->format;
    if (format != SDL_PIXELFORMAT_RGB888 && format != SDL_PIXELFORMAT_ARGB8888)
        throw RuntimeError("window surface",
                           std::string("unsupported pixel format ") + SDL_GetPixelFormatName(format));
}

bool SdlSurfacePresenter::follow_window_size() {
    // SDL replaces the surface on a size change, and marks the old one stale
    // as soon as it reads the change, before its event reaches us.
    int w = 0, h = 0;
    SDL_GetWindowSizeInPixels(m_window, &w, &h);
    if (w == m_surface->w && h == m_surface->h) return false;
    const int old_w = m_surface->w, old_h = m_surface->h, old_pitch = m_surface->pitch;
    std::vector<std::uint8_t> kept(static_cast<std::size_t>(old_pitch) * static_cast<std::size_t>(old_h));
    std::memcpy(kept.data(), m_surface->pixels, kept.size());
    get_surface();
    carry_picture(kept.data(), old_w, old_h, old_pitch, static_cast<std::uint8_t*>(m_surface->pixels),
                  m_surface->w, m_surface->h, m_surface->pitch, kBackground);
    return true;
}

void SdlSurfacePresenter::present(const Damage& damage) {
    std::array<SDL_Rect, Damage::kMaxRects> rects;
    std::size_t n = 0;
    for (const PixelRect& r : damage) rects[n++] = SDL_Rect{r.x, r.y, r.w, r.h};
    if (n > 0 && SDL_UpdateWindowSurfaceRects(m_window, rects.data(), static_cast<int>(n)) != 0)
        throw RuntimeError("present", SDL_GetError());
}

void SdlSurfacePresenter::present_all() {
    if (SDL_UpdateWindowSurface(m_window) != 0) throw RuntimeError("present", SDL_GetError());
}

bool SdlSurfacePresenter::wait_for_events(int timeout_ms) {
    return SDL_WaitEventTimeout(nullptr, timeout_ms) != 0;
}

} // namespace runtime
