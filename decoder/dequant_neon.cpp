// The MPEG method's inverse quantisation with NEON, bit for bit the portable version: eight levels
// a step, the magnitudes weighed in 32-bit lanes (vmull), saturation by a saturating narrow and a
// minimum, the sign put back, and the parity of the sum from the results' low bits.
#include "decoder/dsp.h"

#if defined(__aarch64__)
#include <arm_neon.h>

namespace mivora::decoder::neon {
namespace {

template <bool kIntra>
inline int16x8_t Step(std::int16_t* block, const std::uint8_t* weights, int quantiser) {
  const int16x8_t level = vld1q_s16(block);
  const uint16x8_t negative = vcltzq_s16(level);
  // |level| (-32768 saturated), held at 16384: from there on every weighed value saturates anyway,
  // and twice it plus one still fits 16 bits.
  const uint16x8_t a = vreinterpretq_u16_s16(vminq_s16(vqabsq_s16(level), vdupq_n_s16(16384)));
  uint16x8_t t = vaddq_u16(a, a);
  if constexpr (!kIntra) t = vaddq_u16(t, vdupq_n_u16(1));
  const uint16x8_t wq =
      vmulq_n_u16(vmovl_u8(vld1_u8(weights)), static_cast<std::uint16_t>(quantiser));
  const uint32x4_t lo = vshrq_n_u32(vmull_u16(vget_low_u16(t), vget_low_u16(wq)), 4);
  const uint32x4_t hi = vshrq_n_u32(vmull_high_u16(t, wq), 4);
  // 2047 for positive levels, 2048 for negative ones.
  const uint16x8_t limit = vsubq_u16(vdupq_n_u16(2047), negative);
  uint16x8_t m = vminq_u16(vcombine_u16(vqmovn_u32(lo), vqmovn_u32(hi)), limit);
  if constexpr (!kIntra) m = vbicq_u16(m, vceqzq_s16(level));
  const int16x8_t s = vreinterpretq_s16_u16(m);
  const int16x8_t v = vbslq_s16(negative, vnegq_s16(s), s);
  vst1q_s16(block, v);
  return v;
}

template <bool kIntra>
void Dequant(std::int16_t* block, const std::uint8_t* weights, int quantiser) {
  const std::int16_t dc = block[0];
  int16x8_t parity = vdupq_n_s16(0);
  for (int i = 0; i < 64; i += 8)
    parity = veorq_s16(parity, Step<kIntra>(block + i, weights + i, quantiser));
  int odd = vaddvq_u16(vandq_u16(vreinterpretq_u16_s16(parity), vdupq_n_u16(1))) & 1;
  if constexpr (kIntra) {
    // The DC keeps its own scaling: put it back, saturated, in place of its weighed value.
    const int kept = dc < -2048 ? -2048 : dc > 2047 ? 2047 : dc;
    odd ^= (block[0] ^ kept) & 1;
    block[0] = static_cast<std::int16_t>(kept);
  }
  if (!odd) block[63] = static_cast<std::int16_t>(block[63] ^ 1);
}

}  // namespace

void DequantIntraMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser) {
  Dequant<true>(block, weights, quantiser);
}

void DequantInterMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser) {
  Dequant<false>(block, weights, quantiser);
}

}  // namespace mivora::decoder::neon
#endif
