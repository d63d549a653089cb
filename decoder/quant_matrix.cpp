#include "decoder/quant_matrix.h"

#include <algorithm>

#include "decoder/scan_tables.h"

namespace mivora::decoder {
namespace {

constexpr QuantMatrices kDefaults = {
    {8,  17, 18, 19, 21, 23, 25, 27, 17, 18, 19, 21, 23, 25, 27, 28, 20, 21, 22, 23, 24, 26,
     28, 30, 21, 22, 23, 24, 26, 28, 30, 32, 22, 23, 24, 26, 28, 30, 32, 35, 23, 24, 26, 28,
     30, 32, 35, 38, 25, 26, 28, 30, 32, 35, 38, 41, 27, 28, 30, 32, 35, 38, 41, 45},
    {16, 17, 18, 19, 20, 21, 22, 23, 17, 18, 19, 20, 21, 22, 23, 24, 18, 19, 20, 21, 22, 23,
     24, 25, 19, 20, 21, 22, 23, 24, 26, 27, 20, 21, 22, 23, 25, 26, 27, 28, 21, 22, 23, 24,
     26, 27, 28, 30, 22, 23, 24, 26, 27, 28, 30, 31, 23, 24, 25, 27, 28, 30, 31, 33}};

void ReadMatrix(BitReader& r, std::uint8_t* matrix, const std::uint8_t* fallback) {
  if (!r.GetBit()) {
    std::copy(fallback, fallback + 64, matrix);
    return;
  }
  int last = 1;
  for (int k = 0; k < 64; ++k) {
    const int v = static_cast<int>(r.GetBits(8));
    if (v == 0) {
      for (; k < 64; ++k) matrix[kZigzagScan[k]] = static_cast<std::uint8_t>(last);
      return;
    }
    last = v;
    matrix[kZigzagScan[k]] = static_cast<std::uint8_t>(v);
  }
}

inline int Saturate(int v) {
  return std::clamp(v, -2048, 2047);
}

// Coefficient 63's lowest bit carries the parity, so the inverse transform of an even sum cannot
// drift from the encoder's.
inline void MismatchControl(std::int16_t* block, int sum) {
  if ((sum & 1) == 0) block[63] = static_cast<std::int16_t>(block[63] ^ 1);
}

}  // namespace

const QuantMatrices& DefaultQuantMatrices() {
  return kDefaults;
}

void ReadQuantMatrices(BitReader& r, QuantMatrices& m) {
  ReadMatrix(r, m.intra, kDefaults.intra);
  ReadMatrix(r, m.inter, kDefaults.inter);
  // The first intra weight is never used (the DC has its own scaler); the others divide nothing
  // but a zero would wipe its coefficient out, which no encoder means.
  for (int i = 0; i < 64; ++i) {
    if (!m.intra[i]) m.intra[i] = 1;
    if (!m.inter[i]) m.inter[i] = 1;
  }
}

void DequantiseIntraMpeg(std::int16_t* block, const std::uint8_t* weights, int q) {
  const int dc = Saturate(block[0]);
  block[0] = static_cast<std::int16_t>(dc);
  int sum = dc;
  for (int i = 1; i < 64; ++i) {
    const int level = block[i];
    if (!level) continue;
    // (2 * level * weight * q) / 16, truncated toward zero.
    const int v = Saturate(2 * level * weights[i] * q / 16);
    block[i] = static_cast<std::int16_t>(v);
    sum += v;
  }
  MismatchControl(block, sum);
}

void DequantiseInterMpeg(std::int16_t* block, const std::uint8_t* weights, int q) {
  int sum = 0;
  for (int i = 0; i < 64; ++i) {
    const int level = block[i];
    if (!level) continue;
    const int twice = 2 * level + (level > 0 ? 1 : -1);
    const int v = Saturate(twice * weights[i] * q / 16);
    block[i] = static_cast<std::int16_t>(v);
    sum += v;
  }
  MismatchControl(block, sum);
}

}  // namespace mivora::decoder
