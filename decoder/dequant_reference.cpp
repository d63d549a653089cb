// The portable inverse quantisation of the MPEG method: each level weighed by its matrix entry and
// the quantiser, saturated, and the sum's parity made odd through coefficient 63.
#include <algorithm>
#include <cstdint>

#include "decoder/dsp.h"

namespace mivora::decoder::reference {
namespace {

// The magnitude weighed and truncated (toward zero, as the sign is put back after the shift),
// saturated to 2047 or 2048 by sign; the parity of the sum gathered as the XOR of the low bits.
template <bool kIntra>
int Weigh(std::int16_t* block, const std::uint8_t* weights, int q, int from) {
  int parity = 0;
  for (int i = from; i < 64; ++i) {
    const int level = block[i];
    const int a = level < 0 ? -level : level;
    int m = kIntra ? (2 * a * weights[i] * q) >> 4 : ((2 * a + 1) * weights[i] * q) >> 4;
    if (!kIntra && level == 0) m = 0;
    m = std::min(m, level < 0 ? 2048 : 2047);
    const int v = level < 0 ? -m : m;
    block[i] = static_cast<std::int16_t>(v);
    parity ^= v;
  }
  return parity;
}

// An even sum would let the inverse transform drift from the encoder's.
void MismatchControl(std::int16_t* block, int parity) {
  if ((parity & 1) == 0) block[63] = static_cast<std::int16_t>(block[63] ^ 1);
}

}  // namespace

void DequantIntraMpeg(std::int16_t* block, const std::uint8_t* weights, int q) {
  const int dc = std::clamp(static_cast<int>(block[0]), -2048, 2047);
  block[0] = static_cast<std::int16_t>(dc);
  MismatchControl(block, dc ^ Weigh<true>(block, weights, q, 1));
}

void DequantInterMpeg(std::int16_t* block, const std::uint8_t* weights, int q) {
  MismatchControl(block, Weigh<false>(block, weights, q, 0));
}

}  // namespace mivora::decoder::reference
