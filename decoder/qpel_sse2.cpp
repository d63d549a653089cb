// Quarter-sample interpolation with SSE2, bit for bit the portable version: the eight-tap filter in
// 16-bit lanes (its sums stay within -3570..11746), the edge mirroring by building each source line
// with its mirrored ends first, and the quarter averages with _mm_avg_epu8 (rounding 0) or its
// rounded-down form.
#include "decoder/dsp.h"
#include "decoder/qpel_fill.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace mivora::decoder::sse2 {
namespace {

template <int kN>
inline __m128i Load(const std::uint8_t* p) {
  if constexpr (kN == 16)
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  else
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

template <int kN>
inline void Store(std::uint8_t* p, __m128i v) {
  if constexpr (kN == 16)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
  else
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
}

// A result row into the destination: as it is, or averaged with the row there (B pictures).
template <int kN, bool kAverage>
inline void Put(std::uint8_t* p, __m128i v) {
  if constexpr (kAverage) v = _mm_avg_epu8(v, Load<kN>(p));
  Store<kN>(p, v);
}

template <int kRounding>
inline __m128i Average(__m128i a, __m128i b) {
  const __m128i up = _mm_avg_epu8(a, b);
  if constexpr (kRounding == 0) return up;
  return _mm_sub_epi8(up, _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

// The filter over eight lanes of 16 bits, taps t[0..7] (t[3] and t[4] the two nearest).
template <int kRounding>
inline __m128i Taps(const __m128i t[8]) {
  const __m128i c20 = _mm_set1_epi16(20), c6 = _mm_set1_epi16(6), c3 = _mm_set1_epi16(3);
  __m128i v = _mm_mullo_epi16(_mm_add_epi16(t[3], t[4]), c20);
  v = _mm_sub_epi16(v, _mm_mullo_epi16(_mm_add_epi16(t[2], t[5]), c6));
  v = _mm_add_epi16(v, _mm_mullo_epi16(_mm_add_epi16(t[1], t[6]), c3));
  v = _mm_sub_epi16(v, _mm_add_epi16(t[0], t[7]));
  v = _mm_add_epi16(v, _mm_set1_epi16(16 - kRounding));
  return _mm_srai_epi16(v, 5);
}

// Eight byte vectors (one per tap) to kN filtered bytes.
template <int kN, int kRounding>
inline __m128i FilterBytes(const __m128i b[8]) {
  const __m128i zero = _mm_setzero_si128();
  __m128i lo[8], hi[8];
  for (int k = 0; k < 8; ++k) {
    lo[k] = _mm_unpacklo_epi8(b[k], zero);
    if constexpr (kN == 16) hi[k] = _mm_unpackhi_epi8(b[k], zero);
  }
  const __m128i l = Taps<kRounding>(lo);
  const __m128i h = kN == 16 ? Taps<kRounding>(hi) : _mm_setzero_si128();
  return _mm_packus_epi16(l, h);
}

inline __m128i Widen(const std::uint8_t* p) {
  return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                           _mm_setzero_si128());
}

// Taps 0..2 of outputs 0..7, whose leftmost lanes fall before the line: w holds samples 0..7;
// shifted up, the lanes left free take the mirrored samples 0, 1, 2.
inline void LeftTaps(__m128i w, const std::uint8_t* row, __m128i t[8]) {
  t[2] = _mm_insert_epi16(_mm_slli_si128(w, 2), row[0], 0);
  t[1] = _mm_insert_epi16(_mm_insert_epi16(_mm_slli_si128(w, 4), row[1], 0), row[0], 1);
  t[0] = _mm_insert_epi16(
      _mm_insert_epi16(_mm_insert_epi16(_mm_slli_si128(w, 6), row[2], 0), row[1], 1), row[0], 2);
}

// Taps 5..7 of the eight outputs ending at the line's last half position: e holds the last eight
// samples (n - 7 .. n); shifted down, the lanes past the line take the mirrored n, n - 1, n - 2.
inline void RightTaps(__m128i e, const std::uint8_t* row, int n, __m128i t[8]) {
  t[5] = _mm_insert_epi16(_mm_srli_si128(e, 2), row[n], 7);
  t[6] = _mm_insert_epi16(_mm_insert_epi16(_mm_srli_si128(e, 4), row[n], 6), row[n - 1], 7);
  t[7] = _mm_insert_epi16(
      _mm_insert_epi16(_mm_insert_epi16(_mm_srli_si128(e, 6), row[n], 5), row[n - 1], 6),
      row[n - 2], 7);
}

// The half-sample values of one line of kN + 1 samples (horizontal stage). Every load stays inside
// the line's kN + 1 samples.
template <int kN, int kRounding>
inline __m128i HalfRow(const std::uint8_t* row) {
  __m128i t[8];
  if constexpr (kN == 8) {
    const __m128i w = Widen(row);
    t[3] = w;
    t[4] = Widen(row + 1);
    LeftTaps(w, row, t);
    RightTaps(t[4], row, 8, t);
    return _mm_packus_epi16(Taps<kRounding>(t), _mm_setzero_si128());
  } else {
    const __m128i w = Widen(row);
    t[3] = w;
    t[4] = Widen(row + 1);
    t[5] = Widen(row + 2);
    t[6] = Widen(row + 3);
    t[7] = Widen(row + 4);
    LeftTaps(w, row, t);
    const __m128i lo = Taps<kRounding>(t);
    t[0] = Widen(row + 5);
    t[1] = Widen(row + 6);
    t[2] = Widen(row + 7);
    t[3] = Widen(row + 8);
    t[4] = Widen(row + 9);
    RightTaps(t[4], row, 16, t);
    return _mm_packus_epi16(lo, Taps<kRounding>(t));
  }
}

// Row i (-3 .. kN + 3) of a block of kN + 1 rows, mirrored at its ends.
inline int MirrorRow(int i, int n) {
  return i < 0 ? -1 - i : i > n ? 2 * n + 1 - i : i;
}

// Horizontal stage into h (kN + 1 rows of 16 bytes, or kN rows when no vertical stage follows).
template <int kN, int kRounding, int kFx>
inline void Horizontal(const std::uint8_t* src, std::ptrdiff_t stride, std::uint8_t* h, int rows) {
  for (int r = 0; r < rows; ++r) {
    const std::uint8_t* row = src + r * stride;
    __m128i v;
    if constexpr (kFx == 0) {
      v = Load<kN>(row);
    } else {
      const __m128i half = HalfRow<kN, kRounding>(row);
      if constexpr (kFx == 2) v = half;
      if constexpr (kFx == 1) v = Average<kRounding>(Load<kN>(row), half);
      if constexpr (kFx == 3) v = Average<kRounding>(Load<kN>(row + 1), half);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h + 16 * r), v);
  }
}

template <int kN, int kRounding, int kFx, int kFy, bool kAverage = false>
void Qpel(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  if constexpr (kFy == 0) {
    if constexpr (kFx == 0) {
      for (int r = 0; r < kN; ++r) Put<kN, kAverage>(dst + r * stride, Load<kN>(src + r * stride));
    } else {
      alignas(16) std::uint8_t h[16 * 17];
      Horizontal<kN, kRounding, kFx>(src, stride, h, kN);
      for (int r = 0; r < kN; ++r) Put<kN, kAverage>(dst + r * stride, Load<kN>(h + 16 * r));
    }
    return;
  }
  alignas(16) std::uint8_t h[16 * 17];
  Horizontal<kN, kRounding, kFx>(src, stride, h, kN + 1);
  for (int r = 0; r < kN; ++r) {
    __m128i b[8];
    for (int k = 0; k < 8; ++k) b[k] = Load<kN>(h + 16 * MirrorRow(r - 3 + k, kN));
    const __m128i half = FilterBytes<kN, kRounding>(b);
    __m128i v = half;
    if constexpr (kFy == 1) v = Average<kRounding>(Load<kN>(h + 16 * r), half);
    if constexpr (kFy == 3) v = Average<kRounding>(Load<kN>(h + 16 * (r + 1)), half);
    Put<kN, kAverage>(dst + r * stride, v);
  }
}

template <int kN, int kRounding, bool kAverage = false>
void Fill(PredictFn* t) {
  FillQuarterSamples(t,
                     []<int kFx, int kFy>() { return &Qpel<kN, kRounding, kFx, kFy, kAverage>; });
}

}  // namespace

void FillQpelTable(PredictFn t[64]) {
  Fill<8, 0>(t);
  Fill<8, 1>(t + 16);
  Fill<16, 0>(t + 32);
  Fill<16, 1>(t + 48);
}

void FillQpelAverageTable(PredictFn t[64]) {
  Fill<8, 0, true>(t);
  Fill<8, 1, true>(t + 16);
  Fill<16, 0, true>(t + 32);
  Fill<16, 1, true>(t + 48);
}

}  // namespace mivora::decoder::sse2
#endif
