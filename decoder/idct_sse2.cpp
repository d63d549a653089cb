// The inverse transform with SSE2, bit for bit the portable one.
//
// Products come from _mm_madd_epi16 on interleaved coefficient pairs: each 32-bit lane gets
// a * x + b * y exactly, which is every product sum of the butterfly. The first pass runs on whole
// rows (eight columns in step, as two halves of four 32-bit lanes); the block is then transposed
// so the second pass runs eight rows in step, and transposed back for writing. Narrowing uses
// _mm_packs_epi32, the same saturation the portable first pass stores with; in the second pass the
// saturation only trims values the final clip would trim anyway. The 1/sqrt(2) scaling is formed
// by shifts and adds, which wrap like the portable 32-bit product.
#include "decoder/dsp.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace mivora::decoder::sse2 {
namespace {

// The passes keep the block in registers only when everything is inlined into one function.
#define MIVORA_INLINE __attribute__((always_inline)) inline

constexpr int W1 = 2841, W2 = 2676, W3 = 2408, W5 = 1609, W6 = 1108, W7 = 565;

inline __m128i Pair(int a, int b) {
  return _mm_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(b) << 16) |
                                         (static_cast<std::uint32_t>(a) & 0xFFFFu)));
}

// x * 181, wrapping: 181 = 128 + 32 + 16 + 4 + 1.
inline __m128i Times181(__m128i x) {
  const __m128i a = _mm_add_epi32(_mm_slli_epi32(x, 7), _mm_slli_epi32(x, 5));
  const __m128i b = _mm_add_epi32(_mm_slli_epi32(x, 4), _mm_slli_epi32(x, 2));
  return _mm_add_epi32(_mm_add_epi32(a, b), x);
}

inline __m128i ScaleR(__m128i v) {
  return _mm_srai_epi32(_mm_add_epi32(Times181(v), _mm_set1_epi32(128)), 8);
}

// One butterfly on four lanes. x04, x17, x35, x26 hold the interleaved pairs (x0,x4), (x1,x7),
// (x3,x5), (x2,x6). kDc scales the (x0,x4) pair (2048 or 256), bias is added to both even sums,
// round/shift are applied to the six odd/even product sums (0/0 in the first pass, 4/3 in the
// second). Results out[k] = Vk >> kOutShift.
template <int kDc, int kSumRound, int kSumShift, int kOutShift>
MIVORA_INLINE void Butterfly(__m128i x04, __m128i x17, __m128i x35, __m128i x26, __m128i bias,
                             __m128i out[8]) {
  auto sum = [](__m128i pair, __m128i weights) {
    __m128i v = _mm_madd_epi16(pair, weights);
    if constexpr (kSumShift > 0)
      v = _mm_srai_epi32(_mm_add_epi32(v, _mm_set1_epi32(kSumRound)), kSumShift);
    return v;
  };
  const __m128i s8 = _mm_add_epi32(_mm_madd_epi16(x04, Pair(kDc, kDc)), bias);
  const __m128i s0 = _mm_add_epi32(_mm_madd_epi16(x04, Pair(kDc, -kDc)), bias);
  const __m128i p4 = sum(x17, Pair(W1, W7));
  const __m128i p5 = sum(x17, Pair(W7, -W1));
  const __m128i p6 = sum(x35, Pair(W3, W5));
  const __m128i p7 = sum(x35, Pair(-W5, W3));
  const __m128i e2 = sum(x26, Pair(W6, -W2));
  const __m128i e3 = sum(x26, Pair(W2, W6));
  const __m128i q1 = _mm_add_epi32(p4, p6), q4 = _mm_sub_epi32(p4, p6);
  const __m128i q6 = _mm_add_epi32(p5, p7), q5 = _mm_sub_epi32(p5, p7);
  const __m128i t7 = _mm_add_epi32(s8, e3), t8 = _mm_sub_epi32(s8, e3);
  const __m128i t3 = _mm_add_epi32(s0, e2), t0 = _mm_sub_epi32(s0, e2);
  const __m128i r2 = ScaleR(_mm_add_epi32(q4, q5)), r4 = ScaleR(_mm_sub_epi32(q4, q5));
  out[0] = _mm_srai_epi32(_mm_add_epi32(t7, q1), kOutShift);
  out[1] = _mm_srai_epi32(_mm_add_epi32(t3, r2), kOutShift);
  out[2] = _mm_srai_epi32(_mm_add_epi32(t0, r4), kOutShift);
  out[3] = _mm_srai_epi32(_mm_add_epi32(t8, q6), kOutShift);
  out[4] = _mm_srai_epi32(_mm_sub_epi32(t8, q6), kOutShift);
  out[5] = _mm_srai_epi32(_mm_sub_epi32(t0, r4), kOutShift);
  out[6] = _mm_srai_epi32(_mm_sub_epi32(t3, r2), kOutShift);
  out[7] = _mm_srai_epi32(_mm_sub_epi32(t7, q1), kOutShift);
}

