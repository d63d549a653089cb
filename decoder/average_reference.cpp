// The portable averaging of two predictions (forward and backward) of a B-picture block.
#include <cstdint>

#include "decoder/dsp.h"

namespace mivora::decoder::reference {
namespace {

template <int kSize>
void Average(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  for (int i = 0; i < kSize; ++i, src += stride, dst += stride)
    for (int j = 0; j < kSize; ++j) dst[j] = static_cast<std::uint8_t>((dst[j] + src[j] + 1) >> 1);
}

}  // namespace

void FillAverageTable(PredictFn t[2]) {
  t[0] = Average<8>;
  t[1] = Average<16>;
}

}  // namespace mivora::decoder::reference
