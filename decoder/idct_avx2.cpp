// The inverse transform with AVX2, bit for bit the portable one: the butterfly of the SSE2 version
// (see idct_sse2.cpp) with all eight lines of a pass in one register of eight 32-bit lanes. The
// block never goes through 8x8 transposes: the first pass's results are regrouped straight into
// the second pass's input pairs, and its results straight into rows, by in-lane unpacks and one
// exchange of halves. Compiled for AVX2 through a target attribute so the rest of the build stays
// at the baseline; Dsp() installs it only on processors that report AVX2.
#include "decoder/dsp.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#include <cstring>

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

// The eight results of one pass over eight lines, a line in each 32-bit lane, >> kOutShift. The
// inputs are the lines' (value a, value b) pairs of 16-bit values: x04 holds values 0 and 4.
struct Lines {
  __m256i o0, o1, o2, o3, o4, o5, o6, o7;
};

template <int kDc, int kSumRound, int kSumShift, int kOutShift, int kBias>
MIVORA_AVX2_INLINE Lines Butterfly(__m256i x04, __m256i x17, __m256i x35, __m256i x26) {
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
  return {_mm256_srai_epi32(_mm256_add_epi32(t7, q1), kOutShift),
          _mm256_srai_epi32(_mm256_add_epi32(t3, r2), kOutShift),
          _mm256_srai_epi32(_mm256_add_epi32(t0, r4), kOutShift),
          _mm256_srai_epi32(_mm256_add_epi32(t8, q6), kOutShift),
          _mm256_srai_epi32(_mm256_sub_epi32(t8, q6), kOutShift),
          _mm256_srai_epi32(_mm256_sub_epi32(t0, r4), kOutShift),
          _mm256_srai_epi32(_mm256_sub_epi32(t3, r2), kOutShift),
          _mm256_srai_epi32(_mm256_sub_epi32(t7, q1), kOutShift)};
}

// The first pass's lines are the columns, in the lane order 0, 1, 2, 3, 4, 7, 6, 5: the order in
// which Regroup below brings out the second pass's pairs (0, 4), (1, 7), (2, 6) and (3, 5) without
// a further shuffle. Rows a and b of the block as (a, b) pairs of each column in that order.
MIVORA_AVX2_INLINE __m256i RowPairs(const std::int16_t* a, const std::int16_t* b) {
  const __m256i t = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), 1);
  // Columns 0..3 of both rows in the low half, 4..7 in the high half, then interleaved.
  const __m256i order = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15,  //
                                         0, 1, 8, 9, 6, 7, 14, 15, 4, 5, 12, 13, 2, 3, 10, 11);
  return _mm256_shuffle_epi8(_mm256_permute4x64_epi64(t, 0xD8), order);
}

// Results of eight lines (lane L: line L) saturated to 16 bits, in four-value groups: with
// "r0-3(L)" results 0..3 of line L,
//   lo0 = [r0-3(L0) r0-3(L1) | r0-3(L4) r0-3(L5)],  lo1 = [r0-3(L2) r0-3(L3) | r0-3(L6) r0-3(L7)],
// and hi0, hi1 the same for results 4..7.
struct Groups {
  __m256i lo0, lo1, hi0, hi1;
};

MIVORA_AVX2_INLINE void Quads(__m256i s01, __m256i s23, __m256i& g0, __m256i& g1) {
  const __m256i l = _mm256_unpacklo_epi16(s01, s23), h = _mm256_unpackhi_epi16(s01, s23);
  g0 = _mm256_unpacklo_epi16(l, h);
  g1 = _mm256_unpackhi_epi16(l, h);
}

MIVORA_AVX2_INLINE Groups Regroup(const Lines& r) {
  Groups g;
  Quads(_mm256_packs_epi32(r.o0, r.o1), _mm256_packs_epi32(r.o2, r.o3), g.lo0, g.lo1);
  Quads(_mm256_packs_epi32(r.o4, r.o5), _mm256_packs_epi32(r.o6, r.o7), g.hi0, g.hi1);
  return g;
}

// Eight picture bytes at any alignment (rows start anywhere), as one 64-bit access.
MIVORA_AVX2_INLINE long long Load64(const std::uint8_t* p) {
  long long v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
MIVORA_AVX2_INLINE void Store64(std::uint8_t* p, long long v) {
  std::memcpy(p, &v, sizeof v);
}

// Rows [a | a + 4] and [b | b + 4] of 16-bit results into the picture.
template <bool kAdd>
MIVORA_AVX2_INLINE void WritePairs(__m256i ra, __m256i rb, std::uint8_t* dst, std::ptrdiff_t stride,
                                   int a, int b) {
  std::uint8_t* da = dst + a * stride;
  std::uint8_t* db = dst + b * stride;
  std::uint8_t* da4 = dst + (a + 4) * stride;
  std::uint8_t* db4 = dst + (b + 4) * stride;
  if constexpr (kAdd) {
    const __m128i pa =
        _mm_insert_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(da)), Load64(da4), 1);
    const __m128i pb =
        _mm_insert_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(db)), Load64(db4), 1);
    ra = _mm256_adds_epi16(ra, _mm256_cvtepu8_epi16(pa));
    rb = _mm256_adds_epi16(rb, _mm256_cvtepu8_epi16(pb));
  }
  // [row a | row b] in the low half, [row a + 4 | row b + 4] in the high one.
  const __m256i p = _mm256_packus_epi16(ra, rb);
  const __m128i lo = _mm256_castsi256_si128(p), hi = _mm256_extracti128_si256(p, 1);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(da), lo);
  Store64(db, _mm_extract_epi64(lo, 1));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(da4), hi);
  Store64(db4, _mm_extract_epi64(hi, 1));
}

