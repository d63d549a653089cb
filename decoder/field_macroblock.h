// The field vectors of interlaced macroblocks: reading them, what they leave for later vector
// predictions, and the direct-mode vectors of a B picture whose co-located macroblock had them.
#pragma once

#include <cstdint>

#include "decoder/decoder_state.h"
#include "decoder/field_prediction.h"

namespace mivora::decoder {

// Before each P picture of an interlaced layer: no macroblock field predicted yet.
void ClearFieldMotion(DecoderState& state);

// P pictures: reads the two field vectors of the macroblock at (mbX, mbY), both predicted from
// the frame predictor (its vertical component halved), keeps them for the B pictures' direct mode,
// stores their average for later predictions, and predicts the macroblock from the reference.
// False on an invalid code.
bool DecodeFieldMacroblock(DecoderState& state, const std::uint8_t selects[2]);

// B pictures: two field vectors for one direction, each predicted from its own field's predictor
// (frame units; the vertical component halved), which then takes the new vector.
bool ReadFieldVectors(BitReader& reader, int fcode, MotionVector predictors[2],
                      const std::uint8_t selects[2], FieldVectors& fields);

// The direct-mode field vectors from a co-located field-predicted macroblock: each field's vector
// scaled by the distances in fields between the pictures and the fields it predicts from. trb and
// trd are the B picture's and the newer reference's distances from the older reference.
void DirectFieldVectors(const FieldVectors& colocated, MotionVector delta, int trb, int trd,
                        bool topFieldFirst, FieldVectors& forward, FieldVectors& backward);

}  // namespace mivora::decoder
