#include "decoder/field_macroblock.h"

#include <algorithm>

#include "decoder/b_picture.h"
#include "decoder/block_coefficients.h"
#include "decoder/macroblock.h"

namespace mivora::decoder {
namespace {

// Distance in fields for a distance in picture times: whole frame periods, two fields each.
int FieldDistance(int time, int period) {
  return 2 * ((time + period / 2) / period);
}

}  // namespace

void ClearFieldMotion(DecoderState& state) {
  std::fill(state.fieldPredicted.begin(), state.fieldPredicted.end(), 0);
}

bool ReadFieldVectors(BitReader& reader, int fcode, MotionVector predictors[2],
                      const std::uint8_t selects[2], FieldVectors& fields) {
  for (int i = 0; i < 2; ++i) {
    const MotionVector p{predictors[i].x, static_cast<std::int16_t>(predictors[i].y / 2)};
    MotionVector& v = fields.vector[i];
    if (!ReadVector(reader, fcode, p, v)) return false;
    fields.select[i] = selects[i];
    predictors[i] = {v.x, static_cast<std::int16_t>(2 * v.y)};
  }
  return true;
}

bool DecodeFieldMacroblock(DecoderState& state, const std::uint8_t selects[2]) {
  const MotionVector predictor = PredictVector(state, -1);
  MotionVector predictors[2] = {predictor, predictor};
  const int index = state.mbY * state.mbWidth + state.mbX;
  FieldVectors& fields = state.fieldMotion[index];
  if (!ReadFieldVectors(state.reader, state.picture.fcode, predictors, selects, fields)) {
    return false;
  }
  state.fieldPredicted[index] = 1;
  const MotionVector average = FieldVectorAverage(fields);
  MotionVector* vectors = state.Vectors(state.mbX, state.mbY);
  for (int k = 0; k < 4; ++k) vectors[k] = average;
  PictureStore& p = state.pictures;
  PredictFieldMacroblock(p, p.reference, p.current, state.mbX, state.mbY, fields,
                         state.picture.roundingType);
  return true;
}

void DirectFieldVectors(const FieldVectors& colocated, MotionVector delta, int trb, int trd,
                        bool topFieldFirst, FieldVectors& forward, FieldVectors& backward) {
  // The frame period: B pictures lie on whole frames between their references.
  const int period = std::max(1, std::min(trb, trd - trb));
  const int fieldTrb = FieldDistance(trb, period), fieldTrd = FieldDistance(trd, period);
  for (int i = 0; i < 2; ++i) {
    const int select = colocated.select[i] & 1;
    // A field that predicts from the other field is half a frame nearer or further in time.
    const int shift = topFieldFirst ? i - select : select - i;
    DirectVectors(colocated.vector[i], delta, fieldTrb + shift, fieldTrd + shift, forward.vector[i],
                  backward.vector[i]);
    forward.select[i] = static_cast<std::uint8_t>(select);
    backward.select[i] = static_cast<std::uint8_t>(i);
  }
}

}  // namespace mivora::decoder
