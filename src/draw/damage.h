// The pixel rectangles that an operation changed, so that only they are shown.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace runtime {

struct PixelRect {
    int x = 0, y = 0, w = 0, h = 0;
    [[nodiscard]] bool empty() const { return w <= 0 || h <= 0; }
};

// The part of `r` within a picture of width x height pixels.
[[nodiscard]] inline PixelRect clipped(const PixelRect& r, int width, int height) {
    const int x0 = r.x > 0 ? r.x : 0, y0 = r.y > 0 ? r.y : 0;
    const int x1 = r.x + r.w < width ? r.x + r.w : width, y1 = r.y + r.h < height ? r.y + r.h : height;
    return x1 > x0 && y1 > y0 ? PixelRect{x0, y0, x1 - x0, y1 - y0} : PixelRect{};
}

// Damage waiting to be shown (for a frame, or for a buffer to be brought up
// to date) beyond this many rectangles goes as the whole picture instead:
// the memory the list takes stays small, and copying the picture whole
// costs no more than that many rectangles would.
inline constexpr std::size_t kMaxWaitingRects = 4096;

// A fixed number of rectangles, so that recording damage never allocates.
//
// A line reports the span it touched on each row, top to bottom. A span
// joins the rectangle above it while that lowers what the rectangle costs
// per pixel changed, counting every rectangle as kRectCost pixels more: a
// display server pays about that much for each rectangle it is sent,
// besides copying its pixels. A steep ray becomes a few tall rectangles, a
// diagonal one a stair of small ones, and little else is copied.
class Damage {
public:
    static constexpr std::size_t kMaxRects = 1024;
    static constexpr std::int64_t kRectCost = 64;

    void clear() {
        m_count = 0;
        m_run_used = 0;
    }
    void add(PixelRect r) {
        m_run_used = 0;
        push(r);
    }
    class Rows;

    [[nodiscard]] std::size_t size() const { return m_count; }
    [[nodiscard]] bool empty() const { return m_count == 0; }
    [[nodiscard]] const PixelRect* begin() const { return m_rects.data(); }
    [[nodiscard]] const PixelRect* end() const { return m_rects.data() + m_count; }
    [[nodiscard]] const PixelRect& operator[](std::size_t i) const { return m_rects[i]; }

    static PixelRect unite(PixelRect a, PixelRect b);
    // Whether a rectangle of `area` holding `used` damaged pixels, grown to
    // `joined_area` to take `added` more, costs less per damaged pixel when
    // each rectangle counts as `rect_cost` pixels more.
    static bool joining_pays(std::int64_t rect_cost, std::int64_t area, std::int64_t used,
                             std::int64_t joined_area, std::int64_t added) {
        return (rect_cost + joined_area) * used <= (rect_cost + area) * (used + added);
    }

private:
    void push(PixelRect r) {
        if (r.empty()) return;
        if (m_count < kMaxRects) m_rects[m_count++] = r;
        else m_rects[m_count - 1] = unite(m_rects[m_count - 1], r);
    }

    std::array<PixelRect, kMaxRects> m_rects{};
    std::size_t m_count = 0;
    // Pixels of the spans in the last rectangle; 0 when it takes no more.
    std::int64_t m_run_used = 0;
};

inline PixelRect Damage::unite(PixelRect a, PixelRect b) {
    const int x0 = a.x < b.x ? a.x : b.x, y0 = a.y < b.y ? a.y : b.y;
    const int x1 = a.x + a.w > b.x + b.w ? a.x + a.w : b.x + b.w;
    const int y1 = a.y + a.h > b.y + b.h ? a.y + a.h : b.y + b.h;
    return {x0, y0, x1 - x0, y1 - y0};
}

// The spans a line adds, one a row (or a block of rows), each on the row
// after the previous one.
// The rectangle they are joining is held here, in 64-bit integers, while
// the line draws, and goes into the list when the next one starts or the
// line is done: that way the compiler keeps it in registers, where the list's
// ints would have to be read again after every pixel stored (a uint32_t
// store may change an int).
class Damage::Rows {
public:
    explicit Rows(Damage& damage) : m_damage(damage), m_used(damage.m_run_used) {
        if (m_used > 0) open(damage.m_rects[damage.m_count - 1]);
    }
    ~Rows() {
        close();
        m_damage.m_run_used = m_used;
    }
    Rows(const Rows&) = delete;
    Rows& operator=(const Rows&) = delete;

    // The pixels [x0, x1) of row y.
    void add(int y, int x0, int x1) { add_block(y, 1, x0, x1, std::int64_t{x1} - x0); }

    // Rows y..y + rows - 1 at once, all within [x0, x1), `used` of their
    // pixels damaged: joined to the rectangle above by the same rule as a
    // row, or a rectangle of their own.
    void add_block(int y, int rows, int x0, int x1, std::int64_t used) {
        if (x1 <= x0 || rows <= 0) return;
        if (m_used > 0 && m_bottom == y) {
            // joining_pays(), with the rectangle's cost kept from the last rows
            const std::int64_t left = x0 < m_left ? x0 : m_left, right = x1 > m_right ? x1 : m_right;
            const std::int64_t joined_cost = kRectCost + (right - left) * (m_bottom - m_top + rows);
            if (joined_cost * m_used <= m_cost * (m_used + used)) {
                m_left = left;
                m_right = right;
                m_bottom = std::int64_t{y} + rows;
                m_cost = joined_cost;
                m_used += used;
                return;
            }
        }
        start({x0, y, x1 - x0, rows});
        m_used = used;
    }

private:
    void open(PixelRect r) {
        m_left = r.x;
        m_right = std::int64_t{r.x} + r.w;
        m_top = r.y;
        m_bottom = std::int64_t{r.y} + r.h;
        m_cost = kRectCost + std::int64_t{r.w} * r.h;
    }
    void close() {
        if (m_used > 0)
            m_damage.m_rects[m_damage.m_count - 1] = {static_cast<int>(m_left), static_cast<int>(m_top),
                                                      static_cast<int>(m_right - m_left),
                                                      static_cast<int>(m_bottom - m_top)};
    }
    [[gnu::always_inline]] void start(PixelRect span) {
        close();
        m_damage.push(span); // joins the last rectangle when the list is full
        m_used = span.w;
        open(m_damage.m_rects[m_damage.m_count - 1]);
    }

    Damage& m_damage;
    std::int64_t m_used;
    std::int64_t m_left = 0, m_right = 0, m_top = 0, m_bottom = 0;
    std::int64_t m_cost = 0; // kRectCost and the rectangle's area
};

} // namespace runtime
