// The pen's colour written into a row of 32-bit pixels: plainly where it
// covers them, in proportion where it covers them partly. Four pixels at a
// time with SSE2 (every x86-64 has it); one at a time elsewhere, to the
// same bytes.
#pragma once

#include "draw/picture.h"
#include "form/colour.h"

#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace runtime {

// `over` at weight alpha/255 on `under`, each channel rounded to the
// nearest; the result is opaque.
inline std::uint32_t blend(std::uint32_t under, Colour over, std::uint32_t alpha) {
    const std::uint32_t inverse = 255 - alpha;
    // Red and blue together, then green: two multiplies instead of three.
    std::uint32_t rb = (over & 0xFF00FF) * alpha + (under & 0xFF00FF) * inverse + 0x800080;
    rb = ((rb + ((rb >> 8) & 0xFF00FF)) >> 8) & 0xFF00FF;
    std::uint32_t g = (over & 0xFF00) * alpha + (under & 0xFF00) * inverse + 0x8000;
    g = ((g + ((g >> 8) & 0xFF00)) >> 8) & 0xFF00;
    return rb | g | kOpaque;
}

// A pixel at a level: its coverage in 255ths plus a half, so that the
// whole part is the pen's weight. Below 1 the pixel is left as it is.
inline void shade_level(std::uint32_t& pixel, Colour colour, double level) {
    if (level < 1) return;
    pixel = level >= 255 ? (colour | kOpaque) : blend(pixel, colour, static_cast<std::uint32_t>(level));
}

// pixels [first, last) in the opaque `pixel`. With SSE2 the last group of
// four overlaps the one before it rather than ending one at a time.
inline void fill_pixels(std::uint32_t* first, std::uint32_t* last, std::uint32_t pixel) {
#if defined(__SSE2__)
    const __m128i four = _mm_set1_epi32(static_cast<int>(pixel));
    if (last - first >= 4) {
        for (; last - first > 4; first += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(first), four);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(last - 4), four);
    } else if (last - first >= 2) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(first), four);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(last - 2), four);
    } else if (first < last) {
        *first = pixel;
    }
#else
    for (; last - first >= 4; first += 4) first[0] = first[1] = first[2] = first[3] = pixel;
    for (; first < last; ++first) *first = pixel;
#endif
}

#if defined(__SSE2__)
namespace sse2 {

// Four levels, lanes a0 a1 in l01 and a2 a3 in l23, as 16-bit weights:
// each whole part clamped to 0..255, and 0 for the lanes from `count` on.
inline __m128i weights(__m128d l01, __m128d l23, __m128i count) {
    // A level lies well within int: a pixel on a ramp is at most a pen's
    // width from the edge, and so are the few past its end.
    __m128i levels = _mm_unpacklo_epi64(_mm_cvttpd_epi32(l01), _mm_cvttpd_epi32(l23));
    levels = _mm_and_si128(levels, _mm_cmpgt_epi32(count, _mm_setr_epi32(0, 1, 2, 3)));
    const __m128i alpha = _mm_packs_epi32(levels, levels);
    return _mm_min_epi16(_mm_max_epi16(alpha, _mm_setzero_si128()), _mm_set1_epi16(255));
}

// Four pixels `under` at weights alpha (from weights(): 0 leaves a pixel
// as it was, 255 gives the colour), by the same arithmetic as blend() in
// 16-bit lanes: the largest sum, 255 * 255 + 128, still fits.
inline __m128i blend4(__m128i under, __m128i alpha, __m128i colour16) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i none = _mm_cmpeq_epi16(alpha, zero);
    const __m128i untouched = _mm_unpacklo_epi16(none, none);
    const __m128i pairs = _mm_unpacklo_epi16(alpha, alpha); // a0 a0 a1 a1 a2 a2 a3 a3
    const __m128i alpha01 = _mm_unpacklo_epi32(pairs, pairs), alpha23 = _mm_unpackhi_epi32(pairs, pairs);
    const __m128i max = _mm_set1_epi16(255), half = _mm_set1_epi16(128);
    auto mix = [&](__m128i under16, __m128i a) {
        __m128i t = _mm_add_epi16(_mm_mullo_epi16(colour16, a), _mm_mullo_epi16(under16, _mm_sub_epi16(max, a)));
        t = _mm_add_epi16(t, half);
        return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
    };
    const __m128i mixed = _mm_packus_epi16(mix(_mm_unpacklo_epi8(under, zero), alpha01),
                                           mix(_mm_unpackhi_epi8(under, zero), alpha23));
    const __m128i shaded = _mm_or_si128(mixed, _mm_set1_epi32(static_cast<int>(kOpaque)));
    return _mm_or_si128(_mm_and_si128(untouched, under), _mm_andnot_si128(untouched, shaded));
}

} // namespace sse2
#endif

