// Anti-aliased thick lines with round caps, drawn straight into 32-bit pixels.
//
// Each pixel takes the pen's colour in proportion to how far its centre lies
// inside the pen's edge: fully inside, the colour is stored (opaque, see
// kOpaque); on the edge it is blended over a one-pixel ramp. Each row is one
// interval of the line, found in closed form, so the cost is the pixels
// touched and no more.
#pragma once

#include "draw/damage.h"
#include "draw/picture.h"
#include "form/colour.h"

namespace runtime {

// Strokes the segment (x0, y0)-(x1, y1), in pixel coordinates where pixel
// (i, j) covers [i, i+1) x [j, j+1), with a pen `width` pixels wide. The
// span of every row it touches goes to `damage`.
void draw_thick_line(const Picture& target, double x0, double y0, double x1, double y1, double width,
                     Colour colour, Damage& damage);

} // namespace runtime
