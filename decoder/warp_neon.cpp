// Global motion's bilinear interpolation with NEON, bit for bit the portable version: the four
// weights sum to 256, so each weighted sum (at most 255 * 256 + 128) fits an unsigned 16-bit lane.
#include "decoder/dsp.h"

#if defined(__aarch64__)
#include <arm_neon.h>

namespace mivora::decoder::neon {
namespace {

// Eight results from the samples at p and p + 1 and in the row below, q and q + 1.
inline uint8x8_t Weigh(const std::uint8_t* p, const std::uint8_t* q, const std::uint16_t w[4],
                       uint16x8_t rounder) {
  uint16x8_t v = vmlaq_n_u16(rounder, vmovl_u8(vld1_u8(p)), w[0]);
  v = vmlaq_n_u16(v, vmovl_u8(vld1_u8(p + 1)), w[1]);
  v = vmlaq_n_u16(v, vmovl_u8(vld1_u8(q)), w[2]);
  v = vmlaq_n_u16(v, vmovl_u8(vld1_u8(q + 1)), w[3]);
  return vshrn_n_u16(v, 8);
}

template <int kN>
void Warp(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride, int fx, int fy,
          int rounding) {
  const std::uint16_t w[4] = {
      static_cast<std::uint16_t>((16 - fx) * (16 - fy)), static_cast<std::uint16_t>(fx * (16 - fy)),
      static_cast<std::uint16_t>((16 - fx) * fy), static_cast<std::uint16_t>(fx * fy)};
  const uint16x8_t rounder = vdupq_n_u16(static_cast<std::uint16_t>(128 - rounding));
  for (int r = 0; r < kN; ++r, src += stride, dst += stride)
    for (int c = 0; c < kN; c += 8) vst1_u8(dst + c, Weigh(src + c, src + stride + c, w, rounder));
}

}  // namespace

void FillWarpTable(WarpFn t[2]) {
  t[0] = Warp<8>;
  t[1] = Warp<16>;
}

}  // namespace mivora::decoder::neon
#endif
