// The MPEG method's inverse quantisation with SSE2, bit for bit the portable version: eight levels
// a step, the 32-bit products from the low and high halves of 16-bit multiplies (magnitudes and
// weights are both below 2^16), saturation by a signed pack and a minimum, the sign put back, and
// the parity of the sum as the XOR of the results.
#include "decoder/dsp.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace mivora::decoder::sse2 {
namespace {

template <bool kIntra>
inline __m128i Step(std::int16_t* block, const std::uint8_t* weights, __m128i q) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i level = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
  const __m128i sign = _mm_srai_epi16(level, 15);
  // |level| with -32768 saturated, then held at 16384: from there on every weighed value saturates
  // anyway, and twice it (plus one) still fits an unsigned 16-bit lane.
  const __m128i a =
      _mm_min_epi16(_mm_subs_epi16(_mm_xor_si128(level, sign), sign), _mm_set1_epi16(16384));
  __m128i t = _mm_add_epi16(a, a);
  if constexpr (!kIntra) t = _mm_add_epi16(t, _mm_set1_epi16(1));
  const __m128i w =
      _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(weights)), zero);
  const __m128i wq = _mm_mullo_epi16(w, q);
  const __m128i lo = _mm_mullo_epi16(t, wq), hi = _mm_mulhi_epu16(t, wq);
  const __m128i p0 = _mm_srai_epi32(_mm_unpacklo_epi16(lo, hi), 4);
  const __m128i p1 = _mm_srai_epi32(_mm_unpackhi_epi16(lo, hi), 4);
  // 2047 for positive levels, 2048 for negative ones.
  __m128i m = _mm_min_epi16(_mm_packs_epi32(p0, p1), _mm_sub_epi16(_mm_set1_epi16(2047), sign));
  if constexpr (!kIntra) m = _mm_andnot_si128(_mm_cmpeq_epi16(level, zero), m);
  const __m128i v = _mm_sub_epi16(_mm_xor_si128(m, sign), sign);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(block), v);
  return v;
}

inline int Parity(__m128i x) {
  x = _mm_xor_si128(x, _mm_srli_si128(x, 8));
  x = _mm_xor_si128(x, _mm_srli_si128(x, 4));
  x = _mm_xor_si128(x, _mm_srli_si128(x, 2));
  return _mm_cvtsi128_si32(x) & 1;
}

template <bool kIntra>
void Dequant(std::int16_t* block, const std::uint8_t* weights, int quantiser) {
  const std::int16_t dc = block[0];
  const __m128i q = _mm_set1_epi16(static_cast<short>(quantiser));
  __m128i parity = _mm_setzero_si128();
  for (int i = 0; i < 64; i += 8)
    parity = _mm_xor_si128(parity, Step<kIntra>(block + i, weights + i, q));
  int odd = Parity(parity);
  if constexpr (kIntra) {
    // The DC keeps its own scaling: put it back, saturated, in place of its weighed value.
    const int kept = dc < -2048 ? -2048 : dc > 2047 ? 2047 : dc;
    odd ^= (block[0] ^ kept) & 1;
    block[0] = static_cast<std::int16_t>(kept);
  }
  if (!odd) block[63] = static_cast<std::int16_t>(block[63] ^ 1);
}

}  // namespace

void DequantIntraMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser) {
  Dequant<true>(block, weights, quantiser);
}

void DequantInterMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser) {
  Dequant<false>(block, weights, quantiser);
}

}  // namespace mivora::decoder::sse2
#endif
