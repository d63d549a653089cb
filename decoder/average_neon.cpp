// Averaging of two predictions with NEON: vrhadd is (a + b + 1) >> 1 exactly.
#include "decoder/dsp.h"

#if defined(__aarch64__)
#include <arm_neon.h>

namespace mivora::decoder::neon {
namespace {

void Average8(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  for (int i = 0; i < 8; ++i, src += stride, dst += stride)
    vst1_u8(dst, vrhadd_u8(vld1_u8(src), vld1_u8(dst)));
}

void Average16(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  for (int i = 0; i < 16; ++i, src += stride, dst += stride)
    vst1q_u8(dst, vrhaddq_u8(vld1q_u8(src), vld1q_u8(dst)));
}

}  // namespace

void FillAverageTable(PredictFn t[2]) {
  t[0] = Average8;
  t[1] = Average16;
}

}  // namespace mivora::decoder::neon
#endif
