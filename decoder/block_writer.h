// Places one transformed 8x8 block into the current picture.
#pragma once

#include <cstdint>

#include "decoder/picture.h"

namespace mivora::decoder {

// blockIndex 0..3 luminance in raster order, 4 U, 5 V. add: residual onto the prediction already
// in place (inter) instead of putting samples (intra). The block is cleared on return.
void WriteBlock(PictureStore& store, std::int16_t* block, int blockIndex, int mbx, int mby,
                bool add);

}  // namespace mivora::decoder
