// Where a picture lies on the 640 x 240 display for an output mode: the picture is centred, and
// the converters are handed the row skip that makes their rows 640 pixels long.
#pragma once

#include <cstdint>

namespace mivora {

struct DisplayLayout {
  std::int16_t topOffset = 0;    // first display row of the picture
  std::int16_t leftOffset = 0;   // first display column of the picture
  std::int32_t rowSkip = 0;      // 640 minus the clipped source extent along a display row
  std::int32_t startOffset = 0;  // topOffset * 640 + leftOffset, pixels from the display start
};

// The layout for a video of width x height samples, turned (rotate) and/or doubled.
DisplayLayout ComputeDisplayLayout(int width, int height, bool rotate, bool doubleSize);
// The same with rotate and double size taken from output type 5, 7, 8 or 9 (others: type 5).
DisplayLayout LayoutForOutputType(int width, int height, int outputType);

}  // namespace mivora
