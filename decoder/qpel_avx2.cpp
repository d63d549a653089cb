// Quarter-sample interpolation of 16x16 blocks with AVX2, bit for bit the portable version. The
// filter is four products of sample pairs with weight pairs (maddubs) over sixteen lanes at once;
// a line's pairs, mirrored ends included, come from byte shuffles of two loads that stay inside
// its 17 samples, a column's from interleaved rows. Compiled for AVX2 through a target attribute;
// Dsp() installs it only on processors that report AVX2. 8x8 blocks keep the SSE2 versions.
#include "decoder/dsp.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define MIVORA_AVX2 __attribute__((target("avx2")))
#define MIVORA_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace mivora::decoder::avx2 {
namespace {

constexpr int kN = 16;

constexpr int Mirror(int i) {
  return i < 0 ? -1 - i : i > kN ? 2 * kN + 1 - i : i;
}

// Taps (0, 1), (2, 3), (4, 5), (6, 7) have the weights (-1, 3), (-6, 20), (20, -6), (3, -1):
// output c's pair p holds samples Mirror(c + 2p - 3) and the one after. The shuffles work within
// each half of the register (the low half makes outputs 0..7, the high half 8..15), from the line's
// first sixteen samples or, for sample 16, the last lane of the load one sample further on. -128
// gives zero.
struct ShuffleMasks {
  alignas(32) std::int8_t fromFirst[4][32];
  alignas(32) std::int8_t fromSecond[4][32];
};

constexpr ShuffleMasks MakeMasks() {
  ShuffleMasks m{};
  for (int p = 0; p < 4; ++p)
    for (int c = 0; c < 16; ++c)
      for (int j = 0; j < 2; ++j) {
        const int s = Mirror(c + 2 * p - 3 + j);
        m.fromFirst[p][2 * c + j] = static_cast<std::int8_t>(s < 16 ? s : -128);
        m.fromSecond[p][2 * c + j] = static_cast<std::int8_t>(s < 16 ? -128 : 15);
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
  const __m256i a = _mm256_broadcastsi128_si256(first);
  const __m256i b = _mm256_broadcastsi128_si256(second);
  __m256i pairs[4];
  for (int p = 0; p < 4; ++p) {
    const __m256i fa = _mm256_load_si256(reinterpret_cast<const __m256i*>(kMasks.fromFirst[p]));
    const __m256i fb = _mm256_load_si256(reinterpret_cast<const __m256i*>(kMasks.fromSecond[p]));
    pairs[p] = _mm256_or_si256(_mm256_shuffle_epi8(a, fa), _mm256_shuffle_epi8(b, fb));
  }
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

template <int kRounding, int kFx, int kFy>
MIVORA_AVX2 void Qpel16(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  if constexpr (kFy == 0) {
    for (int r = 0; r < kN; ++r)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + r * stride),
                       HorizontalRow<kRounding, kFx>(src + r * stride));
  } else {
    __m128i h[kN + 1];
    for (int r = 0; r <= kN; ++r) h[r] = HorizontalRow<kRounding, kFx>(src + r * stride);
    for (int r = 0; r < kN; ++r) {
      __m256i pairs[4];
      for (int p = 0; p < 4; ++p)
        pairs[p] = Interleave(h[Mirror(r + 2 * p - 3)], h[Mirror(r + 2 * p - 2)]);
      const __m128i half = Filter<kRounding>(pairs);
      __m128i v = half;
      if constexpr (kFy == 1) v = Average<kRounding>(h[r], half);
      if constexpr (kFy == 3) v = Average<kRounding>(h[r + 1], half);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + r * stride), v);
    }
  }
}

template <int kRounding, int kFy>
void FillRow(PredictFn* t) {
  t[4 * kFy + 0] = Qpel16<kRounding, 0, kFy>;
  t[4 * kFy + 1] = Qpel16<kRounding, 1, kFy>;
  t[4 * kFy + 2] = Qpel16<kRounding, 2, kFy>;
  t[4 * kFy + 3] = Qpel16<kRounding, 3, kFy>;
}

template <int kRounding>
void Fill(PredictFn* t) {
  FillRow<kRounding, 0>(t);
  FillRow<kRounding, 1>(t);
  FillRow<kRounding, 2>(t);
  FillRow<kRounding, 3>(t);
}

}  // namespace

void FillQpelTable16(PredictFn t[64]) {
  Fill<0>(t + 32);
  Fill<1>(t + 48);
}

}  // namespace mivora::decoder::avx2
#endif
