// The window runtime: a form in a real window on the desktop.
//
// SDL gives the window, its input and the event loop; the form's Canvas
// draws straight into the window surface's pixels. That surface is the kept
// picture: an expose presents it again, a size change carries it over into
// the new surface, and each tick presents only the pixels that changed.
#pragma once

#include "runtime/canvas_runtime.h"
#include "runtime/form.h"
#include "runtime/sdl_handles.h"

namespace runtime {

class WindowRuntime final : public CanvasRuntime {
public:
    // Opens the display and creates the form's window, hidden until run().
    // Raises the run-time error when there is no display to open.
    explicit WindowRuntime(const FormDescription& description);

    WindowRuntime(const WindowRuntime&) = delete;
    WindowRuntime& operator=(const WindowRuntime&) = delete;
    ~WindowRuntime() override;

    Status set_window_state(int state) override;

    // Loads the form, shows the window and delivers events until the form
    // ends the program or the window is closed. Returns the exit status.
    int run(Form& form);

private:
    void open_display();
    void attach_surface();
    void follow_window_size();
    void carry_picture_over();
    void present_damage();
    void present_all();
    void dispatch(const SDL_Event& event, Form& form);

    SdlVideo m_video;
    const FormDescription& m_description;
    SdlWindow m_window;
    SDL_Surface* m_surface = nullptr; // owned by the window
    bool m_visible = false;
};

} // namespace runtime
