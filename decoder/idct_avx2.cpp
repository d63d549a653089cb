// The inverse transform with AVX2, bit for bit the portable one: the SSE2 arrangement (see
// idct_sse2.cpp) with all eight lines of a pass in one register of eight 32-bit lanes, which halves
// the butterfly's instructions. Compiled for AVX2 through a target attribute so the rest of the
// build stays at the baseline; Dsp() installs it only on processors that report AVX2.
#include "decoder/dsp.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define MIVORA_AVX2 __attribute__((target("avx2")))
// The passes keep the block in registers only when everything is inlined into one function.
#define MIVORA_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace mivora::decoder::avx2 {
namespace {

constexpr int W1 = 2841, W2 = 2676, W3 = 2408, W5 = 1609, W6 = 1108, W7 = 565;

MIVORA_AVX2_INLINE __m256i Pair(int a, int b) {
  return _mm256_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(b) << 16) |
                                            (static_cast<std::uint32_t>(a) & 0xFFFFu)));
}

// Weight pair (a0, a1) in the low four lanes, (b0, b1) in the high four.
MIVORA_AVX2_INLINE __m256i Halves(int a0, int a1, int b0, int b1) {
  return _mm256_blend_epi32(Pair(a0, a1), Pair(b0, b1), 0xF0);
}

// (x * 181 + 128) >> 8 with x * 181 wrapping like the portable 32-bit product.
MIVORA_AVX2_INLINE __m256i ScaleR(__m256i x) {
  return _mm256_srai_epi32(
      _mm256_add_epi32(_mm256_mullo_epi32(x, _mm256_set1_epi32(181)), _mm256_set1_epi32(128)), 8);
}

template <int kRound, int kShift>
MIVORA_AVX2_INLINE __m256i Sum(__m256i pair, __m256i weights) {
  __m256i v = _mm256_madd_epi16(pair, weights);
  if constexpr (kShift > 0)
    v = _mm256_srai_epi32(_mm256_add_epi32(v, _mm256_set1_epi32(kRound)), kShift);
  return v;
}

// Interleaved (a, b) pairs of eight lines, in line order.
MIVORA_AVX2_INLINE __m256i Pairs(__m128i a, __m128i b) {
  return _mm256_set_m128i(_mm_unpackhi_epi16(a, b), _mm_unpacklo_epi16(a, b));
}

// a >> kShift and b >> kShift saturated to 16 bits into lo and hi. packs works within 128-bit
// halves; the permute puts each result's eight values in order.
template <int kShift>
MIVORA_AVX2_INLINE void Pack(__m256i a, __m256i b, __m128i& lo, __m128i& hi) {
  const __m256i p = _mm256_permute4x64_epi64(
      _mm256_packs_epi32(_mm256_srai_epi32(a, kShift), _mm256_srai_epi32(b, kShift)), 0xD8);
  lo = _mm256_castsi256_si128(p);
  hi = _mm256_extracti128_si256(p, 1);
}

// Lanes of v[k] are the k-th values of eight lines; out[k] the k-th results, saturated to 16 bits.
template <int kDc, int kSumRound, int kSumShift, int kOutShift, int kBias>
MIVORA_AVX2_INLINE void Pass(const __m128i v[8], __m128i out[8]) {
  const __m256i x04 = Pairs(v[0], v[4]), x17 = Pairs(v[1], v[7]);
  const __m256i x35 = Pairs(v[3], v[5]), x26 = Pairs(v[2], v[6]);
  const __m256i bias = _mm256_set1_epi32(kBias);
  const __m256i s8 = _mm256_add_epi32(_mm256_madd_epi16(x04, Pair(kDc, kDc)), bias);
  const __m256i s0 = _mm256_add_epi32(_mm256_madd_epi16(x04, Pair(kDc, -kDc)), bias);
  const __m256i p4 = Sum<kSumRound, kSumShift>(x17, Pair(W1, W7));
  const __m256i p5 = Sum<kSumRound, kSumShift>(x17, Pair(W7, -W1));
  const __m256i p6 = Sum<kSumRound, kSumShift>(x35, Pair(W3, W5));
  const __m256i p7 = Sum<kSumRound, kSumShift>(x35, Pair(-W5, W3));
  const __m256i e2 = Sum<kSumRound, kSumShift>(x26, Pair(W6, -W2));
  const __m256i e3 = Sum<kSumRound, kSumShift>(x26, Pair(W2, W6));
  const __m256i q1 = _mm256_add_epi32(p4, p6), q4 = _mm256_sub_epi32(p4, p6);
  const __m256i q6 = _mm256_add_epi32(p5, p7), q5 = _mm256_sub_epi32(p5, p7);
  const __m256i t7 = _mm256_add_epi32(s8, e3), t8 = _mm256_sub_epi32(s8, e3);
  const __m256i t3 = _mm256_add_epi32(s0, e2), t0 = _mm256_sub_epi32(s0, e2);
  const __m256i r2 = ScaleR(_mm256_add_epi32(q4, q5)), r4 = ScaleR(_mm256_sub_epi32(q4, q5));
  Pack<kOutShift>(_mm256_add_epi32(t7, q1), _mm256_add_epi32(t3, r2), out[0], out[1]);
  Pack<kOutShift>(_mm256_add_epi32(t0, r4), _mm256_add_epi32(t8, q6), out[2], out[3]);
  Pack<kOutShift>(_mm256_sub_epi32(t8, q6), _mm256_sub_epi32(t0, r4), out[4], out[5]);
  Pack<kOutShift>(_mm256_sub_epi32(t3, r2), _mm256_sub_epi32(t7, q1), out[6], out[7]);
}

