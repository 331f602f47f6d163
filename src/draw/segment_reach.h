// A segment and the stretch of a row that lies within a reach of it: the
// geometry of a thick line's rows, the caps' among them.
#pragma once

#include <algorithm>
#include <cmath>

namespace runtime {

// A stretch of a row, from x = lo to x = hi; empty while lo > hi.
struct Stretch {
    double lo = INFINITY, hi = -INFINITY;
    void unite(double a, double b) {
        if (a > b) return;
        lo = std::min(lo, a);
        hi = std::max(hi, b);
    }
};

// The segment from a along the unit vector u for `length`, and the
// reciprocals that turn its bounds into x on a row.
struct UnitSegment {
    double ax, ay, ux, uy, length;
    double inv_ux, inv_uy; // 0 where the component is 0
};

// The stretch of the row at height y that lies within `reach` of the segment.
// The set of such points is convex, so it is the union of what the band
// around the segment and the discs around its ends each give.
inline Stretch row_stretch(double y, const UnitSegment& s, double reach) {
    Stretch row;
    // Discs at both ends.
    for (const double t : {0.0, s.length}) {
        const double cy = s.ay + s.uy * t;
        const double dy = y - cy;
        const double span2 = reach * reach - dy * dy;
        if (span2 >= 0) {
            const double cx = s.ax + s.ux * t;
            const double span = std::sqrt(span2);
            row.unite(cx - span, cx + span);
        }
    }
    // The band: |n.(p - a)| <= reach with n = (-uy, ux), and
    // 0 <= u.(p - a) <= length, for p = (x, y); each is linear in x.
    const double ry = y - s.ay;
    double lo = -INFINITY, hi = INFINITY;
    if (s.uy != 0) {
        // -uy (x - ax) + ux ry in [-reach, reach]
        const double a = s.ax + (s.ux * ry - reach) * s.inv_uy, b = s.ax + (s.ux * ry + reach) * s.inv_uy;
        lo = std::max(lo, std::min(a, b));
        hi = std::min(hi, std::max(a, b));
    } else if (std::fabs(ry) > reach) {
        return row;
    }
    if (s.ux != 0) {
        // ux (x - ax) + uy ry in [0, length]
        const double a = s.ax - s.uy * ry * s.inv_ux, b = s.ax + (s.length - s.uy * ry) * s.inv_ux;
        lo = std::max(lo, std::min(a, b));
        hi = std::min(hi, std::max(a, b));
    } else if (s.uy * ry < 0 || s.uy * ry > s.length) {
        return row;
    }
    row.unite(lo, hi);
    return row;
}

} // namespace runtime
