// Global motion's bilinear interpolation with SSE2, bit for bit the portable version: the four
// weights sum to 256, so each weighted sum (at most 255 * 256 + 128) fits an unsigned 16-bit lane.
#include "decoder/dsp.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace mivora::decoder::sse2 {
namespace {

inline __m128i Load8(const std::uint8_t* p) {
  return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                           _mm_setzero_si128());
}

// Eight results from the rows' samples at p and p + 1 (row) and q and q + 1 (the row below).
inline __m128i Weigh(__m128i p0, __m128i p1, __m128i q0, __m128i q1, const __m128i w[4],
                     __m128i rounder) {
  __m128i v = _mm_add_epi16(_mm_mullo_epi16(p0, w[0]), _mm_mullo_epi16(p1, w[1]));
  v = _mm_add_epi16(v, _mm_mullo_epi16(q0, w[2]));
  v = _mm_add_epi16(v, _mm_mullo_epi16(q1, w[3]));
  return _mm_srli_epi16(_mm_add_epi16(v, rounder), 8);
}

template <int kN>
void Warp(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride, int fx, int fy,
          int rounding) {
  const __m128i w[4] = {_mm_set1_epi16(static_cast<short>((16 - fx) * (16 - fy))),
                        _mm_set1_epi16(static_cast<short>(fx * (16 - fy))),
                        _mm_set1_epi16(static_cast<short>((16 - fx) * fy)),
                        _mm_set1_epi16(static_cast<short>(fx * fy))};
  const __m128i rounder = _mm_set1_epi16(static_cast<short>(128 - rounding));
  for (int r = 0; r < kN; ++r, src += stride, dst += stride) {
    const std::uint8_t* next = src + stride;
    const __m128i lo = Weigh(Load8(src), Load8(src + 1), Load8(next), Load8(next + 1), w, rounder);
    if constexpr (kN == 8) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(lo, lo));
    } else {
      const __m128i hi =
          Weigh(Load8(src + 8), Load8(src + 9), Load8(next + 8), Load8(next + 9), w, rounder);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(lo, hi));
    }
  }
}

}  // namespace

void FillWarpTable(WarpFn t[2]) {
  t[0] = Warp<8>;
  t[1] = Warp<16>;
}

}  // namespace mivora::decoder::sse2
#endif
