#include "decoder/field_prediction.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "decoder/dsp.h"

namespace mivora::decoder {
namespace {

// Largest area one field prediction reads: a 16-wide block and the next column, nine rows (the
// 8x8 kernels read one row more than they write).
constexpr int kAreaStride = 17;
constexpr int kAreaRows = 9;

struct Plane {
  const std::uint8_t* from;  // sample (0, 0) of the reference plane
  std::uint8_t* to;          // sample (0, 0) of the destination plane
  int stride;
  int minX, maxX, minY, maxY;  // the padded plane in picture coordinates
  int frameRows;               // rows of the area the padding repeats
};

// The kernels of one field prediction: `put` fills the destination, `average` (B pictures' second
// half) averages its prediction into what is there.
struct FieldKernels {
  PredictFn put, average;
  bool averaged;
};

// One field of a block, kWidth (8 or 16) by `rows` (4 or 8): the destination rows of parity
// `parity` from the field `select` of the reference, its whole-sample position (sx, sy) with sy in
// field rows. Outside the picture the field's rows are those of the frame extended by its edge
// rows (so above and below it both fields see the frame's first and last rows), as the encoders
// predict: inside the padded plane that is the plane itself, beyond it the area is gathered with
// clamped coordinates. Rows are copied by fixed-size moves: a call to memmove for each 9 or 17
// bytes cost more than the prediction.
template <int kWidth>
void PredictField(const Plane& p, const FieldKernels& k, int rows, int x, int y, int parity,
                  int select, int sx, int sy) {
  const std::ptrdiff_t s = p.stride;
  const int top = 2 * sy + select, bottom = top + 2 * (kAreaRows - 1);
  const bool inside = top >= p.minY && bottom <= p.maxY && sx >= p.minX && sx + kWidth <= p.maxX;
  if (inside && rows == 8) {
    // Eight field rows: the kernels fill them in place, at twice the stride.
    const std::uint8_t* src = p.from + top * s + sx;
    std::uint8_t* dst = p.to + (2 * y + parity) * s + x;
    const PredictFn fn = k.averaged ? k.average : k.put;
    for (int half = 0; half < kWidth; half += 8) fn(src + half, dst + half, 2 * s);
    return;
  }
  if constexpr (kWidth == 8) {
    if (inside && rows == 4 && 2 * (y + kAreaRows - 2) + parity <= p.maxY) {
      // Four field rows (chroma): the 8x8 kernel fills them in place too, and the four rows it
      // writes past them, which belong to the block below or to the border, are put back. That
      // costs less than gathering the area and copying the result out.
      const std::uint8_t* src = p.from + top * s + sx;
      std::uint8_t* dst = p.to + (2 * y + parity) * s + x;
      std::uint8_t* past = dst + 2 * rows * s;
      std::uint64_t kept[4];
      for (int r = 0; r < 4; ++r) std::memcpy(&kept[r], past + 2 * r * s, 8);
      (k.averaged ? k.average : k.put)(src, dst, 2 * s);
      for (int r = 0; r < 4; ++r) std::memcpy(past + 2 * r * s, &kept[r], 8);
      return;
    }
  }
  std::uint8_t area[kAreaRows * kAreaStride];
  for (int r = 0; r < kAreaRows; ++r) {
    std::uint8_t* row = area + r * kAreaStride;
    if (inside) {
      const std::uint8_t* src = p.from + (top + 2 * r) * s + sx;
      std::memcpy(row, src, kWidth);
      row[kWidth] = src[kWidth];
      continue;
    }
    const int line = std::clamp(2 * (sy + r) + select, 0, p.frameRows - 1);
    const std::uint8_t* src = p.from + line * s;
    for (int c = 0; c <= kWidth; ++c) row[c] = src[std::clamp(sx + c, p.minX, p.maxX)];
  }
  std::uint8_t out[kAreaRows * kAreaStride];
  for (int half = 0; half < kWidth; half += 8) k.put(area + half, out + half, kAreaStride);
  for (int r = 0; r < rows; ++r) {
    std::uint8_t* dst = p.to + (2 * (y + r) + parity) * s + x;
    const std::uint8_t* from = out + r * kAreaStride;
    if (k.averaged) {
      for (int c = 0; c < kWidth; ++c)
        dst[c] = static_cast<std::uint8_t>((dst[c] + from[c] + 1) >> 1);
    } else {
      std::memcpy(dst, from, kWidth);
    }
  }
}

Plane MakePlane(const std::uint8_t* from, std::uint8_t* to, int stride, int paddedRows,
                int border) {
  return {from,
          to,
          stride,
          -border,
          stride - border - 1,
          -border,
          paddedRows - border - 1,
          paddedRows - 2 * border};
}

}  // namespace

MotionVector FieldVectorAverage(const FieldVectors& fields) {
  const int x = fields.vector[0].x + fields.vector[1].x;
  const int y = fields.vector[0].y + fields.vector[1].y;
  return {static_cast<std::int16_t>((x >> 1) | (x & 1)), static_cast<std::int16_t>(y)};
}

int ChromaFromFieldVector(int v, bool quarterSample, bool vertical) {
  if (quarterSample) v = vertical ? v >> 1 : v / 2;
  return ChromaFromOneVector(v);
}

void PredictFieldMacroblock(const PictureStore& store, const Picture& from, const Picture& to,
                            int mbx, int mby, const FieldVectors& fields, int roundingType,
                            bool averaged) {
  const DecoderDsp& dsp = Dsp();
  const bool quarter = store.quarterSample != 0;
  const Plane luma = MakePlane(from.y, to.y, store.stride, store.paddedHeight, kLumaBorder);
  const int cs = store.stride >> 1, crows = store.paddedHeight >> 1;
  const Plane cb = MakePlane(from.u, to.u, cs, crows, kChromaBorder);
  const Plane cr = MakePlane(from.v, to.v, cs, crows, kChromaBorder);
  for (int parity = 0; parity < 2; ++parity) {
    const MotionVector v = fields.vector[parity];
    const int select = fields.select[parity] & 1;
    if (quarter) {
      const int q = QpelSelector(8, roundingType, v.x, v.y);
      PredictField<16>(luma, {dsp.qpel[q], dsp.qpelAverage[q], averaged}, 8, 16 * mbx, 8 * mby,
                       parity, select, 16 * mbx + (v.x >> 2), 8 * mby + (v.y >> 2));
    } else {
      const int h = PredictSelector(8, roundingType, v.x, v.y);
      PredictField<16>(luma, {dsp.predict[h], dsp.predictAverage[h], averaged}, 8, 16 * mbx,
                       8 * mby, parity, select, 16 * mbx + (v.x >> 1), 8 * mby + (v.y >> 1));
    }
    const int cx = ChromaFromFieldVector(v.x, quarter, false);
    const int cy = ChromaFromFieldVector(v.y, quarter, true);
    const int h = PredictSelector(8, roundingType, cx, cy);
    const FieldKernels k{dsp.predict[h], dsp.predictAverage[h], averaged};
    const int sx = 8 * mbx + (cx >> 1), sy = 4 * mby + (cy >> 1);
    PredictField<8>(cb, k, 4, 8 * mbx, 4 * mby, parity, select, sx, sy);
    PredictField<8>(cr, k, 4, 8 * mbx, 4 * mby, parity, select, sx, sy);
  }
}

}  // namespace mivora::decoder
