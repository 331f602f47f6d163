// The services that every runtime drawing on a Canvas offers alike: drawing,
// random numbers and the palette. The window and headless runtimes add the
// window state and the end of the program.
#pragma once

#include "draw/canvas.h"
#include "form/form_runtime.h"
#include "form/random.h"

#include <cstdint>

namespace runtime {

class CanvasRuntime : public FormRuntime {
public:
    explicit CanvasRuntime(double dpi) : m_canvas(dpi) {}

    [[nodiscard]] Canvas& canvas() { return m_canvas; }
    [[nodiscard]] const Canvas& canvas() const { return m_canvas; }
    [[nodiscard]] Random& random() { return m_random; }

    Status set_fill_style(int style) override { return m_canvas.set_fill_style(style); }
    Status set_fill_colour(Colour colour) override { return m_canvas.set_fill_colour(colour); }
    Status set_pen_width(int pixels) override { return m_canvas.set_pen_width(pixels); }
    Status clear() override { return m_canvas.clear(); }
    Status draw_line(int flags, float x1, float y1, float x2, float y2, Colour colour) override {
        return m_canvas.draw_line(flags, x1, y1, x2, y2, colour);
    }

    void randomize() override { m_random.randomize(); }
    float next_random() override { return m_random.next(); }
    Colour palette(std::int16_t index) override { return palette_colour(index); }

    [[nodiscard]] bool ended() const { return m_ended; }
    void end() override { m_ended = true; }

protected:
    Canvas m_canvas;
    Random m_random;
    bool m_ended = false;
};

} // namespace runtime
