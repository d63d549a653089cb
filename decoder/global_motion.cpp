#include "decoder/global_motion.h"

#include <algorithm>
#include <cstddef>

#include "decoder/decoder_state.h"
#include "decoder/dsp.h"

namespace mivora::decoder {
namespace {

// Largest area one warp reads: a 16x16 block and the next row and column.
constexpr int kArea = 17;

// value / 2^shift rounded to the nearest, halves away from zero.
int RoundShift(int value, int shift) {
  const int half = 1 << (shift - 1);
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

}  // namespace

bool PrepareGlobalMotion(DecoderState& state, GlobalMotion& motion) {
  const SequenceFields& s = state.sequence;
  const int(&w)[3][2] = state.picture.warping;
  if (s.warpingPoints > 1 && (w[1][0] | w[1][1] | w[2][0] | w[2][1])) {
    state.unsupported = "global motion with 2 or 3 warping points";
    return false;
  }
  motion.shift = s.warpingAccuracy + 1;
  motion.rounding = state.picture.roundingType;
  const int quarter = state.pictures.quarterSample ? 1 : 0;
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
  return true;
}

void PredictGlobalMacroblock(PictureStore& store, const GlobalMotion& motion, int mbx, int mby) {
  const DecoderDsp& dsp = Dsp();
  const int shift = motion.shift, mask = (1 << shift) - 1, up = 4 - shift;
  const int rounding = motion.rounding;
  auto plane = [&](const std::uint8_t* from, std::uint8_t* to, int stride, int rows, int border,
                   int size, const int offset[2]) {
    const int x = size * mbx, y = size * mby;
    Warp(dsp.warp[size == 16], from, to, stride, rows, border, size, x, y, x + (offset[0] >> shift),
         y + (offset[1] >> shift), (offset[0] & mask) << up, (offset[1] & mask) << up, rounding);
  };
  const int s = store.stride, rows = store.paddedHeight;
  plane(store.reference.y, store.current.y, s, rows, kLumaBorder, 16, motion.luma);
  plane(store.reference.u, store.current.u, s / 2, rows / 2, kChromaBorder, 8, motion.chroma);
  plane(store.reference.v, store.current.v, s / 2, rows / 2, kChromaBorder, 8, motion.chroma);
}

void GlobalMacroblock(DecoderState& state) {
  state.Mode(state.mbX, state.mbY) = 0;
  // Held inside the vector range, so that vectors predicted from it stay there too.
  const int f = 1 << (state.picture.fcode - 1);
  const MotionVector g = state.globalMotion.vector;
  const MotionVector v{static_cast<std::int16_t>(std::clamp<int>(g.x, -32 * f, 32 * f - 1)),
                       static_cast<std::int16_t>(std::clamp<int>(g.y, -32 * f, 32 * f - 1))};
  MotionVector* vectors = state.Vectors(state.mbX, state.mbY);
  for (int k = 0; k < 4; ++k) vectors[k] = v;
  PredictGlobalMacroblock(state.pictures, state.globalMotion, state.mbX, state.mbY);
}

}  // namespace mivora::decoder
