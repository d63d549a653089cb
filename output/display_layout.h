// Where a picture lies on the display for an output mode: the picture is centred, and the
// converters are handed the row skip that makes their rows one display pitch long.
#pragma once

#include <cstdint>

#include "platform/display_memory.h"

namespace mivora {

struct DisplayLayout {
  std::int16_t topOffset = 0;    // first display row of the picture
  std::int16_t leftOffset = 0;   // first display column of the picture
  std::int32_t rowSkip = 0;      // pitch minus the clipped source extent along a display row
  std::int32_t startOffset = 0;  // topOffset * pitch + leftOffset, pixels from the display start
};

// The layout for a video of width x height samples, turned (rotate) and/or doubled, on the
// display geometry given (the one in force when none is given).
DisplayLayout ComputeDisplayLayout(int width, int height, bool rotate, bool doubleSize,
                                   const platform::DisplayGeometry& display);
DisplayLayout ComputeDisplayLayout(int width, int height, bool rotate, bool doubleSize);
// The same with rotate and double size taken from output type 5, 7, 8 or 9 (others: type 5).
DisplayLayout LayoutForOutputType(int width, int height, int outputType,
                                  const platform::DisplayGeometry& display);
DisplayLayout LayoutForOutputType(int width, int height, int outputType);

}  // namespace mivora
