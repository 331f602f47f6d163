// Owning handles for SDL objects.
#pragma once

#include <SDL.h>

#include <memory>

namespace runtime {

struct SdlDeleter {
    void operator()(SDL_Window* w) const { SDL_DestroyWindow(w); }
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};

using SdlWindow = std::unique_ptr<SDL_Window, SdlDeleter>;
using SdlSurface = std::unique_ptr<SDL_Surface, SdlDeleter>;

// SDL's video subsystem, from SDL_VideoInit to SDL_Quit.
class SdlVideo {
public:
    SdlVideo() = default;
    SdlVideo(const SdlVideo&) = delete;
    SdlVideo& operator=(const SdlVideo&) = delete;
    ~SdlVideo() { SDL_Quit(); }
};

} // namespace runtime
