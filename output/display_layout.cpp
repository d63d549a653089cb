#include "output/display_layout.h"

#include <algorithm>

namespace mivora {

DisplayLayout ComputeDisplayLayout(int width, int height, bool rotate, bool doubleSize,
                                   const platform::DisplayGeometry& display) {
  // A negative size (a damaged header) would put the start far outside the display; it is taken
  // as an empty picture, which the converters draw as nothing.
  width = std::max(width, 0);
  height = std::max(height, 0);
  const int w = rotate ? height : width;
  const int h = rotate ? width : height;
  int extent, shownWidth, shownHeight;
  if (doubleSize) {
    extent = std::min(w, display.width / 2);
    shownWidth = 2 * extent;
    shownHeight = 2 * std::min(h, display.height / 2);
  } else {
    extent = std::min(w, display.width);
    shownWidth = w;
    shownHeight = h;
  }
  DisplayLayout layout;
  // Offsets truncate toward zero; a picture that fills a direction starts at 0 in it. An odd
  // extent can leave an odd left offset: the converters store at any pixel position.
  const int top = shownHeight >= display.height ? 0 : (display.height - shownHeight) / 2;
  const int left = shownWidth >= display.width ? 0 : (display.width - shownWidth) / 2;
  layout.topOffset = static_cast<std::int16_t>(top);
  layout.leftOffset = static_cast<std::int16_t>(left);
  layout.rowSkip = display.pitch - extent;
  layout.startOffset = top * display.pitch + left;
  return layout;
}

DisplayLayout ComputeDisplayLayout(int width, int height, bool rotate, bool doubleSize) {
  return ComputeDisplayLayout(width, height, rotate, doubleSize,
                              platform::CurrentDisplayGeometry());
}

DisplayLayout LayoutForOutputType(int width, int height, int outputType,
                                  const platform::DisplayGeometry& display) {
  const bool rotate = outputType == 7 || outputType == 9;
  const bool doubleSize = outputType == 8 || outputType == 9;
  return ComputeDisplayLayout(width, height, rotate, doubleSize, display);
}

DisplayLayout LayoutForOutputType(int width, int height, int outputType) {
  return LayoutForOutputType(width, height, outputType, platform::CurrentDisplayGeometry());
}

}  // namespace mivora
