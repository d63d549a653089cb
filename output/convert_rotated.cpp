// Type 7: turned 90 degrees counter-clockwise, one display pixel per sample. Source row pairs
// become display column pairs stored as 32-bit words; the right edge runs along the display top.
#include <algorithm>

#include "output/convert_dsp.h"
#include "output/convert_planes.h"
#include "output/convert_sample.h"
#include "output/converters.h"
#include "platform/display_memory.h"

namespace mivora {

using namespace convert;

namespace {

constexpr int kBandGroups = 8;

// The skip check of mode 7 looks at row y only: Y(x, y), Y(x - 1, y) (when x - 1 is converted
// with x) and the chrominance pair of column x >> 1.
bool Unchanged(const Planes& p, const SourceRows& rows, std::ptrdiff_t lumaRow,
               std::ptrdiff_t chromaRow, int x, bool withLeft) {
  if (!p.Skipping()) return false;
  const std::uint8_t* prevY = p.prevY + lumaRow * p.strideY;
  const int c = x >> 1;
  if (rows.y0[x] != prevY[x]) return false;
  if (withLeft && rows.y0[x - 1] != prevY[x - 1]) return false;
  return rows.u0[c] == p.prevU[chromaRow * p.strideU + c] &&
         rows.v0[c] == p.prevV[chromaRow * p.strideU + c];
}

}  // namespace

void ConvertRotated(const std::uint8_t* y, std::int32_t strideY, const std::uint8_t* u,
                    const std::uint8_t* v, std::int32_t strideU, std::uint16_t* destination,
                    std::int32_t width, std::int32_t height, std::int32_t rowSkip,
                    std::uint8_t /*cleanVideo*/, std::int32_t brightness, const std::uint8_t* prevY,
                    const std::uint8_t* prevU, const std::uint8_t* prevV,
                    std::int32_t skipUnchanged, std::uint8_t /*reserved*/) {
  Planes p(y, strideY, u, v, strideU, prevY, prevU, prevV, skipUnchanged);
  if (!p.Valid() || !destination || width <= 0 || height <= 0) return;
  // Source columns run down the display and rows across it: the centred crop is to the display
  // in force, turned.
  const platform::DisplayGeometry display = platform::CurrentDisplayGeometry();
  int w = width, h = height;
  p.CropTo(w, h, display.height, display.width);
  const std::ptrdiff_t stride = h + std::max<std::int32_t>(rowSkip, 0);
  const int b = ClampBrightness(brightness);
  const ConvertDsp& dsp = ActiveConvertDsp();
  // Columns go in pairs (x, x - 1) from x = w - 1 down, each pair with the chrominance of
  // column x >> 1. Decided here: with an odd width, the column 0 left over goes to the last
  // display row with its own chrominance; with an odd height, the last source row alone fills
  // the last display column with 16-bit stores. Nothing below the last row is read.
  const int pairs = w / 2;
  const int last = w - 1;
  std::uint16_t* const leftoverRow = (w & 1) ? destination + last * stride : nullptr;

  int row = 0;
  // Eight source rows at a time while they exist: display rows then take eight adjacent pixels.
  // Kernels that take bands of groups get up to eight at once (128 bytes per display row).
  while (row + 8 <= h) {
    const int groups = dsp.rotatedRowBand ? std::min((h - row) / 8, kBandGroups) : 1;
    const std::ptrdiff_t chromaRow = row / 2;
    SourceRows rows;
    rows.y0 = p.y + row * p.strideY;
    rows.y1 = rows.y0 + p.strideY;
    rows.u0 = p.u + chromaRow * p.strideU;
    rows.v0 = p.v + chromaRow * p.strideU;
    rows.brightness = b;
    if (p.Skipping()) {
      rows.prevY0 = p.prevY + row * p.strideY;
      rows.prevU = p.prevU + chromaRow * p.strideU;
      rows.prevV = p.prevV + chromaRow * p.strideU;
    }
    if (dsp.rotatedRowBand)
      dsp.rotatedRowBand(rows, p.strideY, p.strideU, destination + row, stride, last, pairs,
                         groups);
    else
      dsp.rotatedRowGroup(rows, p.strideY, p.strideU, destination + row, stride, last, pairs);
    if (leftoverRow) {
      for (int r = row; r < row + 8 * groups; r += 2) {
        SourceRows pair = rows;
        pair.y0 = p.y + r * p.strideY;
        pair.y1 = pair.y0 + p.strideY;
        pair.u0 = p.u + (r / 2) * p.strideU;
        pair.v0 = p.v + (r / 2) * p.strideU;
        if (Unchanged(p, pair, r, r / 2, 0, false)) continue;
        const ChromaTerms terms = MakeTerms(pair.u0[0], pair.v0[0], b);
        StorePair(leftoverRow + r, PixelFromTerms(pair.y0[0], terms),
                  PixelFromTerms(pair.y1[0], terms));
      }
    }
    row += 8 * groups;
  }
  for (; row < h; row += 2) {
    const std::ptrdiff_t chromaRow = row / 2;
    SourceRows rows;
    rows.y0 = p.y + row * p.strideY;
    rows.u0 = p.u + chromaRow * p.strideU;
    rows.v0 = p.v + chromaRow * p.strideU;
    rows.brightness = b;
    std::uint16_t* column = destination + row;
    if (row + 1 < h) {
      rows.y1 = rows.y0 + p.strideY;
      if (p.Skipping()) {
        rows.prevY0 = p.prevY + row * p.strideY;
        rows.prevU = p.prevU + chromaRow * p.strideU;
        rows.prevV = p.prevV + chromaRow * p.strideU;
      }
      dsp.rotatedRowPair(rows, column, stride, last, pairs);
      if (leftoverRow && !Unchanged(p, rows, row, chromaRow, 0, false)) {
        const ChromaTerms terms = MakeTerms(rows.u0[0], rows.v0[0], b);
        StorePair(leftoverRow + row, PixelFromTerms(rows.y0[0], terms),
                  PixelFromTerms(rows.y1[0], terms));
      }
    } else {
      for (int k = 0; k < pairs; ++k) {
        const int x = last - 2 * k;
        if (Unchanged(p, rows, row, chromaRow, x, true)) continue;
        const ChromaTerms terms = MakeTerms(rows.u0[x >> 1], rows.v0[x >> 1], b);
        column[2 * k * stride] = PixelFromTerms(rows.y0[x], terms);
        column[(2 * k + 1) * stride] = PixelFromTerms(rows.y0[x - 1], terms);
      }
      if (leftoverRow && !Unchanged(p, rows, row, chromaRow, 0, false)) {
        leftoverRow[row] = ConvertSample(rows.y0[0], rows.u0[0], rows.v0[0], b);
      }
    }
  }
}

}  // namespace mivora
