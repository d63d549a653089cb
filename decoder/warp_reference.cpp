// The portable bilinear interpolation of global motion compensation.
#include <cstdint>

#include "decoder/dsp.h"

namespace mivora::decoder::reference {
namespace {

template <int kN>
void Warp(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride, int fx, int fy,
          int rounding) {
  const int a = (16 - fx) * (16 - fy), b = fx * (16 - fy), c = (16 - fx) * fy, d = fx * fy;
  for (int r = 0; r < kN; ++r, src += stride, dst += stride) {
    const std::uint8_t* next = src + stride;
    for (int i = 0; i < kN; ++i)
      dst[i] = static_cast<std::uint8_t>(
          (a * src[i] + b * src[i + 1] + c * next[i] + d * next[i + 1] + 128 - rounding) >> 8);
  }
}

}  // namespace

void FillWarpTable(WarpFn t[2]) {
  t[0] = Warp<8>;
  t[1] = Warp<16>;
}

}  // namespace mivora::decoder::reference
