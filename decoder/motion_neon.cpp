// Prediction routines and the border fill with NEON, bit for bit the portable ones.
//
// The halving adds give both two-sample roundings directly: vrhadd is (a + b + 1) >> 1 and vhadd
// is (a + b) >> 1. The four-sample means are summed in 16-bit lanes (at most 4 * 255 + 2) and
// narrowed with a shift: vrshrn adds the 2 of rounding 0, rounding 1 adds its 1 first. The
// horizontal pair sums of a row serve both the block row above and the one below it.
// Source and destination rows may have any alignment.
#include "decoder/dsp.h"

#if defined(__aarch64__)
#include <arm_neon.h>

#include <cstring>

namespace mivora::decoder::neon {
namespace {

template <int kRounding>
inline uint8x8_t Mean2(uint8x8_t a, uint8x8_t b) {
  return kRounding ? vhadd_u8(a, b) : vrhadd_u8(a, b);
}
template <int kRounding>
inline uint8x16_t Mean2(uint8x16_t a, uint8x16_t b) {
  return kRounding ? vhaddq_u8(a, b) : vrhaddq_u8(a, b);
}

template <int kSize>
inline auto Load(const std::uint8_t* p) {
  if constexpr (kSize == 16)
    return vld1q_u8(p);
  else
    return vld1_u8(p);
}

inline void Store(std::uint8_t* p, uint8x16_t v) {
  vst1q_u8(p, v);
}
inline void Store(std::uint8_t* p, uint8x8_t v) {
  vst1_u8(p, v);
}

// A predicted row into the destination: as it is, or averaged with the row there.
template <bool kAverage>
inline void Put(std::uint8_t* p, uint8x16_t v) {
  if constexpr (kAverage) v = vrhaddq_u8(v, vld1q_u8(p));
  vst1q_u8(p, v);
}
template <bool kAverage>
inline void Put(std::uint8_t* p, uint8x8_t v) {
  if constexpr (kAverage) v = vrhadd_u8(v, vld1_u8(p));
  vst1_u8(p, v);
}

template <int kSize>
void CopyAverage(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  for (int i = 0; i < kSize; ++i, src += stride, dst += stride) Put<true>(dst, Load<kSize>(src));
}

template <int kSize, int kRounding, bool kAverage = false>
void Horizontal(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  for (int i = 0; i < kSize; ++i, src += stride, dst += stride)
    Put<kAverage>(dst, Mean2<kRounding>(Load<kSize>(src), Load<kSize>(src + 1)));
}

template <int kSize, int kRounding, bool kAverage = false>
void Vertical(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  auto a = Load<kSize>(src);
  for (int i = 0; i < kSize; ++i, dst += stride) {
    src += stride;
    const auto b = Load<kSize>(src);
    Put<kAverage>(dst, Mean2<kRounding>(a, b));
    a = b;
  }
}

// (sum of four samples + 2 - rounding) >> 2 from two rows' pair sums.
template <int kRounding>
inline uint8x8_t Mean4(uint16x8_t above, uint16x8_t below) {
  const uint16x8_t sum = vaddq_u16(above, below);
  return kRounding ? vshrn_n_u16(vaddq_u16(sum, vdupq_n_u16(1)), 2) : vrshrn_n_u16(sum, 2);
}

template <int kRounding, bool kAverage = false>
void Both8(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  uint16x8_t above = vaddl_u8(vld1_u8(src), vld1_u8(src + 1));
  for (int i = 0; i < 8; ++i, dst += stride) {
    src += stride;
    const uint16x8_t below = vaddl_u8(vld1_u8(src), vld1_u8(src + 1));
    Put<kAverage>(dst, Mean4<kRounding>(above, below));
    above = below;
  }
}

template <int kRounding, bool kAverage = false>
void Both16(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  uint8x16_t a = vld1q_u8(src), b = vld1q_u8(src + 1);
  uint16x8_t aboveLow = vaddl_u8(vget_low_u8(a), vget_low_u8(b));
  uint16x8_t aboveHigh = vaddl_high_u8(a, b);
  for (int i = 0; i < 16; ++i, dst += stride) {
    src += stride;
    a = vld1q_u8(src);
    b = vld1q_u8(src + 1);
    const uint16x8_t belowLow = vaddl_u8(vget_low_u8(a), vget_low_u8(b));
    const uint16x8_t belowHigh = vaddl_high_u8(a, b);
    Put<kAverage>(dst, vcombine_u8(Mean4<kRounding>(aboveLow, belowLow),
                                   Mean4<kRounding>(aboveHigh, belowHigh)));
    aboveLow = belowLow;
    aboveHigh = belowHigh;
  }
}

}  // namespace

// The whole-sample copies (entries 0, 4, 8, 12) stay the portable ones: their memcpy rows already
// compile to single loads and stores.
void FillPredictTable(PredictFn t[16]) {
  t[1] = Horizontal<8, 0>;
  t[2] = Vertical<8, 0>;
  t[3] = Both8<0>;
  t[5] = Horizontal<8, 1>;
  t[6] = Vertical<8, 1>;
  t[7] = Both8<1>;
  t[9] = Horizontal<16, 0>;
  t[10] = Vertical<16, 0>;
  t[11] = Both16<0>;
  t[13] = Horizontal<16, 1>;
  t[14] = Vertical<16, 1>;
  t[15] = Both16<1>;
}

void FillPredictAverageTable(PredictFn t[16]) {
  t[0] = t[4] = CopyAverage<8>;
  t[1] = Horizontal<8, 0, true>;
  t[2] = Vertical<8, 0, true>;
  t[3] = Both8<0, true>;
  t[5] = Horizontal<8, 1, true>;
  t[6] = Vertical<8, 1, true>;
  t[7] = Both8<1, true>;
  t[8] = t[12] = CopyAverage<16>;
  t[9] = Horizontal<16, 0, true>;
  t[10] = Vertical<16, 0, true>;
  t[11] = Both16<0, true>;
  t[13] = Horizontal<16, 1, true>;
  t[14] = Vertical<16, 1, true>;
  t[15] = Both16<1, true>;
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
    const uint8x16_t left = vdupq_n_u8(row[border]);
    const uint8x16_t right = vdupq_n_u8(row[border + w - 1]);
    for (int c = 0; c < border; c += 16) {
      vst1q_u8(row + c, left);
      vst1q_u8(row + border + w + c, right);
    }
  }
  const std::uint8_t* last = first + static_cast<std::ptrdiff_t>(h - 1) * stride;
  for (int r = 0; r < border; ++r) {
    std::memcpy(plane + static_cast<std::ptrdiff_t>(r) * stride, first, stride);
    std::memcpy(plane + static_cast<std::ptrdiff_t>(border + h + r) * stride, last, stride);
  }
}

}  // namespace mivora::decoder::neon

#endif
