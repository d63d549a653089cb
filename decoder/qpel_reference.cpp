// The portable quarter-sample interpolation of one 8x8 or 16x16 luminance block. Half-sample
// values come from an eight-tap filter over the block's own (size + 1) x (size + 1) samples,
// mirrored at its edges; quarter-sample values are averages of the two nearest whole or half
// values. Horizontal first, on size + 1 rows, then vertical on that result.
#include <algorithm>
#include <cstdint>

#include "decoder/dsp.h"
#include "decoder/qpel_fill.h"

namespace mivora::decoder::reference {
namespace {

// Index into the block's n + 1 samples of tap i: outside them the samples mirror.
inline int Mirror(int i, int n) {
  return i < 0 ? -1 - i : i > n ? 2 * n + 1 - i : i;
}

inline std::uint8_t Clip(int v) {
  return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

// The half-sample value between samples k and k + 1 of the line s (n + 1 samples, step apart).
template <int kN, int kRounding>
inline std::uint8_t HalfSample(const std::uint8_t* s, std::ptrdiff_t step, int k) {
  auto at = [&](int i) { return static_cast<int>(s[Mirror(i, kN) * step]); };
  const int v = 20 * (at(k) + at(k + 1)) - 6 * (at(k - 1) + at(k + 2)) +
                3 * (at(k - 2) + at(k + 3)) - (at(k - 3) + at(k + 4));
  return Clip((v + 16 - kRounding) >> 5);
}

template <int kRounding>
inline std::uint8_t Average(int a, int b) {
  return static_cast<std::uint8_t>((a + b + 1 - kRounding) >> 1);
}

template <int kN, int kRounding, int kFx, int kFy, bool kAverage = false>
void Qpel(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  constexpr int kW = kN + 1;
  // The horizontal stage for every row the vertical one reads.
  std::uint8_t h[kW * kW];
  for (int r = 0; r <= kN; ++r) {
    const std::uint8_t* row = src + r * stride;
    for (int c = 0; c < kN; ++c) {
      std::uint8_t v = row[c];
      if constexpr (kFx == 2) v = HalfSample<kN, kRounding>(row, 1, c);
      if constexpr (kFx == 1) v = Average<kRounding>(row[c], HalfSample<kN, kRounding>(row, 1, c));
      if constexpr (kFx == 3)
        v = Average<kRounding>(row[c + 1], HalfSample<kN, kRounding>(row, 1, c));
      h[r * kW + c] = v;
    }
  }
  for (int r = 0; r < kN; ++r) {
    for (int c = 0; c < kN; ++c) {
      std::uint8_t v = h[r * kW + c];
      if constexpr (kFy == 2) v = HalfSample<kN, kRounding>(h + c, kW, r);
      if constexpr (kFy == 1)
        v = Average<kRounding>(h[r * kW + c], HalfSample<kN, kRounding>(h + c, kW, r));
      if constexpr (kFy == 3)
        v = Average<kRounding>(h[(r + 1) * kW + c], HalfSample<kN, kRounding>(h + c, kW, r));
      std::uint8_t& d = dst[r * stride + c];
      d = kAverage ? static_cast<std::uint8_t>((d + v + 1) >> 1) : v;
    }
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

}  // namespace mivora::decoder::reference
