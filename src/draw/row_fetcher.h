// Rows fetched into the cache ahead of the line drawing them.
#pragma once

#include "draw/picture.h"

#include <cstddef>
#include <cstdint>

namespace runtime {

// Rows ahead of the one being drawn whose pixels are fetched into the cache.
// Every row of a ray is a new cache line (and, 7680 bytes apart, a new page),
// a miss of some 100 ns when the display server has had the caches since the
// last tick; a row in the cache takes a few ns, so a miss is hidden only a
// few dozen rows ahead.
inline constexpr int kPrefetchRows = 32;

// Fetches rows ahead of the one being drawn: the pixels at the pen's
// reach either side of the centre line along the row, both stepped from row
// to row in fixed point (16 fractional bits). Only where the fetches land
// depends on it, so a far or steep centre line is simply clamped: the
// slope to kMaxSlope pixels a row, the columns to the row.
class RowFetcher {
public:
    RowFetcher(const Picture& target, double centre, double slope, double reach, int first_row, int last_row)
        : m_line(reinterpret_cast<const std::uint8_t*>(target.row(first_row))), m_stride(target.stride),
          m_max_x(target.width - 1), m_left(fixed(centre - reach, kFar)), m_right(fixed(centre + reach, kFar)),
          m_step(fixed(slope, kMaxSlope)), m_rows(last_row - first_row + 1) {
        for (int row = 0; row < kPrefetchRows && m_rows > 0; ++row) fetch();
    }
    // Called for each row in turn, from the first.
    void ahead() {
        if (m_rows > 0) fetch();
    }

private:
    static constexpr double kFar = 4294967296.0, kMaxSlope = 4096.0;
    // x in fixed point, within +-bound (a NaN is -bound).
    static std::int64_t fixed(double x, double bound) {
        return static_cast<std::int64_t>((x > -bound ? (x < bound ? x : bound) : -bound) * 65536.0);
    }
    [[nodiscard]] std::int64_t column(std::int64_t x) const {
        const std::int64_t whole = x >> 16;
        if (static_cast<std::uint64_t>(whole) <= static_cast<std::uint64_t>(m_max_x)) [[likely]]
            return whole;
        return whole < 0 ? 0 : m_max_x;
    }
    // The next row not yet fetched.
    void fetch() {
        const auto* line = reinterpret_cast<const std::uint32_t*>(m_line);
        __builtin_prefetch(line + column(m_left), 1);
        __builtin_prefetch(line + column(m_right), 1);
        m_line += m_stride;
        m_left += m_step;
        m_right += m_step;
        --m_rows;
    }

    const std::uint8_t* m_line;
    std::ptrdiff_t m_stride;
    std::int64_t m_max_x, m_left, m_right, m_step;
    int m_rows; // not fetched yet
};

} // namespace runtime
