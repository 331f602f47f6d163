// The pixel rectangles that an operation changed, so that only they are shown.
#pragma once

#include <array>
#include <cstddef>

namespace runtime {

struct PixelRect {
    int x = 0, y = 0, w = 0, h = 0;
    [[nodiscard]] bool empty() const { return w <= 0 || h <= 0; }
};

// A fixed number of rectangles, so that recording damage never allocates.
// A thick line is covered by bands along its length rather than by its
// bounding box, which for a diagonal ray would be mostly untouched pixels.
class Damage {
public:
    static constexpr std::size_t kMaxRects = 64;

    void clear() { m_count = 0; }
    void add(PixelRect r) {
        if (r.empty()) return;
        if (m_count < kMaxRects) m_rects[m_count++] = r;
        else m_rects[m_count - 1] = unite(m_rects[m_count - 1], r);
    }

    [[nodiscard]] std::size_t size() const { return m_count; }
    [[nodiscard]] bool empty() const { return m_count == 0; }
    [[nodiscard]] const PixelRect* begin() const { return m_rects.data(); }
    [[nodiscard]] const PixelRect* end() const { return m_rects.data() + m_count; }
    [[nodiscard]] const PixelRect& operator[](std::size_t i) const { return m_rects[i]; }

    static PixelRect unite(PixelRect a, PixelRect b);

private:
    std::array<PixelRect, kMaxRects> m_rects{};
    std::size_t m_count = 0;
};

inline PixelRect Damage::unite(PixelRect a, PixelRect b) {
    const int x0 = a.x < b.x ? a.x : b.x, y0 = a.y < b.y ? a.y : b.y;
    const int x1 = a.x + a.w > b.x + b.w ? a.x + a.w : b.x + b.w;
    const int y1 = a.y + a.h > b.y + b.h ? a.y + a.h : b.y + b.h;
    return {x0, y0, x1 - x0, y1 - y0};
}

} // namespace runtime
