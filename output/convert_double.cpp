// Type 8: as decoded, each sample a 2x2 block: the sample itself and three pixels interpolated
// towards its right, lower and lower-right neighbours.
#include <algorithm>

#include "output/convert_dsp.h"
#include "output/convert_planes.h"
#include "output/converters.h"
#include "platform/display_memory.h"

namespace mivora {

using namespace convert;

void ConvertDouble(const std::uint8_t* y, std::int32_t strideY, const std::uint8_t* u,
                   const std::uint8_t* v, std::int32_t strideU, std::uint16_t* destination,
                   std::int32_t width, std::int32_t height, std::int32_t rowSkip,
                   std::uint8_t /*cleanVideo*/, std::int32_t /*brightness*/,
                   const std::uint8_t* prevY, const std::uint8_t* prevU, const std::uint8_t* prevV,
                   std::int32_t skipUnchanged, std::uint8_t /*reserved*/) {
  const Planes p(y, strideY, u, v, strideU, prevY, prevU, prevV, skipUnchanged);
  if (!p.Valid() || !destination || width <= 0 || height <= 0) return;
  // Doubled output fits half the display in force each way; the right and bottom are dropped.
  const platform::DisplayGeometry display = platform::CurrentDisplayGeometry();
  const int w = std::min(width, display.width / 2);
  const int h = std::min(height, display.height / 2);
  if (w <= 0 || h <= 0) return;
  const std::ptrdiff_t stride = w + std::max<std::int32_t>(rowSkip, 0);
  const ConvertDsp& dsp = ActiveConvertDsp();

  for (int row = 0; row < h; ++row) {
    const std::ptrdiff_t chromaRow = row >> 1;
    SourceRows rows;
    rows.y0 = p.y + row * p.strideY;
    rows.u0 = p.u + chromaRow * p.strideU;
    rows.v0 = p.v + chromaRow * p.strideU;
    // The lower pixels interpolate towards the next source row. Decided here: that row is read
    // only when it belongs to the picture (height counts the rows that exist, cropped or not);
    // below the last row the row itself is used, so the lower pixels repeat the upper ones and
    // planes without a border below are safe.
    const bool below = row + 1 < height;
    rows.y1 = below ? rows.y0 + p.strideY : rows.y0;
    const bool nextChroma = below && (row & 1);
    rows.u1 = nextChroma ? rows.u0 + p.strideU : rows.u0;
    rows.v1 = nextChroma ? rows.v0 + p.strideU : rows.v0;
    if (p.Skipping()) {
      rows.prevY0 = p.prevY + row * p.strideY;
      rows.prevU = p.prevU + chromaRow * p.strideU;
      rows.prevV = p.prevV + chromaRow * p.strideU;
    }
    std::uint16_t* top = destination + 2 * row * stride;
    dsp.doubleRow(rows, top, top + stride, 0, w, w);
  }
}

}  // namespace mivora
