// One macroblock of an I or P picture: modes, coded-block patterns, motion vectors, and its
// reconstruction through prediction, coefficients and the inverse transform.
#pragma once

#include "decoder/decoder_state.h"

namespace mivora::decoder {

inline constexpr int kInvalidCode = -1;
inline constexpr int kStuffing = -2;

// Type | (cbpc << 4), kStuffing (consumed) or kInvalidCode (nothing consumed).
int ReadMcbpc(BitReader& reader, int pictureType);
// The pattern as coded (intra form), kInvalidCode for an invalid code.
int ReadCbpy(BitReader& reader);
// -32..32, or kInvalidMotionCode (nothing consumed) for bits that begin no code.
inline constexpr int kInvalidMotionCode = -100;
int ReadMotionCode(BitReader& reader);
// Reads one vector difference and stores predictor + difference: index -1 for the single vector
// of a macroblock (stored four times), 0..3 for one of four. False on an invalid code.
bool DecodeVector(DecoderState& state, int index);
MotionVector PredictVector(DecoderState& state, int index);
// Interlaced layers: the macroblock's dct_type (when it has one) and field_prediction flag (when
// it may have one). True for field prediction, with the reference fields read into selects: [0]
// and [1] forward (when `forward`), [2] and [3] backward (when `backward`).
bool ReadInterlacedFields(DecoderState& state, bool hasDctType, bool hasFieldPrediction,
                          bool forward, bool backward, std::uint8_t selects[4]);
// Reads one vector difference for the given fcode and adds it to predictor, wrapped into the
// vector range. False on an invalid code.
bool ReadVector(BitReader& reader, int fcode, MotionVector predictor, MotionVector& vector);

// Reads and reconstructs the macroblock at (mbX, mbY). False when the stream position was lost;
// the caller then conceals the rest of the picture.
bool DecodeMacroblock(DecoderState& state);
// Marks the macroblock at (mbX, mbY) not coded and copies the co-located reference samples.
void CopyNotCodedMacroblock(DecoderState& state);
// Treats the macroblock at (mbX, mbY) as not coded. Inline: most macroblocks of a still scene
// take this path, and most of those were not coded in the picture before either.
inline void SkipMacroblock(DecoderState& state) {
  // Skipped in the picture before as well: both pictures already hold the same samples here.
  if (state.Mode(state.mbX, state.mbY) == kNotCodedMode) return;
  CopyNotCodedMacroblock(state);
}
inline void AdvanceMacroblock(DecoderState& state) {
  if (state.mbX < state.mbWidth - 1) {
    ++state.mbX;
  } else {
    state.mbX = 0;
    ++state.mbY;
  }
}

}  // namespace mivora::decoder
