// Half-sample prediction with two block rows a register, bit for bit the portable version: 16x16
// blocks in the halves of a ymm register, 8x8 blocks in the halves of an xmm one (movq/movhps).
// The roundings are the SSE2 version's (see motion_sse2.cpp), on twice the samples an operation.
//
// A register holds rows r and r + size / 2, not r and r + 1: the pair one row down is then a plain
// load, and each loaded pair serves as the lower rows of one output pair and the upper rows of the
// next, with no lane-crossing shuffle to make [r + 1, r + 2] out of two loaded pairs. Every load
// stays inside the rows and columns the routine is defined on (row size / 2 is read twice).
// Compiled for AVX2 through a target attribute; Dsp() installs it only on processors that report
// AVX2.
#include "decoder/dsp.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define MIVORA_AVX2 __attribute__((target("avx2")))
#define MIVORA_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace mivora::decoder::avx2 {
namespace {

// Rows p and q of a block, p in the low half.
template <int kSize>
MIVORA_AVX2_INLINE auto Load2(const std::uint8_t* p, const std::uint8_t* q) {
  if constexpr (kSize == 16) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), 1);
  } else {
    const __m128i lo = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(lo), reinterpret_cast<const double*>(q)));
  }
}

MIVORA_AVX2_INLINE void Store2(std::uint8_t* p, std::uint8_t* q, __m256i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(v));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm256_extracti128_si256(v, 1));
}

MIVORA_AVX2_INLINE void Store2(std::uint8_t* p, std::uint8_t* q, __m128i v) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
  // movhps through the builtin-backed intrinsic: _mm_storeh_pd is a plain double store, which
  // would claim an alignment the rows do not have.
  _mm_storeh_pi(reinterpret_cast<__m64*>(q), _mm_castsi128_ps(v));
}

template <int kSize>
MIVORA_AVX2_INLINE auto Splat(char c) {
  if constexpr (kSize == 16)
    return _mm256_set1_epi8(c);
  else
    return _mm_set1_epi8(c);
}

// The byte operations the filters need, for either register width.
MIVORA_AVX2_INLINE __m256i Avg(__m256i a, __m256i b) {
  return _mm256_avg_epu8(a, b);
}
MIVORA_AVX2_INLINE __m128i Avg(__m128i a, __m128i b) {
  return _mm_avg_epu8(a, b);
}
MIVORA_AVX2_INLINE __m256i Sub(__m256i a, __m256i b) {
  return _mm256_sub_epi8(a, b);
}
MIVORA_AVX2_INLINE __m128i Sub(__m128i a, __m128i b) {
  return _mm_sub_epi8(a, b);
}
MIVORA_AVX2_INLINE __m256i And(__m256i a, __m256i b) {
  return _mm256_and_si256(a, b);
}
MIVORA_AVX2_INLINE __m128i And(__m128i a, __m128i b) {
  return _mm_and_si128(a, b);
}
MIVORA_AVX2_INLINE __m256i Or(__m256i a, __m256i b) {
  return _mm256_or_si256(a, b);
}
MIVORA_AVX2_INLINE __m128i Or(__m128i a, __m128i b) {
  return _mm_or_si128(a, b);
}
// ~a & b.
MIVORA_AVX2_INLINE __m256i AndNot(__m256i a, __m256i b) {
  return _mm256_andnot_si256(a, b);
}
MIVORA_AVX2_INLINE __m128i AndNot(__m128i a, __m128i b) {
  return _mm_andnot_si128(a, b);
}
MIVORA_AVX2_INLINE __m256i Xor(__m256i a, __m256i b) {
  return _mm256_xor_si256(a, b);
}
MIVORA_AVX2_INLINE __m128i Xor(__m128i a, __m128i b) {
  return _mm_xor_si128(a, b);
}

// (a + b + 1 - kRounding) >> 1.
template <int kSize, int kRounding, typename V>
MIVORA_AVX2_INLINE V Average(V a, V b) {
  if constexpr (kRounding == 0) return Avg(a, b);
  return Sub(Avg(a, b), And(Xor(a, b), Splat<kSize>(1)));
}

// Predicted rows r and r + size / 2 into the destination: as they are, or averaged with the rows
// there (B pictures).
template <int kSize, bool kAverage, typename V>
MIVORA_AVX2_INLINE void Put2(std::uint8_t* p, std::ptrdiff_t down, V v) {
  if constexpr (kAverage) v = Avg(v, Load2<kSize>(p, p + down));
  Store2(p, p + down, v);
}

