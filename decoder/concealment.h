// Rebuilding macroblocks whose data was lost, from the reference picture.
#pragma once

#include "decoder/decoder_state.h"

namespace mivora::decoder {

// Rebuilds macroblocks first..last - 1 of the current picture: moved by the vector of the
// macroblock above where that one was decoded, else copied from the co-located reference samples.
// They then count as inter macroblocks with that vector. Leaves the position at `last`.
void ConcealMacroblocks(DecoderState& state, int first, int last);

}  // namespace mivora::decoder
