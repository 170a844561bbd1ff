// Rows of ARGB8888 pixels over RGB565 with SSE2, eight pixels at a time,
// each channel in 16-bit lanes. Every step is exact integer arithmetic:
// c * a + d * (255 - a) is at most 255 * 255 and fits a lane, and
// v / 255 is (v * 0x8081) >> 23 for every 16-bit v, taken as the high half
// of the product (pmulhuw) shifted by 7.
#if defined(__SSE2__)
#include <emmintrin.h>

#include "graphics/pixels/blend_rows.h"

namespace tarvelo::graphics {

namespace {

// v * 0x8081 >> 16 per lane: v / 255 shifted left by 7, plus lower bits.
inline __m128i times_1_over_255(__m128i v) { return _mm_mulhi_epu16(v, _mm_set1_epi16(static_cast<short>(0x8081))); }

// Bits `shift`..`shift + 7` of eight 32-bit pixels as eight 16-bit lanes.
template <int Shift>
inline __m128i channel(__m128i low, __m128i high) {
    const __m128i byte = _mm_set1_epi32(0xFF);
    return _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(low, Shift), byte), _mm_and_si128(_mm_srli_epi32(high, Shift), byte));
}

}  // namespace

void blend_argb8888_over_rgb565(std::uint16_t* destination, const std::uint8_t* source, std::int32_t count,
                                std::uint32_t alpha) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i all = _mm_set1_epi16(255);
    const __m128i global = _mm_set1_epi16(static_cast<short>(alpha));
    std::int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * static_cast<std::size_t>(i)));
        const __m128i high =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * static_cast<std::size_t>(i) + 16));
        __m128i a = _mm_packs_epi32(_mm_srli_epi32(low, 24), _mm_srli_epi32(high, 24));
        if (alpha != 255) a = _mm_srli_epi16(times_1_over_255(_mm_mullo_epi16(a, global)), 7);
        // Eight transparent pixels leave the destination as it is.
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(a, zero)) == 0xFFFF) continue;
        const __m128i r = channel<16>(low, high), g = channel<8>(low, high), b = channel<0>(low, high);
        __m128i* to = reinterpret_cast<__m128i*>(destination + i);
        __m128i vr, vg, vb;
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(a, all)) == 0xFFFF) {
            // Eight opaque pixels: c * 255, so that the same division
            // below gives c.
            vr = _mm_mullo_epi16(r, all), vg = _mm_mullo_epi16(g, all), vb = _mm_mullo_epi16(b, all);
        } else {
            const __m128i d = _mm_loadu_si128(to);
            const __m128i na = _mm_sub_epi16(all, a);
            // The destination's channels widened to 8 bits as RGB565 to
            // ARGB does: r5 << 3, g6 << 2, b5 << 3.
            const __m128i dr = _mm_slli_epi16(_mm_srli_epi16(d, 11), 3);
            const __m128i dg = _mm_and_si128(_mm_srli_epi16(d, 3), _mm_set1_epi16(0xFC));
            const __m128i db = _mm_and_si128(_mm_slli_epi16(d, 3), _mm_set1_epi16(0xF8));
            vr = _mm_add_epi16(_mm_mullo_epi16(r, a), _mm_mullo_epi16(dr, na));
            vg = _mm_add_epi16(_mm_mullo_epi16(g, a), _mm_mullo_epi16(dg, na));
            vb = _mm_add_epi16(_mm_mullo_epi16(b, a), _mm_mullo_epi16(db, na));
        }
        // x = v * 0x8081 >> 16 holds v / 255 at bits 7..14: red's top five
        // bits go to 11..15, green's top six to 5..10, blue's top five to
        // 0..4.
        const __m128i xr = times_1_over_255(vr), xg = times_1_over_255(vg), xb = times_1_over_255(vb);
        const __m128i out = _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_slli_epi16(xr, 1), _mm_set1_epi16(static_cast<short>(0xF800))),
                                                      _mm_and_si128(_mm_srli_epi16(xg, 4), _mm_set1_epi16(0x07E0))),
                                         _mm_srli_epi16(xb, 10));
        _mm_storeu_si128(to, out);
    }
    blend_argb8888_over_rgb565_scalar(destination + i, source + 4 * static_cast<std::size_t>(i), count - i, alpha);
}

}  // namespace tarvelo::graphics
#endif
