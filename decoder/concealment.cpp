#include "decoder/concealment.h"

#include "decoder/motion_compensation.h"

namespace mivora::decoder {

void ConcealMacroblocks(DecoderState& state, int first, int last) {
  const int w = state.mbWidth;
  if (last > state.mbCount) last = state.mbCount;
  for (int i = first; i < last; ++i) {
    const int x = i % w, y = i / w;
    MotionVector v{0, 0};
    // The macroblock above moved with the scene only in a P picture; an intra or skipped one
    // holds zero vectors, which copies.
    if (state.picture.pictureType != 0 && y > 0) v = state.Vectors(x, y - 1)[2];
    MotionVector* vectors = state.Vectors(x, y);
    for (int k = 0; k < 4; ++k) vectors[k] = v;
    state.Mode(x, y) = 0;
    PredictMacroblock(state.pictures, x, y, 0, vectors, 0);
  }
  if (last > first) {
    state.concealed += last - first;
    state.damaged = true;
  }
  state.mbIndex = last;
  state.mbX = last % w;
  state.mbY = last / w;
}

}  // namespace mivora::decoder
