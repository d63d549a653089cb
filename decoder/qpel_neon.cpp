// Quarter-sample interpolation with NEON, bit for bit the portable version: the eight-tap filter in
// 16-bit lanes (its sums stay within -3570..11746) on eight outputs at a time, each source line
// first copied with its mirrored ends so that every tap is a plain load, and the quarter averages
// with vrhadd (rounding 0) or vhadd (rounding 1).
#include "decoder/dsp.h"
#include "decoder/qpel_fill.h"

#if defined(__aarch64__)
#include <arm_neon.h>

#include <cstring>

namespace mivora::decoder::neon {
namespace {

template <int kRounding>
inline uint8x8_t Average(uint8x8_t a, uint8x8_t b) {
  if constexpr (kRounding == 0) return vrhadd_u8(a, b);
  return vhadd_u8(a, b);
}

// Eight half-sample values from their taps t[0..7] (t[3] and t[4] the two nearest samples).
template <int kRounding>
inline uint8x8_t Taps(const uint8x8_t t[8]) {
  int16x8_t v = vreinterpretq_s16_u16(vmulq_n_u16(vaddl_u8(t[3], t[4]), 20));
  v = vmlsq_n_s16(v, vreinterpretq_s16_u16(vaddl_u8(t[2], t[5])), 6);
  v = vmlaq_n_s16(v, vreinterpretq_s16_u16(vaddl_u8(t[1], t[6])), 3);
  v = vsubq_s16(v, vreinterpretq_s16_u16(vaddl_u8(t[0], t[7])));
  v = vaddq_s16(v, vdupq_n_s16(16 - kRounding));
  return vqshrun_n_s16(v, 5);
}

// Row i (-3 .. n + 3) of a block of n + 1 rows, mirrored at its ends.
inline int MirrorRow(int i, int n) {
  return i < 0 ? -1 - i : i > n ? 2 * n + 1 - i : i;
}

// The half-sample values of one line of kN + 1 samples into out (kN bytes). The line is copied
// with three mirrored samples before it and three after, so tap k of output c is sample c + k.
template <int kN, int kRounding>
inline void HalfRow(const std::uint8_t* row, std::uint8_t* out) {
  std::uint8_t line[32];
  line[0] = row[2];
  line[1] = row[1];
  line[2] = row[0];
  std::memcpy(line + 3, row, kN + 1);
  line[kN + 4] = row[kN];
  line[kN + 5] = row[kN - 1];
  line[kN + 6] = row[kN - 2];
  for (int c = 0; c < kN; c += 8) {
    uint8x8_t t[8];
    for (int k = 0; k < 8; ++k) t[k] = vld1_u8(line + c + k);
    vst1_u8(out + c, Taps<kRounding>(t));
  }
}

// Horizontal stage into h (rows of 16 bytes): kN + 1 rows, or kN when no vertical stage follows.
template <int kN, int kRounding, int kFx>
inline void Horizontal(const std::uint8_t* src, std::ptrdiff_t stride, std::uint8_t* h, int rows) {
  for (int r = 0; r < rows; ++r) {
    const std::uint8_t* row = src + r * stride;
    std::uint8_t* out = h + 16 * r;
    if constexpr (kFx == 0) {
      std::memcpy(out, row, kN);
    } else {
      HalfRow<kN, kRounding>(row, out);
      if constexpr (kFx != 2) {
        const std::uint8_t* whole = row + (kFx == 3 ? 1 : 0);
        for (int c = 0; c < kN; c += 8)
          vst1_u8(out + c, Average<kRounding>(vld1_u8(whole + c), vld1_u8(out + c)));
      }
    }
  }
}

template <int kN, int kRounding, int kFx, int kFy>
void Qpel(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride) {
  alignas(16) std::uint8_t h[16 * 17];
  if constexpr (kFy == 0) {
    if constexpr (kFx == 0) {
      for (int r = 0; r < kN; ++r) std::memcpy(dst + r * stride, src + r * stride, kN);
    } else {
      Horizontal<kN, kRounding, kFx>(src, stride, h, kN);
      for (int r = 0; r < kN; ++r) std::memcpy(dst + r * stride, h + 16 * r, kN);
    }
    return;
  }
  Horizontal<kN, kRounding, kFx>(src, stride, h, kN + 1);
  for (int r = 0; r < kN; ++r) {
    const std::uint8_t* rows[8];
    for (int k = 0; k < 8; ++k) rows[k] = h + 16 * MirrorRow(r - 3 + k, kN);
    for (int c = 0; c < kN; c += 8) {
      uint8x8_t t[8];
      for (int k = 0; k < 8; ++k) t[k] = vld1_u8(rows[k] + c);
      uint8x8_t v = Taps<kRounding>(t);
      if constexpr (kFy == 1) v = Average<kRounding>(vld1_u8(h + 16 * r + c), v);
      if constexpr (kFy == 3) v = Average<kRounding>(vld1_u8(h + 16 * (r + 1) + c), v);
      vst1_u8(dst + r * stride + c, v);
    }
  }
}

template <int kN, int kRounding>
void Fill(PredictFn* t) {
  FillQuarterSamples(t, []<int kFx, int kFy>() { return &Qpel<kN, kRounding, kFx, kFy>; });
}

}  // namespace

void FillQpelTable(PredictFn t[64]) {
  Fill<8, 0>(t);
  Fill<8, 1>(t + 16);
  Fill<16, 0>(t + 32);
  Fill<16, 1>(t + 48);
}

}  // namespace mivora::decoder::neon
#endif