// Both passes and the writing out. x04 .. x26: the first pass's input pairs.
template <bool kAdd>
MIVORA_AVX2_INLINE void Passes(__m256i x04, __m256i x17, __m256i x35, __m256i x26,
                               std::uint8_t* dst, std::ptrdiff_t stride) {
  // Columns: result k of column L is row k of the intermediate block.
  const Groups c = Regroup(Butterfly<2048, 0, 0, 8, 128>(x04, x17, x35, x26));
  // For rows 0..3 in the low halves and 4..7 in the high ones: the values at lane positions 0, 1
  // (column 0, 1) then 4, 5 (columns 4, 7); 2, 3 (2, 3) then 6, 7 (6, 5).
  const __m256i a01 = _mm256_permute2x128_si256(c.lo0, c.hi0, 0x20);
  const __m256i a45 = _mm256_permute2x128_si256(c.lo0, c.hi0, 0x31);
  const __m256i a23 = _mm256_permute2x128_si256(c.lo1, c.hi1, 0x20);
  const __m256i a67 = _mm256_permute2x128_si256(c.lo1, c.hi1, 0x31);
  // Rows: lane k is row k, results are the row's eight samples.
  const Groups r = Regroup(Butterfly<256, 4, 3, 14, 8192>(
      _mm256_unpacklo_epi16(a01, a45), _mm256_unpackhi_epi16(a01, a45),
      _mm256_unpackhi_epi16(a23, a67), _mm256_unpacklo_epi16(a23, a67)));
  // Samples 0..3 of rows k and k + 1 (k even) in r.lo*, 4..7 in r.hi*: whole rows [0 | 4] etc.
  const __m256i r04 = _mm256_unpacklo_epi64(r.lo0, r.hi0);
  const __m256i r15 = _mm256_unpackhi_epi64(r.lo0, r.hi0);
  const __m256i r26 = _mm256_unpacklo_epi64(r.lo1, r.hi1);
  const __m256i r37 = _mm256_unpackhi_epi64(r.lo1, r.hi1);
  WritePairs<kAdd>(r04, r15, dst, stride, 0, 1);
  WritePairs<kAdd>(r26, r37, dst, stride, 2, 3);
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

// A row's values as (value, 0) pairs.
MIVORA_AVX2_INLINE __m256i Widened(const std::int16_t* row) {
  return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)));
}

// Only the top-left 4x4 values (frequent after coarse quantisation): rows 4..7 and columns 4..7
// are zero, so each pair of the first pass is a row value and a zero, whatever the lane order of
// the zero columns. The rows are read before the block is cleared.
template <bool kAdd>
MIVORA_AVX2_INLINE void TopLeft(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  const __m256i x0 = Widened(block), x1 = Widened(block + 8), x2 = Widened(block + 16),
                x3 = Widened(block + 24);
  __m256i* b = reinterpret_cast<__m256i*>(block);
  _mm256_storeu_si256(b, _mm256_setzero_si256());
  _mm256_storeu_si256(b + 1, _mm256_setzero_si256());
  Passes<kAdd>(x0, x1, x3, x2, dst, stride);
}

template <bool kAdd>
MIVORA_AVX2_INLINE void Full(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  const __m256i x04 = RowPairs(block, block + 32), x17 = RowPairs(block + 8, block + 56);
  const __m256i x35 = RowPairs(block + 24, block + 40), x26 = RowPairs(block + 16, block + 48);
  __m256i* b = reinterpret_cast<__m256i*>(block);
  for (int k = 0; k < 4; ++k) _mm256_storeu_si256(b + k, _mm256_setzero_si256());
  Passes<kAdd>(x04, x17, x35, x26, dst, stride);
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

  const __m256i* b = reinterpret_cast<const __m256i*>(block);
  const __m256i right = _mm256_setr_epi16(0, 0, 0, 0, -1, -1, -1, -1, 0, 0, 0, 0, -1, -1, -1, -1);
  const __m256i outside = _mm256_or_si256(
      _mm256_and_si256(_mm256_or_si256(_mm256_loadu_si256(b), _mm256_loadu_si256(b + 1)), right),
      _mm256_or_si256(_mm256_loadu_si256(b + 2), _mm256_loadu_si256(b + 3)));
  if (_mm256_testz_si256(outside, outside)) {
    TopLeft<kAdd>(block, dst, stride);
  } else {
    Full<kAdd>(block, dst, stride);
  }
}

// The extent told: no test of the block, so its loads come only when the transform needs them.
template <bool kAdd>
MIVORA_AVX2 void TransformIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride,
                             BlockExtent extent) {
  if (extent == BlockExtent::kDc) {
    DcOnly<kAdd>(block, block[0], dst, stride);
    return;
  }
  if (extent == BlockExtent::kTopLeft4x4) {
    TopLeft<kAdd>(block, dst, stride);
  } else {
    Full<kAdd>(block, dst, stride);
  }
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
