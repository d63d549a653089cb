// Prediction of one macroblock of a P picture from the reference picture, written straight into
// the current picture.
#pragma once

#include <cstdint>

#include "decoder/picture.h"

namespace mivora::decoder {

// In half samples, x to the right, y downwards.
struct MotionVector {
  std::int16_t x, y;
};

// mode 2: four vectors (one per 8x8 luminance block, raster order); otherwise mv[0] for the whole
// macroblock. Vectors of any size are safe: reads beyond the padded reference see the edge
// replicated without end and never leave the picture buffer.
void PredictMacroblock(PictureStore& store, int mbx, int mby, int mode, const MotionVector mv[4],
                       int roundingType);
// The same from any picture of the store's layout into any other (B pictures).
void PredictMacroblock(const PictureStore& layout, const Picture& from, const Picture& to, int mbx,
                       int mby, int mode, const MotionVector mv[4], int roundingType);
// The prediction averaged into `to`, to := (to + prediction + 1) >> 1: the second half of a
// bidirectional prediction, without a macroblock of its own.
void PredictMacroblockAveraged(const PictureStore& layout, const Picture& from, const Picture& to,
                               int mbx, int mby, int mode, const MotionVector mv[4],
                               int roundingType);

// One block of size 8 or 16 whose top-left sample is (x, y) of the plane's picture area.
// reference/current address sample (0, 0); the padded plane is stride x paddedRows with the
// picture area starting border rows and columns in.
void PredictBlock(const std::uint8_t* reference, std::uint8_t* current, int stride, int paddedRows,
                  int border, int size, int x, int y, int mvx, int mvy, int roundingType);

// The chrominance vector component for four luminance vectors whose component sums to sum.
int ChromaFromFourVectors(int sum);
// The chrominance vector component for a one-vector macroblock's luminance component v.
int ChromaFromOneVector(int v);

}  // namespace mivora::decoder
