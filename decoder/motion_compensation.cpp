#include "decoder/motion_compensation.h"

#include <algorithm>
#include <cstddef>

#include "decoder/dsp.h"

namespace mivora::decoder {
namespace {

constexpr int kChromaTable[16] = {0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2};

// Largest area one prediction reads: 16 samples plus one for the half-sample neighbour.
constexpr int kScratch = 17;

}  // namespace

int ChromaFromFourVectors(int sum) {
  if (sum == 0) return 0;
  const int a = sum < 0 ? -sum : sum;
  const int c = kChromaTable[a & 15] + ((a >> 3) & ~1);
  return sum < 0 ? -c : c;
}

int ChromaFromOneVector(int v) {
  return (v & 3) == 0 ? v >> 1 : (v | 2) >> 1;
}

namespace {

// Out of the padded plane (large vectors, or the overhang of a picture whose size is not a
// multiple of 16): gather the area with clamped coordinates. The border repeats the edge, so
// clamping to the padded plane gives the values of an edge extended without end. average: the
// prediction is averaged into the destination (fn is the plain one).
__attribute__((noinline)) void PredictClamped(PredictFn fn, const std::uint8_t* reference,
                                              std::uint8_t* dst, int stride, int minX, int maxX,
                                              int minY, int maxY, int size, int sx, int sy,
                                              bool average) {
  // Every sample the routine reads is set below; the initialiser only quiets the compiler, which
  // cannot see that size is 8 or 16.
  std::uint8_t area[kScratch * kScratch] = {};
  for (int r = 0; r <= size; ++r) {
    const int ry = std::clamp(sy + r, minY, maxY);
    const std::uint8_t* row = reference + static_cast<std::ptrdiff_t>(ry) * stride;
    for (int c = 0; c <= size; ++c) area[r * kScratch + c] = row[std::clamp(sx + c, minX, maxX)];
  }
  // The routine writes with the area's stride; copy its result into the picture afterwards.
  std::uint8_t out[kScratch * kScratch];
  fn(area, out, kScratch);
  for (int r = 0; r < size; ++r) {
    std::uint8_t* d = dst + static_cast<std::ptrdiff_t>(r) * stride;
    const std::uint8_t* o = out + r * kScratch;
    if (average) {
      for (int c = 0; c < size; ++c) d[c] = static_cast<std::uint8_t>((d[c] + o[c] + 1) >> 1);
    } else {
      std::copy(o, o + size, d);
    }
  }
}

// Inlined into the macroblock loop, which looks the kernel table up once: at a few ns per
// prediction kernel, the call and argument set-up around it are a large share of the work.
template <bool kAverage = false>
__attribute__((always_inline)) inline void Predict(const DecoderDsp& dsp,
                                                   const std::uint8_t* reference,
                                                   std::uint8_t* current, int stride,
                                                   int paddedRows, int border, int size, int x,
                                                   int y, int mvx, int mvy, int roundingType) {
  const int sx = x + (mvx >> 1);
  const int sy = y + (mvy >> 1);
  const int selector = PredictSelector(size, roundingType, mvx, mvy);
  std::uint8_t* dst = current + static_cast<std::ptrdiff_t>(y) * stride + x;
  // The padded plane in picture coordinates: columns -border .. stride-border-1, rows
  // -border .. paddedRows-border-1. Each prediction reads size+1 columns and rows.
  const int minX = -border, maxX = stride - border - 1;
  const int minY = -border, maxY = paddedRows - border - 1;
  if (sx >= minX && sy >= minY && sx + size <= maxX && sy + size <= maxY) {
    const PredictFn fn = kAverage ? dsp.predictAverage[selector] : dsp.predict[selector];
    fn(reference + static_cast<std::ptrdiff_t>(sy) * stride + sx, dst, stride);
  } else {
    PredictClamped(dsp.predict[selector], reference, dst, stride, minX, maxX, minY, maxY, size, sx,
                   sy, kAverage);
  }
}

// A quarter-sample luminance block: the same bounds as a half-sample one (size + 1 samples from the
// whole-sample position), the kernel chosen by both fractions.
template <bool kAverage>
__attribute__((always_inline)) inline void PredictQuarter(const DecoderDsp& dsp,
                                                          const std::uint8_t* reference,
                                                          std::uint8_t* current, int stride,
                                                          int paddedRows, int size, int x, int y,
                                                          int mvx, int mvy, int roundingType) {
  const int sx = x + (mvx >> 2);
  const int sy = y + (mvy >> 2);
  const int selector = QpelSelector(size, roundingType, mvx, mvy);
  std::uint8_t* dst = current + static_cast<std::ptrdiff_t>(y) * stride + x;
  const int minX = -kLumaBorder, maxX = stride - kLumaBorder - 1;
  const int minY = -kLumaBorder, maxY = paddedRows - kLumaBorder - 1;
  if (sx >= minX && sy >= minY && sx + size <= maxX && sy + size <= maxY) {
    const PredictFn fn = kAverage ? dsp.qpelAverage[selector] : dsp.qpel[selector];
    fn(reference + static_cast<std::ptrdiff_t>(sy) * stride + sx, dst, stride);
  } else {
    PredictClamped(dsp.qpel[selector], reference, dst, stride, minX, maxX, minY, maxY, size, sx, sy,
                   kAverage);
  }
}

// Quarter-sample vectors: luminance by the quarter-sample kernels; chrominance from the vectors
// halved (toward zero) by the half-sample rules.
template <bool kAverage>
[[gnu::noinline]] void PredictQuarterLuma(const DecoderDsp& dsp, const PictureStore& store,
                                          const Picture& from, const Picture& to, int mbx, int mby,
                                          int mode, const MotionVector mv[4], int roundingType,
                                          int& cx, int& cy) {
  const int s = store.stride, rows = store.paddedHeight;
  if (mode == 2) {
    int sx = 0, sy = 0;
    for (int i = 0; i < 4; ++i) {
      PredictQuarter<kAverage>(dsp, from.y, to.y, s, rows, 8, 16 * mbx + 8 * (i & 1),
                               16 * mby + 8 * (i >> 1), mv[i].x, mv[i].y, roundingType);
      sx += mv[i].x / 2;
      sy += mv[i].y / 2;
    }
    cx = ChromaFromFourVectors(sx);
    cy = ChromaFromFourVectors(sy);
  } else {
    PredictQuarter<kAverage>(dsp, from.y, to.y, s, rows, 16, 16 * mbx, 16 * mby, mv[0].x, mv[0].y,
                             roundingType);
    cx = ChromaFromOneVector(mv[0].x / 2);
    cy = ChromaFromOneVector(mv[0].y / 2);
  }
}

}  // namespace

void PredictBlock(const std::uint8_t* reference, std::uint8_t* current, int stride, int paddedRows,
                  int border, int size, int x, int y, int mvx, int mvy, int roundingType) {
  Predict(Dsp(), reference, current, stride, paddedRows, border, size, x, y, mvx, mvy,
          roundingType);
}

void PredictMacroblock(PictureStore& store, int mbx, int mby, int mode, const MotionVector mv[4],
                       int roundingType) {
  PredictMacroblock(store, store.reference, store.current, mbx, mby, mode, mv, roundingType);
}

namespace {

// Luminance, then chrominance from the vectors.
template <bool kAverage>
__attribute__((always_inline)) inline void PredictInto(const PictureStore& store,
                                                       const Picture& from, const Picture& to,
                                                       int mbx, int mby, int mode,
                                                       const MotionVector mv[4], int roundingType) {
  const DecoderDsp& dsp = Dsp();
  const int s = store.stride, rows = store.paddedHeight;
  int cx, cy;
  if (store.quarterSample) [[unlikely]] {
    PredictQuarterLuma<kAverage>(dsp, store, from, to, mbx, mby, mode, mv, roundingType, cx, cy);
  } else if (mode == 2) {
    for (int i = 0; i < 4; ++i)
      Predict<kAverage>(dsp, from.y, to.y, s, rows, kLumaBorder, 8, 16 * mbx + 8 * (i & 1),
                        16 * mby + 8 * (i >> 1), mv[i].x, mv[i].y, roundingType);
    cx = ChromaFromFourVectors(mv[0].x + mv[1].x + mv[2].x + mv[3].x);
    cy = ChromaFromFourVectors(mv[0].y + mv[1].y + mv[2].y + mv[3].y);
  } else {
    Predict<kAverage>(dsp, from.y, to.y, s, rows, kLumaBorder, 16, 16 * mbx, 16 * mby, mv[0].x,
                      mv[0].y, roundingType);
    cx = ChromaFromOneVector(mv[0].x);
    cy = ChromaFromOneVector(mv[0].y);
  }
  const int cs = s >> 1, crows = rows >> 1;
  Predict<kAverage>(dsp, from.u, to.u, cs, crows, kChromaBorder, 8, 8 * mbx, 8 * mby, cx, cy,
                    roundingType);
  Predict<kAverage>(dsp, from.v, to.v, cs, crows, kChromaBorder, 8, 8 * mbx, 8 * mby, cx, cy,
                    roundingType);
}

}  // namespace

void PredictMacroblock(const PictureStore& store, const Picture& from, const Picture& to, int mbx,
                       int mby, int mode, const MotionVector mv[4], int roundingType) {
  PredictInto<false>(store, from, to, mbx, mby, mode, mv, roundingType);
}

void PredictMacroblockAveraged(const PictureStore& store, const Picture& from, const Picture& to,
                               int mbx, int mby, int mode, const MotionVector mv[4],
                               int roundingType) {
  PredictInto<true>(store, from, to, mbx, mby, mode, mv, roundingType);
}

}  // namespace mivora::decoder
