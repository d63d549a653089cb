// Type 5: as decoded, one display pixel per sample, two pixels per 32-bit store.
#include <algorithm>

#include "output/convert_dsp.h"
#include "output/convert_planes.h"
#include "output/convert_sample.h"
#include "output/converters.h"
#include "platform/display_memory.h"

namespace mivora {

using namespace convert;

namespace {

// An odd width leaves one column after the pairs and an odd height one row. Decided here: they
// are converted like the pairs (16-bit stores where a pair is incomplete) rather than dropped,
// and nothing below the last row or right of the last column is read, so planes from any decoder
// are safe. The skip check compares the samples of the block that exist.
bool Unchanged(const Planes& p, std::ptrdiff_t lumaRow, std::ptrdiff_t chromaRow, int x,
               bool secondRow) {
  if (!p.Skipping()) return false;
  const int c = x >> 1;
  const std::uint8_t* y = p.y + lumaRow * p.strideY;
  const std::uint8_t* prevY = p.prevY + lumaRow * p.strideY;
  if (y[x] != prevY[x]) return false;
  if (secondRow && y[x + p.strideY] != prevY[x + p.strideY]) return false;
  return p.u[chromaRow * p.strideU + c] == p.prevU[chromaRow * p.strideU + c] &&
         p.v[chromaRow * p.strideU + c] == p.prevV[chromaRow * p.strideU + c];
}

}  // namespace

void ConvertNormal(const std::uint8_t* y, std::int32_t strideY, const std::uint8_t* u,
                   const std::uint8_t* v, std::int32_t strideU, std::uint16_t* destination,
                   std::int32_t width, std::int32_t height, std::int32_t rowSkip,
                   std::uint8_t /*cleanVideo*/, std::int32_t brightness, const std::uint8_t* prevY,
                   const std::uint8_t* prevU, const std::uint8_t* prevV, std::int32_t skipUnchanged,
                   std::uint8_t /*reserved*/) {
  Planes p(y, strideY, u, v, strideU, prevY, prevU, prevV, skipUnchanged);
  if (!p.Valid() || !destination || width <= 0 || height <= 0) return;
  // The picture is cropped, centred, to the display in force.
  const platform::DisplayGeometry display = platform::CurrentDisplayGeometry();
  int w = width, h = height;
  p.CropTo(w, h, display.width, display.height);
  // A negative rowSkip would make rows run backwards from the destination, outside the display;
  // it is taken as 0 here as in the other modes.
  const std::ptrdiff_t stride = w + std::max<std::int32_t>(rowSkip, 0);
  const int b = ClampBrightness(brightness);
  const ConvertDsp& dsp = ActiveConvertDsp();
  const int pairs = w / 2;
  const int lastColumn = (w & 1) ? w - 1 : -1;

  for (int row = 0; row < h; row += 2) {
    const std::ptrdiff_t chromaRow = row / 2;
    SourceRows rows;
    rows.y0 = p.y + row * p.strideY;
    rows.u0 = p.u + chromaRow * p.strideU;
    rows.v0 = p.v + chromaRow * p.strideU;
    rows.brightness = b;
    std::uint16_t* top = destination + row * stride;
    const bool pair = row + 1 < h;
    if (pair) {
      rows.y1 = rows.y0 + p.strideY;
      if (p.Skipping()) {
        rows.prevY0 = p.prevY + row * p.strideY;
        rows.prevY1 = rows.prevY0 + p.strideY;
        rows.prevU = p.prevU + chromaRow * p.strideU;
        rows.prevV = p.prevV + chromaRow * p.strideU;
      }
      dsp.normalRowPair(rows, top, top + stride, pairs);
    } else {
      for (int x = 0; x < 2 * pairs; x += 2) {
        if (Unchanged(p, row, chromaRow, x, false)) continue;
        const ChromaTerms terms = MakeTerms(rows.u0[x >> 1], rows.v0[x >> 1], b);
        StorePair(top + x, PixelFromTerms(rows.y0[x], terms),
                  PixelFromTerms(rows.y0[x + 1], terms));
      }
    }
    if (lastColumn >= 0 && !Unchanged(p, row, chromaRow, lastColumn, pair)) {
      const ChromaTerms terms = MakeTerms(rows.u0[lastColumn >> 1], rows.v0[lastColumn >> 1], b);
      top[lastColumn] = PixelFromTerms(rows.y0[lastColumn], terms);
      if (pair) top[stride + lastColumn] = PixelFromTerms(rows.y1[lastColumn], terms);
    }
  }
}

}  // namespace mivora
