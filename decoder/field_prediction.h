// Field prediction of interlaced pictures: each field of a macroblock (its even or its odd rows)
// predicted by its own vector from either field of the reference picture.
#pragma once

#include <cstdint>

#include "decoder/motion_compensation.h"
#include "decoder/picture.h"

namespace mivora::decoder {

// A macroblock's two field vectors (vertical components in rows of one field) and the reference
// field each predicts from (0 top, 1 bottom); [0] the macroblock's top field, [1] its bottom field.
struct FieldVectors {
  MotionVector vector[2];
  std::uint8_t select[2];
};

// What later vector predictions see of a field-predicted macroblock: its vectors' average in frame
// units, a horizontal half of a sample rounded towards the half-sample position.
MotionVector FieldVectorAverage(const FieldVectors& fields);

// Both fields of the macroblock from `from` into `to`, luminance and chrominance. Vectors of any
// size are safe: reads outside the picture see the frame's edges repeated without end. averaged:
// the prediction is averaged into what `to` holds (a bidirectional prediction's second half).
void PredictFieldMacroblock(const PictureStore& store, const Picture& from, const Picture& to,
                            int mbx, int mby, const FieldVectors& fields, int roundingType,
                            bool averaged = false);

// The chrominance component of one luminance field vector component (half samples, or quarter
// samples when quarterSample is set: halved first, the vertical one downwards).
int ChromaFromFieldVector(int v, bool quarterSample, bool vertical);

}  // namespace mivora::decoder
