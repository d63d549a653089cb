#include "decoder/quant_matrix.h"

#include <algorithm>

#include "decoder/dsp.h"
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
  Dsp().dequantIntra(block, weights, q);
}

void DequantiseInterMpeg(std::int16_t* block, const std::uint8_t* weights, int q) {
  Dsp().dequantInter(block, weights, q);
}

}  // namespace mivora::decoder
