// The portable prediction routines: whole-sample copies and the half-sample interpolations for
// both block sizes and rounding types, each also averaged into the destination (B pictures), plus
// the border fill of a reference plane.
#include <cstdint>
#include <cstring>

#include "decoder/dsp.h"

namespace mivora::decoder::reference {
namespace {

// Whole-sample copy. memcpy lets the compiler pick the widest access the addresses allow, which
// is what the word/halfword/byte choice by alignment aims at.
template <int kSize>
void Copy(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  for (int i = 0; i < kSize; ++i) std::memcpy(dst + i * stride, src + i * stride, kSize);
}

// A predicted sample into the destination: as it is, or averaged with the sample there.
template <bool kAverage>
inline void Put(std::uint8_t& dst, int v) {
  dst = static_cast<std::uint8_t>(kAverage ? (dst + v + 1) >> 1 : v);
}

template <int kSize>
void CopyAverage(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  for (int i = 0; i < kSize; ++i, src += stride, dst += stride)
    for (int j = 0; j < kSize; ++j) Put<true>(dst[j], src[j]);
}

template <int kSize, int kRounding, bool kAverage = false>
void Horizontal(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  for (int i = 0; i < kSize; ++i, src += stride, dst += stride)
    for (int j = 0; j < kSize; ++j)
      Put<kAverage>(dst[j], (src[j] + src[j + 1] + 1 - kRounding) >> 1);
}

template <int kSize, int kRounding, bool kAverage = false>
void Vertical(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  for (int i = 0; i < kSize; ++i, src += stride, dst += stride)
    for (int j = 0; j < kSize; ++j)
      Put<kAverage>(dst[j], (src[j] + src[j + stride] + 1 - kRounding) >> 1);
}

template <int kSize, int kRounding, bool kAverage = false>
void Both(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  for (int i = 0; i < kSize; ++i, src += stride, dst += stride)
    for (int j = 0; j < kSize; ++j)
      Put<kAverage>(
          dst[j],
          (src[j] + src[j + 1] + src[j + stride] + src[j + stride + 1] + 2 - kRounding) >> 2);
}

}  // namespace

void FillPredictTable(PredictFn t[16]) {
  t[0] = Copy<8>;
  t[1] = Horizontal<8, 0>;
  t[2] = Vertical<8, 0>;
  t[3] = Both<8, 0>;
  t[4] = Copy<8>;
  t[5] = Horizontal<8, 1>;
  t[6] = Vertical<8, 1>;
  t[7] = Both<8, 1>;
  t[8] = Copy<16>;
  t[9] = Horizontal<16, 0>;
  t[10] = Vertical<16, 0>;
  t[11] = Both<16, 0>;
  t[12] = Copy<16>;
  t[13] = Horizontal<16, 1>;
  t[14] = Vertical<16, 1>;
  t[15] = Both<16, 1>;
}

void FillPredictAverageTable(PredictFn t[16]) {
  t[0] = CopyAverage<8>;
  t[1] = Horizontal<8, 0, true>;
  t[2] = Vertical<8, 0, true>;
  t[3] = Both<8, 0, true>;
  t[4] = CopyAverage<8>;
  t[5] = Horizontal<8, 1, true>;
  t[6] = Vertical<8, 1, true>;
  t[7] = Both<8, 1, true>;
  t[8] = CopyAverage<16>;
  t[9] = Horizontal<16, 0, true>;
  t[10] = Vertical<16, 0, true>;
  t[11] = Both<16, 0, true>;
  t[12] = CopyAverage<16>;
  t[13] = Horizontal<16, 1, true>;
  t[14] = Vertical<16, 1, true>;
  t[15] = Both<16, 1, true>;
}

void ExtendEdges(std::uint8_t* plane, int stride, int paddedHeight, int border) {
  const int w = stride - 2 * border;
  const int h = paddedHeight - 2 * border;
  if (w <= 0 || h <= 0) return;
  std::uint8_t* first = plane + static_cast<std::ptrdiff_t>(border) * stride;
  for (int r = 0; r < h; ++r) {
    std::uint8_t* row = first + static_cast<std::ptrdiff_t>(r) * stride;
    std::memset(row, row[border], border);
    std::memset(row + border + w, row[border + w - 1], border);
  }
  // Whole rows, corners included, are copies of the first and last extended rows.
  const std::uint8_t* last = first + static_cast<std::ptrdiff_t>(h - 1) * stride;
  for (int r = 0; r < border; ++r) {
    std::memcpy(plane + static_cast<std::ptrdiff_t>(r) * stride, first, stride);
    std::memcpy(plane + static_cast<std::ptrdiff_t>(border + h + r) * stride, last, stride);
  }
}

}  // namespace mivora::decoder::reference
