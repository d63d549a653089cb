// Quarter-sample interpolation with AVX2, bit for bit the portable version. The filter is four
// products of sample pairs with weight pairs (maddubs) over sixteen lanes at once; a line's pairs,
// mirrored ends included, come from byte shuffles of loads that stay inside its size + 1 samples,
// a column's from interleaved rows. 16x16 blocks take one line a register, 8x8 blocks two (one in
// each half). Compiled for AVX2 through a target attribute; Dsp() installs it only on processors
// that report AVX2.
#include "decoder/dsp.h"
#include "decoder/qpel_fill.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define MIVORA_AVX2 __attribute__((target("avx2")))
#define MIVORA_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace mivora::decoder::avx2 {
namespace {

constexpr int kN = 16;

// Sample i of a block of n lines or columns, with the samples beyond either edge mirrored back in
// (the filter's edge rule): -1 is 0, n + 1 is n.
template <int n = kN>
constexpr int Mirror(int i) {
  return i < 0 ? -1 - i : i > n ? 2 * n + 1 - i : i;
}

// Taps (0, 1), (2, 3), (4, 5), (6, 7) have the weights (-1, 3), (-6, 20), (20, -6), (3, -1):
// output c's pair p holds samples Mirror(c + 2p - 3) and the one after. The shuffles work within
// each half of the register: the low half makes outputs 0..7 from the line's first sixteen samples
// (it needs samples 0..11), the high half outputs 8..15 from samples 1..16 (it needs 5..16).
struct ShuffleMasks {
  alignas(32) std::int8_t pairs[4][32];
};

constexpr ShuffleMasks MakeMasks() {
  ShuffleMasks m{};
  for (int p = 0; p < 4; ++p)
    for (int c = 0; c < 16; ++c)
      for (int j = 0; j < 2; ++j) {
        const int s = Mirror(c + 2 * p - 3 + j);
        m.pairs[p][2 * c + j] = static_cast<std::int8_t>(c < 8 ? s : s - 1);
      }
  return m;
}

constexpr ShuffleMasks kMasks = MakeMasks();

MIVORA_AVX2_INLINE __m256i Weights(int p) {
  static constexpr int kPairs[4][2] = {{-1, 3}, {-6, 20}, {20, -6}, {3, -1}};
  const int pair = (kPairs[p][0] & 0xFF) | ((kPairs[p][1] & 0xFF) << 8);
  return _mm256_set1_epi16(static_cast<short>(pair));
}

// The pair products summed, rounded and scaled: sums stay within -3570..11746, so the 16-bit
// products never saturate.
template <int kRounding>
MIVORA_AVX2_INLINE __m128i Filter(const __m256i pairs[4]) {
  __m256i v = _mm256_add_epi16(_mm256_maddubs_epi16(pairs[0], Weights(0)),
                               _mm256_maddubs_epi16(pairs[1], Weights(1)));
  v = _mm256_add_epi16(v, _mm256_maddubs_epi16(pairs[2], Weights(2)));
  v = _mm256_add_epi16(v, _mm256_maddubs_epi16(pairs[3], Weights(3)));
  v = _mm256_srai_epi16(_mm256_add_epi16(v, _mm256_set1_epi16(16 - kRounding)), 5);
  return _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

template <int kRounding>
MIVORA_AVX2_INLINE __m128i Average(__m128i a, __m128i b) {
  const __m128i up = _mm_avg_epu8(a, b);
  if constexpr (kRounding == 0) return up;
  return _mm_sub_epi8(up, _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

MIVORA_AVX2_INLINE __m128i Load(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

template <int kRounding>
MIVORA_AVX2_INLINE __m128i HalfRow(__m128i first, __m128i second) {
  const __m256i lines = _mm256_set_m128i(second, first);
  __m256i pairs[4];
  for (int p = 0; p < 4; ++p)
    pairs[p] = _mm256_shuffle_epi8(
        lines, _mm256_load_si256(reinterpret_cast<const __m256i*>(kMasks.pairs[p])));
  return Filter<kRounding>(pairs);
}

template <int kRounding, int kFx>
MIVORA_AVX2_INLINE __m128i HorizontalRow(const std::uint8_t* row) {
  const __m128i first = Load(row);
  if constexpr (kFx == 0) {
    return first;
  } else {
    const __m128i second = Load(row + 1);
    const __m128i half = HalfRow<kRounding>(first, second);
    if constexpr (kFx == 1) return Average<kRounding>(first, half);
    if constexpr (kFx == 3) return Average<kRounding>(second, half);
    return half;
  }
}

// Two rows' bytes interleaved, columns 0..7 in the low half and 8..15 in the high half.
MIVORA_AVX2_INLINE __m256i Interleave(__m128i upper, __m128i lower) {
  return _mm256_set_m128i(_mm_unpackhi_epi8(upper, lower), _mm_unpacklo_epi8(upper, lower));
}

// A result line into the destination: as it is, or averaged with the line there (B pictures).
template <bool kAverage>
MIVORA_AVX2_INLINE void Put16(std::uint8_t* p, __m128i v) {
  if constexpr (kAverage) v = _mm_avg_epu8(v, Load(p));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

template <int kRounding, int kFx, int kFy, bool kAverage = false>
MIVORA_AVX2 void Qpel16(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  if constexpr (kFy == 0) {
    for (int r = 0; r < kN; ++r)
      Put16<kAverage>(dst + r * stride, HorizontalRow<kRounding, kFx>(src + r * stride));
  } else {
    __m128i h[kN + 1];
    for (int r = 0; r <= kN; ++r) h[r] = HorizontalRow<kRounding, kFx>(src + r * stride);
    // Lines m and m + 1 interleaved, made once: each serves four output lines. Output lines 3..12
    // take all four of their pairs from them; nearer the edges mirrored pairs come in.
    __m256i next[kN];
    for (int m = 0; m < kN; ++m) next[m] = Interleave(h[m], h[m + 1]);
    for (int r = 0; r < kN; ++r) {
      __m256i pairs[4];
      if (r >= 3 && r <= kN - 4) {
        for (int p = 0; p < 4; ++p) pairs[p] = next[r + 2 * p - 3];
      } else {
        for (int p = 0; p < 4; ++p)
          pairs[p] = Interleave(h[Mirror(r + 2 * p - 3)], h[Mirror(r + 2 * p - 2)]);
      }
      const __m128i half = Filter<kRounding>(pairs);
      __m128i v = half;
      if constexpr (kFy == 1) v = Average<kRounding>(h[r], half);
      if constexpr (kFy == 3) v = Average<kRounding>(h[r + 1], half);
      Put16<kAverage>(dst + r * stride, v);
    }
  }
}

// 8x8 blocks: two lines a register, line a in the low half and line b in the high one.
constexpr int kN8 = 8;

// A line's shuffle source holds samples 0..7 in bytes 0..7 and samples 1..8 in bytes 8..15, so
// sample 8 is byte 15. Pair p of output c: samples Mirror<kN8>(c + 2p - 3) and the one after.
struct ShuffleMasks8 {
  alignas(32) std::int8_t pairs[4][32];
};

constexpr ShuffleMasks8 MakeMasks8() {
  ShuffleMasks8 m{};
  for (int p = 0; p < 4; ++p)
    for (int half = 0; half < 2; ++half)
      for (int c = 0; c < 8; ++c)
        for (int j = 0; j < 2; ++j) {
          const int sample = Mirror<kN8>(c + 2 * p - 3 + j);
          m.pairs[p][16 * half + 2 * c + j] = static_cast<std::int8_t>(sample < 8 ? sample : 15);
        }
  return m;
}

constexpr ShuffleMasks8 kMasks8 = MakeMasks8();

// The filter over the pairs of two lines: each half's eight results in its bytes 0..7 (and again
// in 8..15).
template <int kRounding>
MIVORA_AVX2_INLINE __m256i Filter8(const __m256i pairs[4]) {
  __m256i v = _mm256_add_epi16(_mm256_maddubs_epi16(pairs[0], Weights(0)),
                               _mm256_maddubs_epi16(pairs[1], Weights(1)));
  v = _mm256_add_epi16(v, _mm256_maddubs_epi16(pairs[2], Weights(2)));
  v = _mm256_add_epi16(v, _mm256_maddubs_epi16(pairs[3], Weights(3)));
  v = _mm256_srai_epi16(_mm256_add_epi16(v, _mm256_set1_epi16(16 - kRounding)), 5);
  return _mm256_packus_epi16(v, v);
}

template <int kRounding>
MIVORA_AVX2_INLINE __m256i Average256(__m256i a, __m256i b) {
  const __m256i up = _mm256_avg_epu8(a, b);
  if constexpr (kRounding == 0) return up;
  return _mm256_sub_epi8(up, _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_set1_epi8(1)));
}

MIVORA_AVX2_INLINE __m128i Load8(const std::uint8_t* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

// Samples 0..7 and 1..8 of one line: 9 bytes read, none beyond.
MIVORA_AVX2_INLINE __m128i LineSource(const std::uint8_t* row) {
  return _mm_unpacklo_epi64(Load8(row), Load8(row + 1));
}

// The horizontal stage of lines a and b: each half's bytes 0..7 hold its line's eight values.
template <int kRounding, int kFx>
MIVORA_AVX2_INLINE __m256i HorizontalPair8(const std::uint8_t* a, const std::uint8_t* b) {
  const __m256i lines = _mm256_set_m128i(LineSource(b), LineSource(a));
  if constexpr (kFx == 0) {
    return lines;
  } else {
    __m256i pairs[4];
    for (int p = 0; p < 4; ++p)
      pairs[p] = _mm256_shuffle_epi8(
          lines, _mm256_load_si256(reinterpret_cast<const __m256i*>(kMasks8.pairs[p])));
    const __m256i half = Filter8<kRounding>(pairs);
    if constexpr (kFx == 1) return Average256<kRounding>(lines, half);
    if constexpr (kFx == 3) return Average256<kRounding>(_mm256_srli_si256(lines, 8), half);
    return half;
  }
}

// Two result lines into the destination, as they are or averaged with the lines there.
template <bool kAverage>
MIVORA_AVX2_INLINE void StorePair8(std::uint8_t* a, std::uint8_t* b, __m256i v) {
  __m128i va = _mm256_castsi256_si128(v), vb = _mm256_extracti128_si256(v, 1);
  if constexpr (kAverage) {
    va = _mm_avg_epu8(va, Load8(a));
    vb = _mm_avg_epu8(vb, Load8(b));
  }
  _mm_storel_epi64(reinterpret_cast<__m128i*>(a), va);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(b), vb);
}

template <int kRounding, int kFx, int kFy, bool kAverage = false>
MIVORA_AVX2 void Qpel8(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  if constexpr (kFy == 0) {
    for (int r = 0; r < kN8; r += 2) {
      StorePair8<kAverage>(
          dst + r * stride, dst + (r + 1) * stride,
          HorizontalPair8<kRounding, kFx>(src + r * stride, src + (r + 1) * stride));
    }
  } else {
    // The horizontal stage of all nine lines (the last one paired with itself).
    __m128i h[kN8 + 1];
    for (int r = 0; r <= kN8; r += 2) {
      const int b = r + 1 <= kN8 ? r + 1 : r;
      const __m256i v = HorizontalPair8<kRounding, kFx>(src + r * stride, src + b * stride);
      h[r] = _mm256_castsi256_si128(v);
      if (r + 1 <= kN8) h[r + 1] = _mm256_extracti128_si256(v, 1);
    }
    for (int r = 0; r < kN8; r += 2) {
      __m256i pairs[4];
      for (int p = 0; p < 4; ++p) {
        pairs[p] = _mm256_set_m128i(
            _mm_unpacklo_epi8(h[Mirror<kN8>(r + 2 * p - 2)], h[Mirror<kN8>(r + 2 * p - 1)]),
            _mm_unpacklo_epi8(h[Mirror<kN8>(r + 2 * p - 3)], h[Mirror<kN8>(r + 2 * p - 2)]));
      }
      __m256i v = Filter8<kRounding>(pairs);
      if constexpr (kFy == 1) v = Average256<kRounding>(_mm256_set_m128i(h[r + 1], h[r]), v);
      if constexpr (kFy == 3) v = Average256<kRounding>(_mm256_set_m128i(h[r + 2], h[r + 1]), v);
      StorePair8<kAverage>(dst + r * stride, dst + (r + 1) * stride, v);
    }
  }
}

// Sixteen entries of one size and rounding type.
template <int kSize, int kRounding, bool kAverage>
void Fill(PredictFn* t) {
  if constexpr (kSize == 8) {
    FillQuarterSamples(t, []<int kFx, int kFy>() { return &Qpel8<kRounding, kFx, kFy, kAverage>; });
  } else {
    FillQuarterSamples(t,
                       []<int kFx, int kFy>() { return &Qpel16<kRounding, kFx, kFy, kAverage>; });
  }
}

}  // namespace

void FillQpelTable16(PredictFn t[64]) {
  Fill<16, 0, false>(t + 32);
  Fill<16, 1, false>(t + 48);
}

void FillQpelTable8(PredictFn t[64]) {
  Fill<8, 0, false>(t);
  Fill<8, 1, false>(t + 16);
}

void FillQpelAverageTable(PredictFn t[64]) {
  Fill<8, 0, true>(t);
  Fill<8, 1, true>(t + 16);
  Fill<16, 0, true>(t + 32);
  Fill<16, 1, true>(t + 48);
}

}  // namespace mivora::decoder::avx2
#endif
