// Presents through SDL's window surface: works on every display SDL knows,
// at the cost of a round trip to the display server for every present.
#pragma once

#include "runtime/presenter.h"

#include <SDL.h>

namespace runtime {

class SdlSurfacePresenter final : public Presenter {
public:
    // Raises the run-time error when the window has no usable surface.
    explicit SdlSurfacePresenter(SDL_Window* window);

    std::uint32_t* pixels() override { return static_cast<std::uint32_t*>(m_surface->pixels); }
    int width() const override { return m_surface->w; }
    int height() const override { return m_surface->h; }
    int stride() const override { return m_surface->pitch; }

    bool follow_window_size() override;
    void present(const Damage& damage) override;
    void present_all() override;
    bool wait_for_events(int timeout_ms) override;

private:
    void get_surface();

    SDL_Window* m_window;
    SDL_Surface* m_surface = nullptr; // owned by the window
};

} // namespace runtime
