// The current and previous source planes as the converters walk them, with the crops that move
// their starts.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mivora::convert {

struct Planes {
  const std::uint8_t* y;
  const std::uint8_t* u;
  const std::uint8_t* v;
  const std::uint8_t* prevY;  // null when the skip-unchanged check is off
  const std::uint8_t* prevU;
  const std::uint8_t* prevV;
  std::ptrdiff_t strideY;
  std::ptrdiff_t strideU;

  // Previous planes are kept only when the check is on and all three are present, so a caller
  // that asks for the check without previous planes gets every pixel written.
  Planes(const std::uint8_t* y_, std::int32_t strideY_, const std::uint8_t* u_,
         const std::uint8_t* v_, std::int32_t strideU_, const std::uint8_t* prevY_,
         const std::uint8_t* prevU_, const std::uint8_t* prevV_, std::int32_t skipUnchanged)
      : y(y_),
        u(u_),
        v(v_),
        prevY(nullptr),
        prevU(nullptr),
        prevV(nullptr),
        strideY(strideY_),
        strideU(strideU_) {
    if (skipUnchanged != 0 && prevY_ && prevU_ && prevV_) {
      prevY = prevY_;
      prevU = prevU_;
      prevV = prevV_;
    }
  }

  bool Valid() const { return y && u && v; }
  bool Skipping() const { return prevY != nullptr; }

  // Centred vertical crop of excess rows. Decided here: the luminance start moves by twice the
  // chrominance move, (excess / 4) * 2 rows, so each chrominance row stays with its own two
  // luminance rows; the picture then sits at most one row above the exact centre.
  void CropRows(std::int32_t excess) {
    const std::ptrdiff_t chromaRows = excess / 4;
    Advance(2 * chromaRows * strideY, chromaRows * strideU);
  }
  // Centred horizontal crop: luminance by excess >> 1 samples, chrominance by excess >> 2.
  void CropColumns(std::int32_t excess) { Advance(excess >> 1, excess >> 2); }
  // A picture of width x height cropped, centred, to at most columns x rows; the size left is
  // written back.
  void CropTo(int& width, int& height, int columns, int rows) {
    if (height > rows) {
      CropRows(height - rows);
      height = rows;
    }
    if (width > columns) {
      CropColumns(width - columns);
      width = columns;
    }
  }

 private:
  void Advance(std::ptrdiff_t luma, std::ptrdiff_t chroma) {
    y += luma;
    u += chroma;
    v += chroma;
    if (prevY) {
      prevY += luma;
      prevU += chroma;
      prevV += chroma;
    }
  }
};

}  // namespace mivora::convert
