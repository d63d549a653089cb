// The portable fixed-point inverse transform: a pass down the columns into 16-bit intermediates,
// then a pass along the rows straight into the picture.
//
// Both passes run all eight columns (rows) in step, with the loop over them innermost, so the
// compiler can keep them in vector registers. The per-column and per-row shortcuts for a lone
// first value are not needed for exactness: the full butterfly gives X0 * 8 and (Z0 + 32) >> 6
// for them as well. Only the whole-block DC case is taken early, being frequent and cheap.
#include <cstdint>
#include <cstring>

#include "decoder/dsp.h"

namespace mivora::decoder::reference {
namespace {

constexpr int W1 = 2841, W2 = 2676, W3 = 2408, W5 = 1609, W6 = 1108, W7 = 565;
constexpr std::uint32_t R = 181;

// Intermediates are stored in 16 bits. Extreme coefficients would wrap there; we saturate
// instead, which leaves every non-wrapping result exact and keeps damaged blocks from flipping
// sign.
inline std::int16_t Store16(int v) {
  return static_cast<std::int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

inline std::uint8_t Clip(int v) {
  return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Arithmetic is 32-bit. The only sums that can leave 32 bits (for extreme coefficients) are the
// 1/sqrt(2) products; they wrap as 32-bit arithmetic does, formed unsigned so the wrap is defined.
inline int ScaleR(int v) {
  return static_cast<int>(static_cast<std::uint32_t>(v) * R + 128u) >> 8;
}

// First pass, in place: column c is b[c], b[8 + c], ..., b[56 + c].
void IdctColumns(std::int16_t* b) {
  for (int c = 0; c < 8; ++c) {
    const int x0 = b[c], x1 = b[8 + c], x2 = b[16 + c], x3 = b[24 + c];
    const int x4 = b[32 + c], x5 = b[40 + c], x6 = b[48 + c], x7 = b[56 + c];
    const int a0 = x0 * 2048 + 128, a1 = x4 * 2048;
    const int p4 = W1 * x1 + W7 * x7, p5 = W7 * x1 - W1 * x7;
    const int p6 = W3 * x3 + W5 * x5, p7 = W3 * x5 - W5 * x3;
    const int s8 = a0 + a1, s0 = a0 - a1;
    const int e2 = W6 * x2 - W2 * x6, e3 = W2 * x2 + W6 * x6;
    const int q1 = p4 + p6, q4 = p4 - p6, q6 = p5 + p7, q5 = p5 - p7;
    const int t7 = s8 + e3, t8 = s8 - e3, t3 = s0 + e2, t0 = s0 - e2;
    const int r2 = ScaleR(q4 + q5), r4 = ScaleR(q4 - q5);
    b[c] = Store16((t7 + q1) >> 8);
    b[8 + c] = Store16((t3 + r2) >> 8);
    b[16 + c] = Store16((t0 + r4) >> 8);
    b[24 + c] = Store16((t8 + q6) >> 8);
    b[32 + c] = Store16((t8 - q6) >> 8);
    b[40 + c] = Store16((t0 - r4) >> 8);
    b[48 + c] = Store16((t3 - r2) >> 8);
    b[56 + c] = Store16((t7 - q1) >> 8);
  }
}

// Second pass: row r is block[8 r] .. block[8 r + 7]. The block is transposed first so the loop
// over rows reads consecutive values; results are written out row by row at the end.
template <bool kAdd>
void IdctRows(const std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  std::int16_t t[64];  // t[8 k + r] = block[8 r + k]
  for (int r = 0; r < 8; ++r)
    for (int k = 0; k < 8; ++k) t[8 * k + r] = block[8 * r + k];
  int v[64];  // v[8 k + r]: sample k of row r, unclipped
  for (int r = 0; r < 8; ++r) {
    const int z0 = t[r], z1 = t[8 + r], z2 = t[16 + r], z3 = t[24 + r];
    const int z4 = t[32 + r], z5 = t[40 + r], z6 = t[48 + r], z7 = t[56 + r];
    const int a0 = (z0 + 32) * 256, a1 = z4 * 256;
    const int p4 = (W1 * z1 + W7 * z7 + 4) >> 3, p5 = (W7 * z1 - W1 * z7 + 4) >> 3;
    const int p6 = (W3 * z3 + W5 * z5 + 4) >> 3, p7 = (W3 * z5 - W5 * z3 + 4) >> 3;
    const int e2 = (W6 * z2 - W2 * z6 + 4) >> 3, e3 = (W2 * z2 + W6 * z6 + 4) >> 3;
    const int s8 = a0 + a1, s0 = a0 - a1;
    const int q1 = p4 + p6, q4 = p4 - p6, q6 = p5 + p7, q5 = p5 - p7;
    const int t7 = s8 + e3, t8 = s8 - e3, t3 = s0 + e2, t0 = s0 - e2;
    const int r2 = ScaleR(q4 + q5), r4 = ScaleR(q4 - q5);
    v[r] = (t7 + q1) >> 14;
    v[8 + r] = (t3 + r2) >> 14;
    v[16 + r] = (t0 + r4) >> 14;
    v[24 + r] = (t8 + q6) >> 14;
    v[32 + r] = (t8 - q6) >> 14;
    v[40 + r] = (t0 - r4) >> 14;
    v[48 + r] = (t3 - r2) >> 14;
    v[56 + r] = (t7 - q1) >> 14;
  }
  // The add variant adds the unclipped result to the prediction and clips once.
  for (int r = 0; r < 8; ++r, dst += stride)
    for (int k = 0; k < 8; ++k) dst[k] = Clip(kAdd ? dst[k] + v[8 * k + r] : v[8 * k + r]);
}

// Only the DC value non-zero: the first pass fills column 0 with X0 * 8 and leaves the others
// zero, so every row gives (Z0 + 32) >> 6 and all 64 samples get one value.
template <bool kAdd>
bool DcOnly(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  int any = 0;
  for (int k = 1; k < 64; ++k) any |= block[k];
  if (any) return false;
  const int v = (Store16(block[0] * 8) + 32) >> 6;
  block[0] = 0;
  for (int r = 0; r < 8; ++r, dst += stride)
    for (int k = 0; k < 8; ++k) dst[k] = Clip(kAdd ? dst[k] + v : v);
  return true;
}

template <bool kAdd>
void TransformBlock(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  if (DcOnly<kAdd>(block, dst, stride)) return;
  IdctColumns(block);
  IdctRows<kAdd>(block, dst, stride);
  std::memset(block, 0, 64 * sizeof(std::int16_t));
}

}  // namespace

void IdctPut(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  TransformBlock<false>(block, dst, stride);
}

void IdctAdd(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  TransformBlock<true>(block, dst, stride);
}

void IdctPutIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride, BlockExtent) {
  IdctPut(block, dst, stride);
}

void IdctAddIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride, BlockExtent) {
  IdctAdd(block, dst, stride);
}

}  // namespace mivora::decoder::reference
