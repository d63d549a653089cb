// Prediction routines and the border fill with SSE2, bit for bit the portable ones.
//
// _mm_avg_epu8 gives (a + b + 1) >> 1 exactly. The other roundings are derived from it:
//  - (a + b) >> 1 = avg(a, b) - ((a ^ b) & 1);
//  - (p + q + u + w + 2) >> 2 = avg(A, B) - ((e | f) & (A ^ B) & 1), with A = avg(p, q),
//    B = avg(u, w), e = p ^ q, f = u ^ w (a pair sum that was odd was rounded up once; the low
//    bits say when the outer average then rounds up one step too many);
//  - (p + q + u + w + 1) >> 2 = ~((~p + ~q + ~u + ~w + 2) >> 2) on bytes, so the rounding-1 case
//    is the rounding-0 case on inverted samples.
// Source and destination rows may have any alignment.
#include "decoder/dsp.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstring>

namespace mivora::decoder::sse2 {
namespace {

template <int kSize>
inline __m128i Load(const std::uint8_t* p) {
  if constexpr (kSize == 16)
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  else
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

template <int kSize>
inline void Store(std::uint8_t* p, __m128i v) {
  if constexpr (kSize == 16)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
  else
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
}

// A predicted row into the destination: as it is, or averaged with the row there.
template <int kSize, bool kAverage>
inline void Put(std::uint8_t* p, __m128i v) {
  if constexpr (kAverage) v = _mm_avg_epu8(v, Load<kSize>(p));
  Store<kSize>(p, v);
}

template <int kSize>
void CopyAverage(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  for (int i = 0; i < kSize; ++i, src += stride, dst += stride)
    Put<kSize, true>(dst, Load<kSize>(src));
}

inline __m128i Ones() {
  return _mm_set1_epi8(1);
}

inline __m128i AvgDown(__m128i a, __m128i b) {
  return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), Ones()));
}

template <int kSize, int kRounding, bool kAverage = false>
void Horizontal(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  for (int i = 0; i < kSize; ++i, src += stride, dst += stride) {
    const __m128i a = Load<kSize>(src), b = Load<kSize>(src + 1);
    Put<kSize, kAverage>(dst, kRounding ? AvgDown(a, b) : _mm_avg_epu8(a, b));
  }
}

template <int kSize, int kRounding, bool kAverage = false>
void Vertical(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  __m128i a = Load<kSize>(src);
  for (int i = 0; i < kSize; ++i, dst += stride) {
    src += stride;
    const __m128i b = Load<kSize>(src);
    Put<kSize, kAverage>(dst, kRounding ? AvgDown(a, b) : _mm_avg_epu8(a, b));
    a = b;
  }
}

template <int kSize, int kRounding, bool kAverage = false>
void Both(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  // Rounding 1 works on inverted samples and inverts the result.
  const __m128i flip = kRounding ? _mm_set1_epi8(-1) : _mm_setzero_si128();
  auto pair = [&](const std::uint8_t* p, __m128i& avg, __m128i& odd) {
    const __m128i a = _mm_xor_si128(Load<kSize>(p), flip);
    const __m128i b = _mm_xor_si128(Load<kSize>(p + 1), flip);
    avg = _mm_avg_epu8(a, b);
    odd = _mm_xor_si128(a, b);
  };
  __m128i avgA, oddA;
  pair(src, avgA, oddA);
  for (int i = 0; i < kSize; ++i, dst += stride) {
    src += stride;
    __m128i avgB, oddB;
    pair(src, avgB, oddB);
    const __m128i fix =
        _mm_and_si128(_mm_and_si128(_mm_or_si128(oddA, oddB), _mm_xor_si128(avgA, avgB)), Ones());
    Put<kSize, kAverage>(dst, _mm_xor_si128(_mm_sub_epi8(_mm_avg_epu8(avgA, avgB), fix), flip));
    avgA = avgB;
    oddA = oddB;
  }
}

}  // namespace

// The whole-sample copies (entries 0, 4, 8, 12) stay the portable ones: their memcpy rows already
// compile to single moves, and measured faster than explicit vector loads and stores.
void FillPredictTable(PredictFn t[16]) {
  t[1] = Horizontal<8, 0>;
  t[2] = Vertical<8, 0>;
  t[3] = Both<8, 0>;
  t[5] = Horizontal<8, 1>;
  t[6] = Vertical<8, 1>;
  t[7] = Both<8, 1>;
  t[9] = Horizontal<16, 0>;
  t[10] = Vertical<16, 0>;
  t[11] = Both<16, 0>;
  t[13] = Horizontal<16, 1>;
  t[14] = Vertical<16, 1>;
  t[15] = Both<16, 1>;
}

void FillPredictAverageTable(PredictFn t[16]) {
  t[0] = t[4] = CopyAverage<8>;
  t[1] = Horizontal<8, 0, true>;
  t[2] = Vertical<8, 0, true>;
  t[3] = Both<8, 0, true>;
  t[5] = Horizontal<8, 1, true>;
  t[6] = Vertical<8, 1, true>;
  t[7] = Both<8, 1, true>;
  t[8] = t[12] = CopyAverage<16>;
  t[9] = Horizontal<16, 0, true>;
  t[10] = Vertical<16, 0, true>;
  t[11] = Both<16, 0, true>;
  t[13] = Horizontal<16, 1, true>;
  t[14] = Vertical<16, 1, true>;
  t[15] = Both<16, 1, true>;
}

// Side borders with 16-byte stores; the border rows are whole-row copies as in the portable
// version. Borders that are not a multiple of 16 (none in this decoder) take the portable path.
void ExtendEdges(std::uint8_t* plane, int stride, int paddedHeight, int border) {
  const int w = stride - 2 * border;
  const int h = paddedHeight - 2 * border;
  if (w <= 0 || h <= 0) return;
  if (border % 16 != 0) {
    reference::ExtendEdges(plane, stride, paddedHeight, border);
    return;
  }
  std::uint8_t* first = plane + static_cast<std::ptrdiff_t>(border) * stride;
  for (int r = 0; r < h; ++r) {
    std::uint8_t* row = first + static_cast<std::ptrdiff_t>(r) * stride;
    const __m128i left = _mm_set1_epi8(static_cast<char>(row[border]));
    const __m128i right = _mm_set1_epi8(static_cast<char>(row[border + w - 1]));
    for (int c = 0; c < border; c += 16) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(row + c), left);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(row + border + w + c), right);
    }
  }
  const std::uint8_t* last = first + static_cast<std::ptrdiff_t>(h - 1) * stride;
  for (int r = 0; r < border; ++r) {
    std::memcpy(plane + static_cast<std::ptrdiff_t>(r) * stride, first, stride);
    std::memcpy(plane + static_cast<std::ptrdiff_t>(border + h + r) * stride, last, stride);
  }
}

}  // namespace mivora::decoder::sse2

#endif
