#include "draw/damage_bands.h"

#include <algorithm>
#include <limits>

namespace runtime {

std::span<const PixelRect> DamageBands::merge(std::span<const PixelRect> damage) {
    m_by_top.clear();
    for (const PixelRect& r : damage)
        if (!r.empty()) m_by_top.push_back(r);
    // A ray's rectangles come top to bottom: the sort meets a few sorted runs.
    std::sort(m_by_top.begin(), m_by_top.end(), [](const PixelRect& a, const PixelRect& b) { return a.y < b.y; });

    // A band ends where a rectangle starts or ends; between, the same
    // rectangles cover every row.
    m_active.clear();
    m_out.clear();
    m_used.clear();
    m_open.clear();
    std::size_t next = 0;
    int y = m_by_top.empty() ? 0 : m_by_top.front().y;
    while (next < m_by_top.size() || !m_active.empty()) {
        if (m_active.empty() && m_by_top[next].y > y) {
            m_open.clear(); // rows with no damage part the rectangles
            y = m_by_top[next].y;
        }
        while (next < m_by_top.size() && m_by_top[next].y <= y) m_active.push_back(m_by_top[next++]);
        int end = next < m_by_top.size() ? m_by_top[next].y : std::numeric_limits<int>::max();
        for (const PixelRect& r : m_active) end = std::min(end, r.y + r.h);
        add_band(y, end - y);
        y = end;
        std::erase_if(m_active, [y](const PixelRect& r) { return r.y + r.h <= y; });
    }
    return m_out;
}

void DamageBands::add_band(int y, int h) {
    // The band's spans, overlapping ones joined.
    m_spans.clear();
    for (const PixelRect& r : m_active) m_spans.push_back({r.x, r.x + r.w});
    std::sort(m_spans.begin(), m_spans.end(), [](const Span& a, const Span& b) { return a.x0 < b.x0; });
    std::size_t merged = 0;
    for (std::size_t i = 1; i < m_spans.size(); ++i) {
        Span& last = m_spans[merged];
        if (m_spans[i].x0 <= last.x1) last.x1 = std::max(last.x1, m_spans[i].x1);
        else m_spans[++merged] = m_spans[i];
    }
    m_spans.resize(merged + 1);

    // A span joins a rectangle ending just above it while that lowers what
    // the rectangle costs per pixel it must show.
    m_next_open.clear();
    for (const Span& s : m_spans) {
        const PixelRect band{s.x0, y, s.x1 - s.x0, h};
        const std::int64_t used = std::int64_t{band.w} * h;
        bool joined = false;
        for (std::size_t& index : m_open) {
            if (index == SIZE_MAX) continue;
            PixelRect& rect = m_out[index];
            if (s.x1 <= rect.x || s.x0 >= rect.x + rect.w) continue;
            const PixelRect together = Damage::unite(rect, band);
            if (!Damage::joining_pays(kRectCost, std::int64_t{rect.w} * rect.h, m_used[index],
                                      std::int64_t{together.w} * together.h, used))
                continue;
            rect = together;
            m_used[index] += used;
            m_next_open.push_back(index);
            index = SIZE_MAX;
            joined = true;
            break;
        }
        if (!joined) {
            m_out.push_back(band);
            m_used.push_back(used);
            m_next_open.push_back(m_out.size() - 1);
        }
    }
    m_open.swap(m_next_open);
}

} // namespace runtime
