// The portable fixed-point inverse transform: a pass down the columns into 16-bit intermediates,
// then a pass along the rows straight into the picture.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "decoder/dsp.h"

namespace mivora::decoder::reference {
namespace {

constexpr int W1 = 2841, W2 = 2676, W3 = 2408, W5 = 1609, W6 = 1108, W7 = 565;
constexpr std::int64_t R = 181;

// Intermediates are stored in 16 bits. Extreme coefficients would wrap there; we saturate
// instead, which leaves every non-wrapping result exact and keeps damaged blocks from flipping
// sign.
inline std::int16_t Store16(int v) {
  return static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
}

inline std::uint8_t Clip(int v) {
  return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

// The 1/sqrt(2) products can exceed 32 bits for extreme (but representable) inputs; they are
// formed in 64 bits so the result is defined and, whenever 32 bits suffice, identical.
inline int ScaleR(int v) {
  return static_cast<int>((R * v + 128) >> 8);
}

void IdctColumn(std::int16_t* b) {
  const int x0 = b[0], x1 = b[8], x2 = b[16], x3 = b[24];
  const int x4 = b[32], x5 = b[40], x6 = b[48], x7 = b[56];
  if (!(x1 | x2 | x3 | x4 | x5 | x6 | x7)) {
    const std::int16_t dc = Store16(x0 * 8);
    for (int k = 0; k < 8; ++k) b[8 * k] = dc;
    return;
  }
  const int a0 = x0 * 2048 + 128, a1 = x4 * 2048;
  const int p4 = W1 * x1 + W7 * x7, p5 = W7 * x1 - W1 * x7;
  const int p6 = W3 * x3 + W5 * x5, p7 = W3 * x5 - W5 * x3;
  const int s8 = a0 + a1, s0 = a0 - a1;
  const int e2 = W6 * x2 - W2 * x6, e3 = W2 * x2 + W6 * x6;
  const int q1 = p4 + p6, q4 = p4 - p6, q6 = p5 + p7, q5 = p5 - p7;
  const int t7 = s8 + e3, t8 = s8 - e3, t3 = s0 + e2, t0 = s0 - e2;
  const int r2 = ScaleR(q4 + q5), r4 = ScaleR(q4 - q5);
  b[0] = Store16((t7 + q1) >> 8);
  b[8] = Store16((t3 + r2) >> 8);
  b[16] = Store16((t0 + r4) >> 8);
  b[24] = Store16((t8 + q6) >> 8);
  b[32] = Store16((t8 - q6) >> 8);
  b[40] = Store16((t0 - r4) >> 8);
  b[48] = Store16((t3 - r2) >> 8);
  b[56] = Store16((t7 - q1) >> 8);
}

template <bool kAdd>
inline void Write(std::uint8_t* d, int k, int v) {
  d[k] = Clip(kAdd ? d[k] + v : v);
}

template <bool kAdd>
void IdctRow(const std::int16_t* z, std::uint8_t* d) {
  const int z0 = z[0], z1 = z[1], z2 = z[2], z3 = z[3];
  const int z4 = z[4], z5 = z[5], z6 = z[6], z7 = z[7];
  if (!(z1 | z2 | z3 | z4 | z5 | z6 | z7)) {
    const int v = (z0 + 32) >> 6;
    for (int k = 0; k < 8; ++k) Write<kAdd>(d, k, v);
    return;
  }
  const int a0 = (z0 + 32) * 256, a1 = z4 * 256;
  const int p4 = (W1 * z1 + W7 * z7 + 4) >> 3, p5 = (W7 * z1 - W1 * z7 + 4) >> 3;
  const int p6 = (W3 * z3 + W5 * z5 + 4) >> 3, p7 = (W3 * z5 - W5 * z3 + 4) >> 3;
  const int e2 = (W6 * z2 - W2 * z6 + 4) >> 3, e3 = (W2 * z2 + W6 * z6 + 4) >> 3;
  const int s8 = a0 + a1, s0 = a0 - a1;
  const int q1 = p4 + p6, q4 = p4 - p6, q6 = p5 + p7, q5 = p5 - p7;
  const int t7 = s8 + e3, t8 = s8 - e3, t3 = s0 + e2, t0 = s0 - e2;
  const int r2 = ScaleR(q4 + q5), r4 = ScaleR(q4 - q5);
  Write<kAdd>(d, 0, (t7 + q1) >> 14);
  Write<kAdd>(d, 1, (t3 + r2) >> 14);
  Write<kAdd>(d, 2, (t0 + r4) >> 14);
  Write<kAdd>(d, 3, (t8 + q6) >> 14);
  Write<kAdd>(d, 4, (t8 - q6) >> 14);
  Write<kAdd>(d, 5, (t0 - r4) >> 14);
  Write<kAdd>(d, 6, (t3 - r2) >> 14);
  Write<kAdd>(d, 7, (t7 - q1) >> 14);
}

template <bool kAdd>
void TransformBlock(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  for (int c = 0; c < 8; ++c) IdctColumn(block + c);
  for (int r = 0; r < 8; ++r) IdctRow<kAdd>(block + 8 * r, dst + r * stride);
  std::memset(block, 0, 64 * sizeof(std::int16_t));
}

}  // namespace

void IdctPut(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  TransformBlock<false>(block, dst, stride);
}

void IdctAdd(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  TransformBlock<true>(block, dst, stride);
}

}  // namespace mivora::decoder::reference