template <int kSize, int kRounding, bool kAverage = false>
MIVORA_AVX2 void Horizontal(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  const std::ptrdiff_t down = kSize / 2 * stride;
#pragma GCC unroll 8
  for (int i = 0; i < kSize / 2; ++i) {
    const std::uint8_t* p = src + i * stride;
    const auto a = Load2<kSize>(p, p + down), b = Load2<kSize>(p + 1, p + 1 + down);
    Put2<kSize, kAverage>(dst + i * stride, down, Average<kSize, kRounding>(a, b));
  }
}

// Rounding 1 works on inverted rows, ~((~a + ~b + 1) >> 1) = (a + b) >> 1: each row is inverted
// once for the two outputs it serves, one operation a row fewer than Average's correction.
template <int kSize, int kRounding, bool kAverage = false>
MIVORA_AVX2 void Vertical(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  const std::ptrdiff_t down = kSize / 2 * stride;
  const auto flip = Splat<kSize>(kRounding ? -1 : 0);
  auto a = Xor(Load2<kSize>(src, src + down), flip);
#pragma GCC unroll 8
  for (int i = 0; i < kSize / 2; ++i) {
    const std::uint8_t* p = src + (i + 1) * stride;
    const auto b = Xor(Load2<kSize>(p, p + down), flip);
    Put2<kSize, kAverage>(dst + i * stride, down, Xor(Avg(a, b), flip));
    a = b;
  }
}

// The horizontal half of the diagonal filter on rows r and r + size / 2 (a lambda would not be
// compiled for AVX2): the average of each sample and its right neighbour, rounded up for rounding
// 0 and down for rounding 1, and their exclusive or, whose low bit says the sum was odd.
template <int kSize, int kRounding, typename V>
MIVORA_AVX2_INLINE void Pair(const std::uint8_t* p, std::ptrdiff_t down, V ones, V& avg, V& odd) {
  const V a = Load2<kSize>(p, p + down), b = Load2<kSize>(p + 1, p + 1 + down);
  odd = Xor(a, b);
  avg = Avg(a, b);
  if constexpr (kRounding == 1) avg = Sub(avg, And(odd, ones));
}

// The average of two pair averages A and B, corrected to the four samples' rounding. Rounding 0,
// A and B rounded up: one step too high when the averaging of A and B rounded up (A ^ B odd) and
// a pair was odd. Rounding 1, A and B rounded down: (S + 1) >> 2 of the sum S is
// (A + B + 1) >> 1 unless both pairs were even, when it is (A + B) >> 1.
template <int kSize, int kRounding, bool kAverage = false>
MIVORA_AVX2 void Both(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  const std::ptrdiff_t down = kSize / 2 * stride;
  const auto ones = Splat<kSize>(1);
  auto avgA = ones, oddA = ones;
  Pair<kSize, kRounding>(src, down, ones, avgA, oddA);
#pragma GCC unroll 8
  for (int i = 0; i < kSize / 2; ++i) {
    auto avgB = ones, oddB = ones;
    Pair<kSize, kRounding>(src + (i + 1) * stride, down, ones, avgB, oddB);
    const auto odd = Or(oddA, oddB), up = Xor(avgA, avgB);
    const auto fix = And(kRounding ? AndNot(odd, up) : And(odd, up), ones);
    Put2<kSize, kAverage>(dst + i * stride, down, Sub(Avg(avgA, avgB), fix));
    avgA = avgB;
    oddA = oddB;
  }
}

// The rounding-0 horizontal and vertical filters are one average a row, as fast in SSE2 as their
// loads and stores go; putting a second row in the register costs an insert a load, which made
// them no faster (8x8) or slower (16x16), so those entries stay the SSE2 ones.
template <int kSize, bool kAverage>
void FillSize(PredictFn t[16]) {
  constexpr int k = kSize == 16 ? 8 : 0;
  t[k + 3] = Both<kSize, 0, kAverage>;
  t[k + 5] = Horizontal<kSize, 1, kAverage>;
  t[k + 6] = Vertical<kSize, 1, kAverage>;
  t[k + 7] = Both<kSize, 1, kAverage>;
}

}  // namespace

void FillPredictTable(PredictFn t[16]) {
  FillSize<8, false>(t);
  FillSize<16, false>(t);
}

void FillPredictAverageTable(PredictFn t[16]) {
  FillSize<8, true>(t);
  FillSize<16, true>(t);
}

}  // namespace mivora::decoder::avx2

#endif
