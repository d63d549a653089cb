// The MPEG method's inverse quantisation with AVX2, bit for bit the portable version: the SSE2
// arrangement (see dequant_sse2.cpp) sixteen levels a step. The whole block stays in registers
// until the mismatch control and the intra DC are in place, so it is stored once, by wide stores
// alone: the transform's loads, which come right after, then take the values from the stores
// instead of waiting for a narrow store to reach the cache.
#include "decoder/dsp.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define MIVORA_AVX2 __attribute__((target("avx2")))
#define MIVORA_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace mivora::decoder::avx2 {
namespace {

template <bool kIntra>
MIVORA_AVX2_INLINE __m256i Step(const std::int16_t* block, const std::uint8_t* weights, __m256i q) {
  const __m256i level = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
  const __m256i sign = _mm256_srai_epi16(level, 15);
  // |level| with -32768 saturated, held at 16384 (see dequant_sse2.cpp).
  const __m256i a = _mm256_min_epi16(_mm256_subs_epi16(_mm256_xor_si256(level, sign), sign),
                                     _mm256_set1_epi16(16384));
  __m256i t = _mm256_add_epi16(a, a);
  if constexpr (!kIntra) t = _mm256_add_epi16(t, _mm256_set1_epi16(1));
  const __m256i w =
      _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(weights)));
  const __m256i wq = _mm256_mullo_epi16(w, q);
  const __m256i lo = _mm256_mullo_epi16(t, wq), hi = _mm256_mulhi_epu16(t, wq);
  // The unpacks and the pack work within halves, so the pack puts the values back in order.
  const __m256i p0 = _mm256_srai_epi32(_mm256_unpacklo_epi16(lo, hi), 4);
  const __m256i p1 = _mm256_srai_epi32(_mm256_unpackhi_epi16(lo, hi), 4);
  __m256i m =
      _mm256_min_epi16(_mm256_packs_epi32(p0, p1), _mm256_sub_epi16(_mm256_set1_epi16(2047), sign));
  if constexpr (!kIntra)
    m = _mm256_andnot_si256(_mm256_cmpeq_epi16(level, _mm256_setzero_si256()), m);
  return _mm256_sub_epi16(_mm256_xor_si256(m, sign), sign);
}

template <bool kIntra>
MIVORA_AVX2_INLINE void Dequant(std::int16_t* block, const std::uint8_t* weights, int quantiser) {
  const int dc = block[0];
  const __m256i q = _mm256_set1_epi16(static_cast<short>(quantiser));
  __m256i v0 = Step<kIntra>(block, weights, q);
  const __m256i v1 = Step<kIntra>(block + 16, weights + 16, q);
  const __m256i v2 = Step<kIntra>(block + 32, weights + 32, q);
  __m256i v3 = Step<kIntra>(block + 48, weights + 48, q);
  if constexpr (kIntra) {
    // The DC keeps its own scaling, saturated, in place of its weighed value.
    const int kept = dc < -2048 ? -2048 : dc > 2047 ? 2047 : dc;
    v0 = _mm256_insert_epi16(v0, static_cast<short>(kept), 0);
  }
  // The parity of the sum is the XOR of the values' low bits.
  const __m256i x = _mm256_xor_si256(_mm256_xor_si256(v0, v1), _mm256_xor_si256(v2, v3));
  __m128i y = _mm_xor_si128(_mm256_castsi256_si128(x), _mm256_extracti128_si256(x, 1));
  y = _mm_xor_si128(y, _mm_srli_si128(y, 8));
  y = _mm_xor_si128(y, _mm_srli_si128(y, 4));
  y = _mm_xor_si128(y, _mm_srli_si128(y, 2));
  const int even = ~_mm_cvtsi128_si32(y) & 1;
  // An even sum makes the last value's low bit flip.
  v3 = _mm256_xor_si256(
      v3, _mm256_setr_epi16(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<short>(even)));
  __m256i* b = reinterpret_cast<__m256i*>(block);
  _mm256_storeu_si256(b, v0);
  _mm256_storeu_si256(b + 1, v1);
  _mm256_storeu_si256(b + 2, v2);
  _mm256_storeu_si256(b + 3, v3);
}

}  // namespace

MIVORA_AVX2 void DequantIntraMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser) {
  Dequant<true>(block, weights, quantiser);
}

MIVORA_AVX2 void DequantInterMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser) {
  Dequant<false>(block, weights, quantiser);
}

}  // namespace mivora::decoder::avx2
#endif
