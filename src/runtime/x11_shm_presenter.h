// Presents on an X11 window from a buffer the X server shares with us
// (MIT-SHM). Each present is a few requests flushed in one write, with no
// round trip; and the loop sleeps on the X connection itself, so a tick with
// no input reads nothing from it.
#pragma once

#include "runtime/presenter.h"

#include <memory>

struct SDL_Window;

namespace runtime {

// Null when the window is not on X11 or the server cannot share memory with
// us (a remote display, for one).
std::unique_ptr<Presenter> make_x11_shm_presenter(SDL_Window* window);

} // namespace runtime