// The first pass when only rows 0..3 of columns 0..3 hold values (x4..x7 zero, columns 4..7
// give zero). With x4..x7 zero every sum of the butterfly is a sum of two products, so each
// comes from one madd: (x0, x2) pairs give t7, t3, t0, t8 (bias included) and (x1, x3) pairs
// give q1, q4 + q5, q4 - q5, q6, the same 32-bit values as the full butterfly. Two of the four
// lines go in each register's halves. Returns the second pass's input: z[c] holds value c of
// rows 0..7, z[4..7] zero.
MIVORA_AVX2_INLINE void FirstPass4x4(__m128i r0, __m128i r1, __m128i r2, __m128i r3, __m128i z[8]) {
  const __m128i x02 = _mm_unpacklo_epi16(r0, r2), x13 = _mm_unpacklo_epi16(r1, r3);
  const __m256i a = _mm256_set_m128i(x02, x02), b = _mm256_set_m128i(x13, x13);
  const __m256i bias = _mm256_set1_epi32(128);
  const __m256i t73 = _mm256_add_epi32(_mm256_madd_epi16(a, Halves(2048, W2, 2048, W6)), bias);
  const __m256i t08 = _mm256_add_epi32(_mm256_madd_epi16(a, Halves(2048, -W6, 2048, -W2)), bias);
  const __m256i qa = _mm256_madd_epi16(b, Halves(W1, W3, W1 + W7, W5 - W3));    // q1 | q4 + q5
  const __m256i qb = _mm256_madd_epi16(b, Halves(W1 - W7, -W3 - W5, W7, -W5));  // q4 - q5 | q6
  const __m256i q1r2 = _mm256_blend_epi32(qa, ScaleR(qa), 0xF0);
  const __m256i r4q6 = _mm256_blend_epi32(qb, ScaleR(qb), 0x0F);
  // [Y0 | Y1], [Y2 | Y3], [Y7 | Y6], [Y5 | Y4], packed in pairs: u01 = [Y0 Y2 | Y1 Y3] and
  // u76 = [Y7 Y5 | Y6 Y4], four 16-bit values per line.
  const __m256i u01 = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(t73, q1r2), 8),
                                         _mm256_srai_epi32(_mm256_add_epi32(t08, r4q6), 8));
  const __m256i u76 = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_sub_epi32(t73, q1r2), 8),
                                         _mm256_srai_epi32(_mm256_sub_epi32(t08, r4q6), 8));
  const __m128i y02 = _mm256_castsi256_si128(u01), y13 = _mm256_extracti128_si256(u01, 1);
  const __m128i y75 = _mm256_castsi256_si128(u76), y64 = _mm256_extracti128_si256(u76, 1);
  // Transpose 8 lines x 4 values: pairs of lines, then 32-bit 4x4.
  const __m128i l01 = _mm_unpacklo_epi16(y02, y13), l23 = _mm_unpackhi_epi16(y02, y13);
  const __m128i l45 = _mm_unpackhi_epi16(y64, y75), l67 = _mm_unpacklo_epi16(y64, y75);
  const __m128i m0 = _mm_unpacklo_epi32(l01, l23), m1 = _mm_unpackhi_epi32(l01, l23);
  const __m128i m2 = _mm_unpacklo_epi32(l45, l67), m3 = _mm_unpackhi_epi32(l45, l67);
  z[0] = _mm_unpacklo_epi64(m0, m2);
  z[1] = _mm_unpackhi_epi64(m0, m2);
  z[2] = _mm_unpacklo_epi64(m1, m3);
  z[3] = _mm_unpackhi_epi64(m1, m3);
  z[4] = z[5] = z[6] = z[7] = _mm_setzero_si128();
}

#define MIVORA_IDCT_ROWS_INLINE MIVORA_AVX2_INLINE
#include "decoder/idct_rows_sse2.h"

// Every sample (sat16(X0 * 8) + 32) >> 6, as the full path gives for a block of only its DC.
template <bool kAdd>
MIVORA_AVX2_INLINE void DcOnly(std::int16_t* block, int x0, std::uint8_t* dst,
                               std::ptrdiff_t stride) {
  block[0] = 0;  // the rest is zero already
  const int x8 = x0 * 8 < -32768 ? -32768 : x0 * 8 > 32767 ? 32767 : x0 * 8;
  WriteAll<kAdd>(_mm_set1_epi16(static_cast<short>((x8 + 32) >> 6)), dst, stride);
}

