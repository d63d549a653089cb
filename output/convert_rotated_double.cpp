// Type 9: turned 90 degrees counter-clockwise, each sample repeated as a 2x2 block. Never skips:
// every pixel is written on every call.
#include <algorithm>

#include "output/convert_dsp.h"
#include "output/convert_planes.h"
#include "output/converters.h"
#include "platform/display_memory.h"

namespace mivora {

using namespace convert;

void ConvertRotatedDouble(const std::uint8_t* y, std::int32_t strideY, const std::uint8_t* u,
                          const std::uint8_t* v, std::int32_t strideU, std::uint16_t* destination,
                          std::int32_t width, std::int32_t height, std::int32_t rowSkip,
                          std::uint8_t /*cleanVideo*/, std::int32_t /*brightness*/,
                          const std::uint8_t* /*prevY*/, const std::uint8_t* /*prevU*/,
                          const std::uint8_t* /*prevV*/, std::int32_t /*skipUnchanged*/,
                          std::uint8_t /*reserved*/) {
  const Planes p(y, strideY, u, v, strideU, nullptr, nullptr, nullptr, 0);
  if (!p.Valid() || !destination || width <= 0 || height <= 0) return;
  // Doubled and turned output fits half the display in force each way (source columns run down
  // it); the right and bottom are dropped.
  const platform::DisplayGeometry display = platform::CurrentDisplayGeometry();
  const int w = std::min(width, display.height / 2);
  const int h = std::min(height, display.width / 2);
  if (w <= 0 || h <= 0) return;
  const std::ptrdiff_t stride = h + std::max<std::int32_t>(rowSkip, 0);
  const ConvertDsp& dsp = ActiveConvertDsp();

  int row = 0;
  // Eight source rows at a time while they exist: display rows then take sixteen adjacent pixels.
  // Kernels that take bands of groups get up to eight at once (256 bytes per display row).
  while (row + 8 <= h) {
    const int groups = dsp.rotatedDoubleRowBand ? std::min((h - row) / 8, 8) : 1;
    SourceRows rows;
    rows.y0 = p.y + row * p.strideY;
    rows.u0 = p.u + (row >> 1) * p.strideU;
    rows.v0 = p.v + (row >> 1) * p.strideU;
    if (dsp.rotatedDoubleRowBand)
      dsp.rotatedDoubleRowBand(rows, p.strideY, p.strideU, destination + 2 * row, stride, w,
                               groups);
    else
      dsp.rotatedDoubleRowGroup(rows, p.strideY, p.strideU, destination + 2 * row, stride, w);
    row += 8 * groups;
  }
  for (; row < h; ++row) {
    const std::ptrdiff_t chromaRow = row >> 1;
    SourceRows rows;
    rows.y0 = p.y + row * p.strideY;
    rows.u0 = p.u + chromaRow * p.strideU;
    rows.v0 = p.v + chromaRow * p.strideU;
    dsp.rotatedDoubleRow(rows, destination + 2 * row, stride, w);
  }
}

}  // namespace mivora
