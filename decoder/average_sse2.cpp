// Averaging of two predictions with SSE2: _mm_avg_epu8 is (a + b + 1) >> 1 exactly.
#include "decoder/dsp.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace mivora::decoder::sse2 {
namespace {

void Average8(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  for (int i = 0; i < 8; i += 2, src += 2 * stride, dst += 2 * stride) {
    const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src));
    const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + stride));
    const __m128i c = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst));
    const __m128i d = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst + stride));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_avg_epu8(a, c));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + stride), _mm_avg_epu8(b, d));
  }
}

void Average16(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  for (int i = 0; i < 16; ++i, src += stride, dst += stride) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_avg_epu8(a, b));
  }
}

}  // namespace

void FillAverageTable(PredictFn t[2]) {
  t[0] = Average8;
  t[1] = Average16;
}

}  // namespace mivora::decoder::sse2
#endif
