// The MPEG method of inverse quantisation: a weight per coefficient from the intra or non-intra
// matrix (the defaults, or matrices the layer header downloads), saturation, and mismatch control.
#pragma once

#include <cstdint>

#include "decoder/bit_reader.h"

namespace mivora::decoder {

// In raster order (8 x row + column).
struct QuantMatrices {
  std::uint8_t intra[64];
  std::uint8_t inter[64];
};

const QuantMatrices& DefaultQuantMatrices();

// load_*_quant_mat and its values: up to 64 in zigzag order, a zero ending the list early (the
// rest repeat the last value). A matrix not loaded is the default. A zero weight (only a damaged
// header gives one) is read as 1.
void ReadQuantMatrices(BitReader& reader, QuantMatrices& matrices);

// Inverse quantisation of the quantised levels in block (the intra DC, already scaled, stays),
// saturated to -2048..2047, then the parity of the sum made odd through coefficient 63.
void DequantiseIntraMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser);
void DequantiseInterMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser);

}  // namespace mivora::decoder
