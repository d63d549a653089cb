#include "decoder/global_motion.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "decoder/decoder_state.h"
#include "decoder/dsp.h"

namespace mivora::decoder {
namespace {

// Largest area one warp reads: a 16x16 block and the next row and column.
constexpr int kArea = 17;

// value / 2^shift rounded to the nearest, halves away from zero.
std::int64_t RoundShift(std::int64_t value, int shift) {
  const std::int64_t half = std::int64_t{1} << (shift - 1);
  return value >= 0 ? (value + half) >> shift : -((-value + half) >> shift);
}

// One block of a plane: whole-sample position (sx, sy), sixteenths (fx, fy).
void Warp(WarpFn fn, const std::uint8_t* from, std::uint8_t* to, int stride, int paddedRows,
          int border, int size, int x, int y, int sx, int sy, int fx, int fy, int rounding) {
  const int minX = -border, maxX = stride - border - 1;
  const int minY = -border, maxY = paddedRows - border - 1;
  std::uint8_t* dst = to + static_cast<std::ptrdiff_t>(y) * stride + x;
  if (sx >= minX && sy >= minY && sx + size <= maxX && sy + size <= maxY) {
    fn(from + static_cast<std::ptrdiff_t>(sy) * stride + sx, dst, stride, fx, fy, rounding);
    return;
  }
  // Beyond the padding: the edge replicated without end, gathered first.
  std::uint8_t area[kArea * kArea], out[kArea * kArea];
  for (int r = 0; r <= size; ++r) {
    const std::uint8_t* row =
        from + static_cast<std::ptrdiff_t>(std::clamp(sy + r, minY, maxY)) * stride;
    for (int c = 0; c <= size; ++c) area[r * kArea + c] = row[std::clamp(sx + c, minX, maxX)];
  }
  fn(area, out, kArea, fx, fy, rounding);
  for (int r = 0; r < size; ++r)
    std::copy(out + r * kArea, out + r * kArea + size,
              dst + static_cast<std::ptrdiff_t>(r) * stride);
}

// a / b rounded to the nearest, halves away from zero, for b > 0.
std::int64_t RoundDivide(std::int64_t a, std::int64_t b) {
  return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

int Log2Ceiling(int n) {
  int k = 0;
  while ((1 << k) < n) ++k;
  return k;
}

// Two or three warping points: the positions of the picture's corners (top left, top right,
// bottom left) in the reference moved to virtual corners at power-of-two distances W' and H', so
// that every division by the distances is a shift.
void PrepareAffine(int points, const int w[3][2], int width, int height, GlobalMotion& m) {
  using I = std::int64_t;
  const int rho = m.shift;
  const I r = 16 >> rho, half = I{1} << (rho - 1);
  const I width64 = std::max(width, 1), height64 = std::max(height, 1);
  const I i0 = half * w[0][0], j0 = half * w[0][1];
  const I i1 = half * (2 * width64 + w[0][0] + w[1][0]), j1 = half * (w[0][1] + w[1][1]);
  const I i2 = half * (w[0][0] + w[2][0]), j2 = half * (2 * height64 + w[0][1] + w[2][1]);
  const int alpha = Log2Ceiling(static_cast<int>(width64));
  const int beta = Log2Ceiling(static_cast<int>(height64));
  const I wv = I{1} << alpha, hv = I{1} << beta;
  // The virtual corners, in sixteenths.
  const I i1v =
      16 * wv + RoundDivide((width64 - wv) * r * i0 + wv * (r * i1 - 16 * width64), width64);
  const I j1v = RoundDivide((width64 - wv) * r * j0 + wv * r * j1, width64);
  const I i2v = RoundDivide((height64 - hv) * r * i0 + hv * r * i2, height64);
  const I j2v =
      16 * hv + RoundDivide((height64 - hv) * r * j0 + hv * (r * j2 - 16 * height64), height64);
  I a, b, c, d;
  int k;
  if (points == 2) {  // rotation and scale: one pair of factors for both axes
    a = d = i1v - r * i0;
    c = j1v - r * j0;
    b = -c;
    k = alpha + 4 - rho;
  } else {
    a = (i1v - r * i0) * hv;
    b = (i2v - r * i0) * wv;
    c = (j1v - r * j0) * hv;
    d = (j2v - r * j0) * wv;
    k = alpha + beta + 4 - rho;
  }
  // Luminance: the first point's position plus the factors' share, rounded half up.
  AffineWarp& l = m.lumaWarp;
  const I one = I{1} << k, roundUp = one >> 1;
  l = AffineWarp{{i0 * one + roundUp, j0 * one + roundUp}, {a, c}, {b, d}, k};
  // Chrominance samples sit between luminance ones: the luminance warp taken at 2x + 1/2 and
  // moved back by half a sample, in a quarter of the units.
  AffineWarp& ch = m.chromaWarp;
  const I twice = 2 * one, offset = one << rho;
  ch = AffineWarp{{a + b + i0 * twice - offset + twice, c + d + j0 * twice - offset + twice},
                  {4 * a, 4 * c},
                  {4 * b, 4 * d},
                  k + 2};
}

bool SameAsTranslation(const AffineWarp& w, int shift) {
  const std::int64_t s = std::int64_t{1} << (w.scale + shift);
  return w.column[0] == s && w.row[1] == s && w.row[0] == 0 && w.column[1] == 0;
}

// One block of a plane sample by sample. kInside: every position and its neighbour below right
// lie in the padded reference; otherwise each is clamped into it (its border replicates the
// edge). Adds the block's positions to sum.
template <bool kInside>
void WarpRows(const AffineWarp& w, int shift, int rounding, const std::uint8_t* from,
              std::uint8_t* to, int stride, int paddedRows, int border, int size, int x, int y,
              std::int64_t sum[2]) {
  const int minX = -border, maxX = stride - border - 1;
  const int minY = -border, maxY = paddedRows - border - 1;
  const int s = 1 << shift, mask = s - 1, bias = (1 << (2 * shift - 1)) - rounding;
  std::int64_t sumX = 0, sumY = 0;
  for (int row = 0; row < size; ++row) {
    std::int64_t px = w.origin[0] + w.column[0] * x + w.row[0] * (y + row);
    std::int64_t py = w.origin[1] + w.column[1] * x + w.row[1] * (y + row);
    std::uint8_t* dst = to + static_cast<std::ptrdiff_t>(y + row) * stride + x;
    for (int col = 0; col < size; ++col, px += w.column[0], py += w.column[1]) {
      const std::int64_t fx = px >> w.scale, fy = py >> w.scale;
      sumX += fx;
      sumY += fy;
      const int wx = static_cast<int>(fx & mask), wy = static_cast<int>(fy & mask);
      const std::uint8_t *r0, *r1;
      int x0, x1;
      if constexpr (kInside) {
        x0 = static_cast<int>(fx >> shift);
        x1 = x0 + 1;
        r0 = from + static_cast<std::ptrdiff_t>(fy >> shift) * stride;
        r1 = r0 + stride;
      } else {
        const std::int64_t ix = fx >> shift, iy = fy >> shift;
        x0 = static_cast<int>(std::clamp<std::int64_t>(ix, minX, maxX));
        x1 = static_cast<int>(std::clamp<std::int64_t>(ix + 1, minX, maxX));
        r0 = from + static_cast<std::ptrdiff_t>(std::clamp<std::int64_t>(iy, minY, maxY)) * stride;
        r1 = from +
             static_cast<std::ptrdiff_t>(std::clamp<std::int64_t>(iy + 1, minY, maxY)) * stride;
      }
      const int top = (s - wx) * r0[x0] + wx * r0[x1];
      const int bottom = (s - wx) * r1[x0] + wx * r1[x1];
      dst[col] = static_cast<std::uint8_t>(((s - wy) * top + wy * bottom + bias) >> (2 * shift));
    }
  }
  sum[0] = sumX;
  sum[1] = sumY;
}

void WarpSamples(const AffineWarp& w, int shift, int rounding, const std::uint8_t* from,
                 std::uint8_t* to, int stride, int paddedRows, int border, int size, int x, int y,
                 std::int64_t sum[2]) {
  // The positions are affine in the sample's, so the block's corners bound them all.
  bool inside = true;
  for (int c = 0; c < 4; ++c) {
    const int cx = x + (c & 1) * (size - 1), cy = y + (c >> 1) * (size - 1);
    const std::int64_t ix = (w.origin[0] + w.column[0] * cx + w.row[0] * cy) >> w.scale >> shift;
    const std::int64_t iy = (w.origin[1] + w.column[1] * cx + w.row[1] * cy) >> w.scale >> shift;
    inside = inside && ix >= -border && ix + 1 <= stride - border - 1 && iy >= -border &&
             iy + 1 <= paddedRows - border - 1;
  }
  if (inside) {
    WarpRows<true>(w, shift, rounding, from, to, stride, paddedRows, border, size, x, y, sum);
  } else {
    WarpRows<false>(w, shift, rounding, from, to, stride, paddedRows, border, size, x, y, sum);
  }
}

std::int16_t VectorComponent(std::int64_t sum, int shift) {
  return static_cast<std::int16_t>(std::clamp<std::int64_t>(RoundShift(sum, shift), -32768, 32767));
}

}  // namespace

void PrepareGlobalMotion(DecoderState& state, GlobalMotion& motion) {
  const SequenceFields& s = state.sequence;
  const int(&w)[3][2] = state.picture.warping;
  motion.shift = s.warpingAccuracy + 1;
  motion.rounding = state.picture.roundingType;
  const int quarter = state.pictures.quarterSample ? 1 : 0;
  // 256 offsets in 1/s samples to their average in half (quarter) samples.
  motion.vectorShift = 8 + motion.shift - 1 - quarter;
  for (int k = 0; k < 2; ++k) {
    // The first point's trajectory, in half samples, in units of 1/s; chrominance halves it,
    // keeping an odd remainder.
    const int offset = w[0][k] << (motion.shift - 1);
    motion.luma[k] = offset;
    motion.chroma[k] = (offset >> 1) | (offset & 1);
  }
  motion.vector = {
      static_cast<std::int16_t>(RoundShift(motion.luma[0] << (1 + quarter), motion.shift)),
      static_cast<std::int16_t>(RoundShift(motion.luma[1] << (1 + quarter), motion.shift))};
  motion.translation = true;
  if (s.warpingPoints >= 2) {
    PrepareAffine(std::min(s.warpingPoints, 3), w, s.width, s.height, motion);
    // More points that add nothing: the same samples as the translation, except for
    // chrominance, which rounds an odd offset up rather than keeping it odd.
    motion.translation = SameAsTranslation(motion.lumaWarp, motion.shift) &&
                         !((motion.luma[0] | motion.luma[1]) & 1);
  }
}

MotionVector PredictGlobalMacroblock(PictureStore& store, const GlobalMotion& motion, int mbx,
                                     int mby) {
  const int s = store.stride, rows = store.paddedHeight;
  if (!motion.translation) {
    std::int64_t sum[2], unused[2];
    WarpSamples(motion.lumaWarp, motion.shift, motion.rounding, store.reference.y, store.current.y,
                s, rows, kLumaBorder, 16, 16 * mbx, 16 * mby, sum);
    WarpSamples(motion.chromaWarp, motion.shift, motion.rounding, store.reference.u,
                store.current.u, s / 2, rows / 2, kChromaBorder, 8, 8 * mbx, 8 * mby, unused);
    WarpSamples(motion.chromaWarp, motion.shift, motion.rounding, store.reference.v,
                store.current.v, s / 2, rows / 2, kChromaBorder, 8, 8 * mbx, 8 * mby, unused);
    // Less the samples' own positions: sixteen rows of x .. x + 15 (columns of y .. y + 15).
    const std::int64_t own = std::int64_t{16 * 16} << motion.shift;
    return {VectorComponent(sum[0] - own * (16 * mbx) - (std::int64_t{16 * 120} << motion.shift),
                            motion.vectorShift),
            VectorComponent(sum[1] - own * (16 * mby) - (std::int64_t{16 * 120} << motion.shift),
                            motion.vectorShift)};
  }
  const DecoderDsp& dsp = Dsp();
  const int shift = motion.shift, mask = (1 << shift) - 1, up = 4 - shift;
  const int rounding = motion.rounding;
  auto plane = [&](const std::uint8_t* from, std::uint8_t* to, int stride, int rows, int border,
                   int size, const int offset[2]) {
    const int x = size * mbx, y = size * mby;
    Warp(dsp.warp[size == 16], from, to, stride, rows, border, size, x, y, x + (offset[0] >> shift),
         y + (offset[1] >> shift), (offset[0] & mask) << up, (offset[1] & mask) << up, rounding);
  };
  plane(store.reference.y, store.current.y, s, rows, kLumaBorder, 16, motion.luma);
  plane(store.reference.u, store.current.u, s / 2, rows / 2, kChromaBorder, 8, motion.chroma);
  plane(store.reference.v, store.current.v, s / 2, rows / 2, kChromaBorder, 8, motion.chroma);
  return motion.vector;
}

void GlobalMacroblock(DecoderState& state) {
  state.Mode(state.mbX, state.mbY) = 0;
  // Held inside the vector range, so that vectors predicted from it stay there too.
  const int f = 1 << (state.picture.fcode - 1);
  const MotionVector g =
      PredictGlobalMacroblock(state.pictures, state.globalMotion, state.mbX, state.mbY);
  const MotionVector v{static_cast<std::int16_t>(std::clamp<int>(g.x, -32 * f, 32 * f - 1)),
                       static_cast<std::int16_t>(std::clamp<int>(g.y, -32 * f, 32 * f - 1))};
  MotionVector* vectors = state.Vectors(state.mbX, state.mbY);
  for (int k = 0; k < 4; ++k) vectors[k] = v;
}

}  // namespace mivora::decoder
