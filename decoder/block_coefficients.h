// One 8x8 block's coefficients: intra DC with its prediction, the coefficient codes with their
// escapes, inverse quantisation, and AC prediction of intra blocks.
#pragma once

#include "decoder/bit_reader.h"
#include "decoder/decoder_state.h"

namespace mivora::decoder {

struct CoefficientEvent {
  int last, run, level;  // all -1 for an invalid code
};

int DcScaler(int quantiser, bool luminance);
// The intra DC predictor: a neighbour's DC divided by the scaler, rounded half away from zero.
int ScaledPredictor(int dc, int scaler);
// Size of the intra DC differential (0..12), -1 for an invalid code (nothing consumed then).
int ReadDcSize(BitReader& reader, bool luminance);
int ReadDcDifferential(BitReader& reader, int size);
CoefficientEvent ReadCoefficient(BitReader& reader, bool intra);

// Replaces the stored values of neighbouring macroblocks that are not intra by the values that
// stand for "no prediction" (P pictures, before an intra macroblock's blocks).
void ClearNonIntraNeighbours(DecoderState& state);
// Leaves the block's inverse-quantised coefficients in state.block.
void DecodeIntraBlock(DecoderState& state, int blockIndex, bool coded);
void DecodeInterBlock(DecoderState& state, int blockIndex);

}  // namespace mivora::decoder
