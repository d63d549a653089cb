// Global motion compensation of S pictures: the whole reference moved by the warping points'
// trajectories, with sub-sample accuracy set by the layer. A translation (one point, or more
// that add nothing) takes the block interpolation of the DSP table; two points (rotation, scale
// and translation) and three (affine) warp each sample on its own, from positions stepped along
// the rows, the reference's edge replicated without end.
#pragma once

#include <cstdint>

#include "decoder/motion_compensation.h"
#include "decoder/picture.h"

namespace mivora::decoder {

struct DecoderState;

// Where a plane's sample (x, y) lies in the reference, in 1/s samples, for each axis k:
// (origin[k] + column[k] * x + row[k] * y) >> scale, rounded by what origin adds.
struct AffineWarp {
  std::int64_t origin[2] = {0, 0};
  std::int64_t column[2] = {0, 0};
  std::int64_t row[2] = {0, 0};
  int scale = 0;
};

// The S picture's warp, in 1/s samples for s = 2 << accuracy.
struct GlobalMotion {
  int shift = 1;              // log2 of s
  int luma[2] = {0, 0};       // translation: offset of every luminance sample (x, y)
  int chroma[2] = {0, 0};     // translation: offset of every chrominance sample
  MotionVector vector{0, 0};  // translation: what vector predictions see of its macroblocks
  int rounding = 0;           // the picture's rounding type
  bool translation = true;
  AffineWarp lumaWarp, chromaWarp;  // otherwise
  int vectorShift = 8;  // the sum of a macroblock's 256 offsets to a vector: its right shift
};

// From the picture's warping points and the layer's size.
void PrepareGlobalMotion(DecoderState& state, GlobalMotion& motion);

// The macroblock at (mbx, mby) of the current picture from the reference by the warp. Returns
// the macroblock's vector for predictions: the average offset of its luminance samples, in the
// layer's vector units.
MotionVector PredictGlobalMacroblock(PictureStore& store, const GlobalMotion& motion, int mbx,
                                     int mby);

// A macroblock of an S picture predicted by the warp (also one not coded, which has nothing
// more): it counts as an inter macroblock with the warp's vector.
void GlobalMacroblock(DecoderState& state);

}  // namespace mivora::decoder
