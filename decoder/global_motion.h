// Global motion compensation of S pictures: the whole reference moved by the warping points'
// trajectories, with sub-sample accuracy set by the layer. Translation (up to one warping point)
// is decoded; two or three points are reported unsupported.
#pragma once

#include "decoder/motion_compensation.h"
#include "decoder/picture.h"

namespace mivora::decoder {

struct DecoderState;

// The S picture's warp, in 1/s samples for s = 2 << accuracy.
struct GlobalMotion {
  int shift = 1;              // log2 of s
  int luma[2] = {0, 0};       // offset of every luminance sample (x, y)
  int chroma[2] = {0, 0};     // offset of every chrominance sample
  MotionVector vector{0, 0};  // what vector predictions see of a global-motion macroblock
  int rounding = 0;           // the picture's rounding type
};

// From the picture's warping points. False, with state.unsupported set, for warps other than a
// translation.
bool PrepareGlobalMotion(DecoderState& state, GlobalMotion& motion);

// The macroblock at (mbx, mby) of the current picture from the reference by the warp.
void PredictGlobalMacroblock(PictureStore& store, const GlobalMotion& motion, int mbx, int mby);

// A macroblock of an S picture predicted by the warp (also one not coded, which has nothing
// more): it counts as an inter macroblock with the warp's vector.
void GlobalMacroblock(DecoderState& state);

}  // namespace mivora::decoder