// Only the top-left 4x4 values (frequent after coarse quantisation): a shorter first pass.
template <bool kAdd>
MIVORA_AVX2_INLINE void TopLeft(__m256i b01, __m256i b23, std::uint8_t* dst,
                                std::ptrdiff_t stride) {
  __m128i v[8], w[8];
  FirstPass4x4(_mm256_castsi256_si128(b01), _mm256_extracti128_si256(b01, 1),
               _mm256_castsi256_si128(b23), _mm256_extracti128_si256(b23, 1), v);
  Pass<256, 4, 3, 14, 8192>(v, w);
  Transpose(w);
  Write<kAdd>(w, dst, stride);
}

template <bool kAdd>
MIVORA_AVX2_INLINE void Full(const __m256i rows[4], std::uint8_t* dst, std::ptrdiff_t stride) {
  __m128i v[8], w[8];
  for (int k = 0; k < 4; ++k) {
    v[2 * k] = _mm256_castsi256_si128(rows[k]);
    v[2 * k + 1] = _mm256_extracti128_si256(rows[k], 1);
  }
  Pass<2048, 0, 0, 8, 128>(v, w);  // columns, in the rows' lanes
  Transpose(w);
  Pass<256, 4, 3, 14, 8192>(w, v);  // rows, in the columns' lanes
  Transpose(v);
  Write<kAdd>(v, dst, stride);
}

template <bool kAdd>
MIVORA_AVX2 void Transform(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  // Only the DC value. The test reads values 1..63 without touching value 0, and value 0 alone:
  // the coefficient reader has just stored single values, and a wide load over a fresh narrow
  // store waits for it to reach the cache, while a load of exactly the stored value is forwarded
  // at once.
  const int x0 = block[0];
  const __m256i rest = _mm256_or_si256(
      _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 1)),
                      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 16))),
      _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32)),
                      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 48))));
  if (_mm256_testz_si256(rest, rest)) {
    DcOnly<kAdd>(block, x0, dst, stride);
    return;
  }

  __m256i* b = reinterpret_cast<__m256i*>(block);
  const __m256i rows[4] = {_mm256_loadu_si256(b), _mm256_loadu_si256(b + 1),
                           _mm256_loadu_si256(b + 2), _mm256_loadu_si256(b + 3)};
  const __m256i zero = _mm256_setzero_si256();
  for (int k = 0; k < 4; ++k) _mm256_storeu_si256(b + k, zero);

  const __m256i right = _mm256_setr_epi16(0, 0, 0, 0, -1, -1, -1, -1, 0, 0, 0, 0, -1, -1, -1, -1);
  const __m256i outside =
      _mm256_or_si256(_mm256_and_si256(_mm256_or_si256(rows[0], rows[1]), right),
                      _mm256_or_si256(rows[2], rows[3]));
  if (_mm256_testz_si256(outside, outside)) {
    TopLeft<kAdd>(rows[0], rows[1], dst, stride);
    return;
  }
  Full<kAdd>(rows, dst, stride);
}

// The extent told: no test of the block, so its loads come only when the transform needs them.
template <bool kAdd>
MIVORA_AVX2 void TransformIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride,
                             BlockExtent extent) {
  if (extent == BlockExtent::kDc) {
    DcOnly<kAdd>(block, block[0], dst, stride);
    return;
  }
  __m256i* b = reinterpret_cast<__m256i*>(block);
  const __m256i zero = _mm256_setzero_si256();
  if (extent == BlockExtent::kTopLeft4x4) {
    const __m256i b01 = _mm256_loadu_si256(b), b23 = _mm256_loadu_si256(b + 1);
    _mm256_storeu_si256(b, zero);
    _mm256_storeu_si256(b + 1, zero);
    TopLeft<kAdd>(b01, b23, dst, stride);
    return;
  }
  const __m256i rows[4] = {_mm256_loadu_si256(b), _mm256_loadu_si256(b + 1),
                           _mm256_loadu_si256(b + 2), _mm256_loadu_si256(b + 3)};
  for (int k = 0; k < 4; ++k) _mm256_storeu_si256(b + k, zero);
  Full<kAdd>(rows, dst, stride);
}

}  // namespace

MIVORA_AVX2 void IdctPut(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  Transform<false>(block, dst, stride);
}

MIVORA_AVX2 void IdctAdd(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  Transform<true>(block, dst, stride);
}

MIVORA_AVX2 void IdctPutIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride,
                           BlockExtent extent) {
  TransformIn<false>(block, dst, stride, extent);
}

MIVORA_AVX2 void IdctAddIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride,
                           BlockExtent extent) {
  TransformIn<true>(block, dst, stride, extent);
}

}  // namespace mivora::decoder::avx2

#endif
