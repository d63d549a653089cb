// The last display column pair of a doubled rotated group with an odd picture width, which the
// vector kernels' even-column steps leave over: shared by every kernel set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "output/convert_dsp.h"
#include "output/convert_sample.h"

namespace mivora::convert {

inline void RotatedDoubleLastColumn(const SourceRows& rows, std::ptrdiff_t strideY,
                                    std::ptrdiff_t strideU, std::uint16_t* destination,
                                    std::intptr_t stride, int width) {
  const int x = width - 1;
  for (int r = 0; r < 8; ++r) {
    const std::ptrdiff_t chroma = (r >> 1) * strideU + (x >> 1);
    const std::uint16_t pixel =
        ConvertSample(rows.y0[r * strideY + x], rows.u0[chroma], rows.v0[chroma], 0);
    destination[2 * r] = destination[2 * r + 1] = pixel;
    destination[stride + 2 * r] = destination[stride + 2 * r + 1] = pixel;
  }
}

}  // namespace mivora::convert
