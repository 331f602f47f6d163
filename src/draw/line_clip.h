// Clipping a line segment to a rectangle, before it is stroked.
#pragma once

namespace runtime {

struct Segment {
    double x0, y0, x1, y1;
};

// Cuts `s` to the part inside [left, right] x [top, bottom] (Liang-Barsky).
// Returns false when no part is inside. The direction is kept, so a stroke of
// the result covers exactly the pixels inside that a stroke of `s` would.
inline bool clip_segment(Segment& s, double left, double top, double right, double bottom) {
    const double dx = s.x1 - s.x0, dy = s.y1 - s.y0;
    double t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {s.x0 - left, right - s.x0, s.y0 - top, bottom - s.y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0) {
            if (t > t1) return false;
            if (t > t0) t0 = t;
        } else {
            if (t < t0) return false;
            if (t < t1) t1 = t;
        }
    }
    const Segment whole = s;
    s.x0 = whole.x0 + t0 * dx;
    s.y0 = whole.y0 + t0 * dy;
    s.x1 = whole.x0 + t1 * dx;
    s.y1 = whole.y0 + t1 * dy;
    return true;
}

} // namespace runtime
