// The picture loop: every macroblock of one picture in raster order, then the hand-over.
#pragma once

#include "decoder/decoder_state.h"

namespace mivora::decoder {

// Decodes the macroblocks of the picture whose header was just read. Stops early at a start code
// or a lost stream position and then conceals the remaining macroblocks by copying them from the
// reference. Returns false when the picture must not be shown (an unsupported feature met).
bool DecodePicture(DecoderState& state);

}  // namespace mivora::decoder
