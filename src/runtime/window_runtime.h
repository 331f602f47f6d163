// The window runtime: a form in a real window on the desktop.
//
// SDL gives the window, its input and the event loop; the form's Canvas
// draws straight into the presenter's pixel buffer, the kept picture. An
// expose presents it again, a size change carries it over into a buffer of
// the new size, and each tick presents only the pixels that changed.
#pragma once

#include "runtime/canvas_runtime.h"
#include "runtime/form.h"
#include "runtime/presenter.h"
#include "runtime/sdl_handles.h"
#include "runtime/timer.h"

#include <memory>

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
    void attach_canvas();
    void follow_window_size();
    void present_damage();
    void present_all();
    void dispatch(const SDL_Event& event, Form& form);

    SdlVideo m_video;
    const FormDescription& m_description;
    SdlWindow m_window;
    std::unique_ptr<Presenter> m_presenter;
    // The form's timer runs from the window's creation, so the first ray is
    // drawn as soon as the window is up.
    FixedRateTimer m_timer;
    bool m_visible = false;
    bool m_present_all = false; // once the events at hand are handled
};

} // namespace runtime