// The ramps of one line in one colour: the pixels where its coverage falls
// across a row, each at a level (coverage in 255ths plus a half) a step
// from its neighbour's.
class RampShader {
public:
    RampShader(Colour colour, double step) : m_colour(colour), m_step(step) {}

    // Pixels first..last (inclusive) of a row `width` long, the k-th past
    // `first` at level + k step, rising to the right when `rising`. With
    // SSE2, four at a time while they stay in the row (those past `last`
    // are left as they were). Each level is found afresh from the first,
    // so no sum runs from pixel to pixel along a long ramp.
    [[gnu::always_inline]] void shade(std::uint32_t* row, int width, int first, int last, double level,
                                      bool rising) const {
        const double step = rising ? m_step : -m_step;
        int col = first;
#if defined(__SSE2__)
        if (col <= last && col <= width - 4) {
            const __m128d from = _mm_set1_pd(level), by = _mm_set1_pd(step), four = _mm_set1_pd(4.0);
            __m128d k01 = _mm_setr_pd(0.0, 1.0), k23 = _mm_setr_pd(2.0, 3.0);
            for (; col <= last && col <= width - 4; col += 4) {
                const __m128d l01 = _mm_add_pd(from, _mm_mul_pd(k01, by)), l23 = _mm_add_pd(from, _mm_mul_pd(k23, by));
                __m128i* const at = reinterpret_cast<__m128i*>(row + col);
                _mm_storeu_si128(at, sse2::blend4(_mm_loadu_si128(at),
                                                  sse2::weights(l01, l23, _mm_set1_epi32(last - col + 1)), m_colour16));
                k01 = _mm_add_pd(k01, four);
                k23 = _mm_add_pd(k23, four);
            }
        }
#else
        (void)width;
#endif
        for (; col <= last; ++col) shade_level(row[col], m_colour, level + (col - first) * step);
    }

    // A row's two short ramps at once, where SSE2 allows: left_count (up to
    // two) pixels from `left` rising from left_level, right_count from
    // `right` falling from right_level, right + 1 still in the row, the
    // pixels between them covered and drawn after. False when it cannot.
    [[gnu::always_inline]] bool shade_pair(std::uint32_t* row, int width, int left, int left_count,
                                           double left_level, int right, int right_count,
                                           double right_level) const {
#if defined(__SSE2__)
        if (left_count > 2 || right_count > 2 || right + 1 >= width) return false;
        // Lanes: left, left + 1, right, right + 1. When the pairs meet, the
        // pixel they share is the left pair's second, never shaded there,
        // and the right pair is stored last.
        __m128i* const at_left = reinterpret_cast<__m128i*>(row + left);
        __m128i* const at_right = reinterpret_cast<__m128i*>(row + right);
        const __m128i under = _mm_unpacklo_epi64(_mm_loadl_epi64(at_left), _mm_loadl_epi64(at_right));
        const __m128i alpha = sse2::weights(_mm_setr_pd(left_level, left_level + m_step),
                                            _mm_setr_pd(right_level, right_level - m_step),
                                            _mm_setr_epi32(left_count, left_count, right_count + 2, right_count + 2));
        const __m128i shaded = sse2::blend4(under, alpha, m_colour16);
        _mm_storel_epi64(at_left, shaded);
        _mm_storel_epi64(at_right, _mm_unpackhi_epi64(shaded, shaded));
        return true;
#else
        (void)row, (void)width, (void)left, (void)left_count, (void)left_level, (void)right, (void)right_count,
            (void)right_level;
        return false;
#endif
    }

private:
    Colour m_colour;
    double m_step;
#if defined(__SSE2__)
    __m128i m_colour16 = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(m_colour)), _mm_setzero_si128());
#endif
};

} // namespace runtime
