// What a form's handlers may ask of the runtime that hosts them.
//
// Three runtimes implement it: the window runtime (a window on the desktop),
// the headless runtime (an image in memory, no window) and, in the tests, a
// recording runtime. A form sees nothing of the platform beyond this.
#pragma once

#include "form/colour.h"
#include "form/status.h"

#include <cstdint>
#include <string_view>

namespace runtime {

// The fixed description a form is created from.
struct FormDescription {
    std::string_view caption;
    int client_width_twips;  // the client area when restored from maximised
    int client_height_twips;
    int timer_interval_ms;
    bool timer_enabled;
};

enum WindowState : int { kNormal = 0, kMinimised = 1, kMaximised = 2 };

enum FillStyle : int { kFillSolid = 0, kFillTransparent = 1, kFillLast = 7 };

// Flags of draw_line: which of its optional arguments are given. Without
// kLineStartGiven the line starts at the end of the previous one; without
// kLineColourGiven it is drawn in black.
enum LineFlags : int { kLineStartGiven = 2, kLineColourGiven = 4 };

// Mouse button codes as handlers receive them.
enum MouseButton : std::int16_t { kLeftButton = 1, kRightButton = 2, kMiddleButton = 4 };

class FormRuntime {
public:
    virtual ~FormRuntime() = default;

    // Window operations; each answers with a status to test at once.
    virtual Status set_window_state(int state) = 0;
    virtual Status set_fill_style(int style) = 0;
    virtual Status set_fill_colour(Colour colour) = 0;
    virtual Status set_pen_width(int pixels) = 0;
    virtual Status clear() = 0;
    // Coordinates in twips from the client area's top-left corner.
    virtual Status draw_line(int flags, float x1, float y1, float x2, float y2, Colour colour) = 0;

    // Services.
    virtual void randomize() = 0;
    virtual float next_random() = 0;
    virtual Colour palette(std::int16_t index) = 0;
    // Ends the program: no event is delivered after the handler returns.
    virtual void end() = 0;
};

} // namespace runtime