// Eight 16-bit vectors in, eight out: lanes of v[k] are the k-th values of eight lines.
// kLeftOnly: lines 4..7 are all zero and give zero (true of the first pass, whose bias of 128
// vanishes in the shift by 8), so only the left half is computed.
template <int kDc, int kSumRound, int kSumShift, int kOutShift, int kBias, bool kLeftOnly = false>
MIVORA_INLINE void Pass(const __m128i v[8], __m128i out[8]) {
  const __m128i bias = _mm_set1_epi32(kBias);
  __m128i lo[8], hi[8];
  Butterfly<kDc, kSumRound, kSumShift, kOutShift>(
      _mm_unpacklo_epi16(v[0], v[4]), _mm_unpacklo_epi16(v[1], v[7]),
      _mm_unpacklo_epi16(v[3], v[5]), _mm_unpacklo_epi16(v[2], v[6]), bias, lo);
  if constexpr (kLeftOnly) {
    for (int k = 0; k < 8; ++k) hi[k] = _mm_setzero_si128();
  } else {
    Butterfly<kDc, kSumRound, kSumShift, kOutShift>(
        _mm_unpackhi_epi16(v[0], v[4]), _mm_unpackhi_epi16(v[1], v[7]),
        _mm_unpackhi_epi16(v[3], v[5]), _mm_unpackhi_epi16(v[2], v[6]), bias, hi);
  }
  for (int k = 0; k < 8; ++k) out[k] = _mm_packs_epi32(lo[k], hi[k]);
}

#define MIVORA_IDCT_ROWS_INLINE MIVORA_INLINE
#include "decoder/idct_rows_sse2.h"

template <bool kAdd>
MIVORA_INLINE void DcOnly(std::int16_t* block, int x0, std::uint8_t* dst, std::ptrdiff_t stride) {
  block[0] = 0;  // the rest is zero already
  const int x8 = x0 * 8 < -32768 ? -32768 : x0 * 8 > 32767 ? 32767 : x0 * 8;
  WriteAll<kAdd>(_mm_set1_epi16(static_cast<short>((x8 + 32) >> 6)), dst, stride);
}

template <bool kAdd>
MIVORA_INLINE void Full(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  const __m128i zero = _mm_setzero_si128();
  __m128i* b = reinterpret_cast<__m128i*>(block);
  __m128i v[8];
  for (int k = 0; k < 8; ++k) v[k] = _mm_loadu_si128(b + k);
  for (int k = 0; k < 8; ++k) _mm_storeu_si128(b + k, zero);

  __m128i w[8];
  // Columns 4..7 all zero (frequent after quantisation): half a first pass.
  __m128i all = v[0];
  for (int k = 1; k < 8; ++k) all = _mm_or_si128(all, v[k]);
  if ((_mm_movemask_epi8(_mm_cmpeq_epi8(all, zero)) & 0xFF00) == 0xFF00)
    Pass<2048, 0, 0, 8, 128, true>(v, w);  // columns, in the rows' lanes
  else
    Pass<2048, 0, 0, 8, 128>(v, w);
  Transpose(w);
  Pass<256, 4, 3, 14, 8192>(w, v);  // rows, in the columns' lanes
  Transpose(v);
  Write<kAdd>(v, dst, stride);
}

template <bool kAdd>
void Transform(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  // Only the DC value: every sample is (sat16(X0 * 8) + 32) >> 6, which the full path gives too.
  // The test reads values 1..63 without touching value 0, and value 0 alone: the coefficient
  // reader has just stored single values, and a wide load over a fresh narrow store waits for
  // it to reach the cache, while a load of exactly the stored value is forwarded at once.
  const int x0 = block[0];
  __m128i rest = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 1));
  for (int k = 1; k < 8; ++k)
    rest = _mm_or_si128(rest, _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * k)));
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(rest, _mm_setzero_si128())) == 0xFFFF) {
    DcOnly<kAdd>(block, x0, dst, stride);
    return;
  }
  Full<kAdd>(block, dst, stride);
}

}  // namespace

void IdctPut(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  Transform<false>(block, dst, stride);
}

void IdctAdd(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  Transform<true>(block, dst, stride);
}

void IdctPutIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride, BlockExtent extent) {
  if (extent == BlockExtent::kDc) {
    DcOnly<false>(block, block[0], dst, stride);
  } else {
    Full<false>(block, dst, stride);
  }
}

void IdctAddIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride, BlockExtent extent) {
  if (extent == BlockExtent::kDc) {
    DcOnly<true>(block, block[0], dst, stride);
  } else {
    Full<true>(block, dst, stride);
  }
}

}  // namespace mivora::decoder::sse2

#endif
