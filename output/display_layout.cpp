#include "output/display_layout.h"

#include <algorithm>

namespace mivora {

DisplayLayout ComputeDisplayLayout(int width, int height, bool rotate, bool doubleSize) {
  // A negative size (a damaged header) would put the start far outside the display; it is taken
  // as an empty picture, which the converters draw as nothing.
  width = std::max(width, 0);
  height = std::max(height, 0);
  const int w = rotate ? height : width;
  const int h = rotate ? width : height;
  int extent, shownWidth, shownHeight;
  if (doubleSize) {
    extent = w > 320 ? 320 : w;
    shownWidth = 2 * extent;
    shownHeight = 2 * (h > 120 ? 120 : h);
  } else {
    extent = std::min(w, 640);
    shownWidth = w;
    shownHeight = h;
  }
  DisplayLayout layout;
  // Offsets truncate toward zero; a picture that fills a direction starts at 0 in it. An odd
  // extent can leave an odd left offset: the converters store at any pixel position.
  const int top = shownHeight >= 240 ? 0 : (240 - shownHeight) / 2;
  const int left = shownWidth >= 640 ? 0 : (640 - shownWidth) / 2;
  layout.topOffset = static_cast<std::int16_t>(top);
  layout.leftOffset = static_cast<std::int16_t>(left);
  layout.rowSkip = 640 - extent;
  layout.startOffset = top * 640 + left;
  return layout;
}

DisplayLayout LayoutForOutputType(int width, int height, int outputType) {
  const bool rotate = outputType == 7 || outputType == 9;
  const bool doubleSize = outputType == 8 || outputType == 9;
  return ComputeDisplayLayout(width, height, rotate, doubleSize);
}

}  // namespace mivora
