// The inverse transform with NEON, bit for bit the portable one.
//
// Products come from the widening multiplies (vmull/vmlal/vmlsl on 16-bit lanes into 32-bit
// lanes), which give every product sum of the butterfly exactly. The first pass runs on whole rows
// (eight columns in step, as two halves of four 32-bit lanes); the block is then transposed so the
// second pass runs eight rows in step, and transposed back for writing. Narrowing uses the
// saturating narrowing shifts, the same saturation the portable first pass stores with; in the
// second pass the saturation to 16 bits only trims values the final clip would trim anyway. The
// 1/sqrt(2) scaling is formed on unsigned lanes, which wrap like the portable 32-bit product.
#include "decoder/dsp.h"

#if defined(__aarch64__)
#include <arm_neon.h>

namespace mivora::decoder::neon {
namespace {

constexpr int W1 = 2841, W2 = 2676, W3 = 2408, W5 = 1609, W6 = 1108, W7 = 565;

// (v * 181 + 128) >> 8 with the product and the rounding term wrapping at 32 bits. A rounding
// shift (vrshr) would not do: it adds the 128 without wrapping.
inline int32x4_t ScaleR(int32x4_t v) {
  const uint32x4_t p = vaddq_u32(vmulq_n_u32(vreinterpretq_u32_s32(v), 181u), vdupq_n_u32(128u));
  return vshrq_n_s32(vreinterpretq_s32_u32(p), 8);
}

// One butterfly on four lanes; x[k] holds the k-th value of four lines. The first pass scales the
// even pair by 2048 and adds 128; the second scales by 256, adds 32 * 256 and rounds the six
// product sums by (s + 4) >> 3, which vrshr gives exactly (it keeps the carry). Results are the
// unshifted sums; the caller narrows them.
template <bool kFirst>
inline void Butterfly(const int16x4_t x[8], int32x4_t out[8]) {
  constexpr int kShift = kFirst ? 11 : 8;
  const int32x4_t bias = vdupq_n_s32(kFirst ? 128 : 32 * 256);
  const int32x4_t a0 = vaddq_s32(vshll_n_s16(x[0], kShift), bias);
  const int32x4_t a1 = vshll_n_s16(x[4], kShift);
  int32x4_t p4 = vmlal_n_s16(vmull_n_s16(x[1], W1), x[7], W7);
  int32x4_t p5 = vmlsl_n_s16(vmull_n_s16(x[1], W7), x[7], W1);
  int32x4_t p6 = vmlal_n_s16(vmull_n_s16(x[3], W3), x[5], W5);
  int32x4_t p7 = vmlsl_n_s16(vmull_n_s16(x[5], W3), x[3], W5);
  int32x4_t e2 = vmlsl_n_s16(vmull_n_s16(x[2], W6), x[6], W2);
  int32x4_t e3 = vmlal_n_s16(vmull_n_s16(x[2], W2), x[6], W6);
  if constexpr (!kFirst) {
    p4 = vrshrq_n_s32(p4, 3);
    p5 = vrshrq_n_s32(p5, 3);
    p6 = vrshrq_n_s32(p6, 3);
    p7 = vrshrq_n_s32(p7, 3);
    e2 = vrshrq_n_s32(e2, 3);
    e3 = vrshrq_n_s32(e3, 3);
  }
  const int32x4_t s8 = vaddq_s32(a0, a1), s0 = vsubq_s32(a0, a1);
  const int32x4_t q1 = vaddq_s32(p4, p6), q4 = vsubq_s32(p4, p6);
  const int32x4_t q6 = vaddq_s32(p5, p7), q5 = vsubq_s32(p5, p7);
  const int32x4_t t7 = vaddq_s32(s8, e3), t8 = vsubq_s32(s8, e3);
  const int32x4_t t3 = vaddq_s32(s0, e2), t0 = vsubq_s32(s0, e2);
  const int32x4_t r2 = ScaleR(vaddq_s32(q4, q5)), r4 = ScaleR(vsubq_s32(q4, q5));
  out[0] = vaddq_s32(t7, q1);
  out[1] = vaddq_s32(t3, r2);
  out[2] = vaddq_s32(t0, r4);
  out[3] = vaddq_s32(t8, q6);
  out[4] = vsubq_s32(t8, q6);
  out[5] = vsubq_s32(t0, r4);
  out[6] = vsubq_s32(t3, r2);
  out[7] = vsubq_s32(t7, q1);
}

// Eight 16-bit vectors in, eight out: lanes of v[k] are the k-th values of eight lines; results
// are shifted by 8 (first pass) or 14 (second) and saturated to 16 bits.
// kLeftOnly: lines 4..7 are all zero and give zero (true of the first pass, whose bias of 128
// vanishes in the shift by 8), so only the left half is computed.
template <bool kFirst, bool kLeftOnly = false>
inline void Pass(const int16x8_t v[8], int16x8_t out[8]) {
  int16x4_t x[8];
  int32x4_t lo[8], hi[8];
  for (int k = 0; k < 8; ++k) x[k] = vget_low_s16(v[k]);
  Butterfly<kFirst>(x, lo);
  if constexpr (kLeftOnly) {
    for (int k = 0; k < 8; ++k)
      out[k] = vcombine_s16(vqshrn_n_s32(lo[k], kFirst ? 8 : 14), vdup_n_s16(0));
  } else {
    for (int k = 0; k < 8; ++k) x[k] = vget_high_s16(v[k]);
    Butterfly<kFirst>(x, hi);
    for (int k = 0; k < 8; ++k)
      out[k] =
          vcombine_s16(vqshrn_n_s32(lo[k], kFirst ? 8 : 14), vqshrn_n_s32(hi[k], kFirst ? 8 : 14));
  }
}

// Rows in, columns out (and back): three rounds of lane-pair swaps at 16, 32 and 64 bits.
inline void Transpose(int16x8_t v[8]) {
  int16x8_t a[8];
  for (int k = 0; k < 8; k += 2) {
    a[k] = vtrn1q_s16(v[k], v[k + 1]);
    a[k + 1] = vtrn2q_s16(v[k], v[k + 1]);
  }
  int32x4_t b[8];
  for (int k = 0; k < 8; k += 4) {
    for (int j = 0; j < 2; ++j) {
      const int32x4_t p = vreinterpretq_s32_s16(a[k + j]), q = vreinterpretq_s32_s16(a[k + j + 2]);
      b[k + j] = vtrn1q_s32(p, q);      // values j (lower half) and 4 + j (upper half)
      b[k + j + 2] = vtrn2q_s32(p, q);  // values 2 + j and 6 + j
    }
  }
  for (int j = 0; j < 4; ++j) {
    const int64x2_t p = vreinterpretq_s64_s32(b[j]), q = vreinterpretq_s64_s32(b[4 + j]);
    v[j] = vreinterpretq_s16_s64(vtrn1q_s64(p, q));
    v[4 + j] = vreinterpretq_s16_s64(vtrn2q_s64(p, q));
  }
}

// rows[r]: eight 16-bit results of row r, unclipped. The add variant adds the prediction with a
// saturating 16-bit add: a result saturated to -32768 or 32767 clips to 0 or 255 either way.
template <bool kAdd>
inline void WriteRow(int16x8_t row, std::uint8_t* dst) {
  if constexpr (kAdd) row = vqaddq_s16(row, vreinterpretq_s16_u16(vmovl_u8(vld1_u8(dst))));
  vst1_u8(dst, vqmovun_s16(row));
}

template <bool kAdd>
void Transform(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  int16x8_t v[8];
  for (int k = 0; k < 8; ++k) v[k] = vld1q_s16(block + 8 * k);
  const int16x8_t zero = vdupq_n_s16(0);
  for (int k = 0; k < 8; ++k) vst1q_s16(block + 8 * k, zero);

  int16x8_t all = v[1];
  for (int k = 2; k < 8; ++k) all = vorrq_s16(all, v[k]);
  const int16x8_t rest = vorrq_s16(all, vsetq_lane_s16(0, v[0], 0));
  // Only the DC value: every sample is (sat16(X0 * 8) + 32) >> 6, which the full path gives too.
  if (vmaxvq_u16(vreinterpretq_u16_s16(rest)) == 0) {
    const int x0 = vgetq_lane_s16(v[0], 0);
    const int x8 = x0 * 8 < -32768 ? -32768 : x0 * 8 > 32767 ? 32767 : x0 * 8;
    const int16x8_t value = vdupq_n_s16(static_cast<std::int16_t>((x8 + 32) >> 6));
    for (int r = 0; r < 8; ++r, dst += stride) WriteRow<kAdd>(value, dst);
    return;
  }

  int16x8_t w[8];
  // Columns 4..7 all zero (frequent after quantisation): half a first pass.
  all = vorrq_s16(all, v[0]);
  if (vget_lane_u64(vreinterpret_u64_s16(vget_high_s16(all)), 0) == 0)
    Pass<true, true>(v, w);  // columns, in the rows' lanes
  else
    Pass<true>(v, w);
  Transpose(w);
  Pass<false>(w, v);  // rows, in the columns' lanes
  Transpose(v);
  for (int r = 0; r < 8; ++r, dst += stride) WriteRow<kAdd>(v[r], dst);
}

}  // namespace

void IdctPut(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  Transform<false>(block, dst, stride);
}

void IdctAdd(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride) {
  Transform<true>(block, dst, stride);
}

void IdctPutIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride, BlockExtent) {
  IdctPut(block, dst, stride);
}

void IdctAddIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride, BlockExtent) {
  IdctAdd(block, dst, stride);
}

}  // namespace mivora::decoder::neon

#endif
