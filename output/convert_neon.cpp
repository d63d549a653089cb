// NEON row kernels: sixteen samples (eight chrominance pairs) per step, results identical to the
// reference kernels. The clipped sums of the one-addition modes are formed on bytes with
// saturating arithmetic: clip(Y + d) = (Y -sat max(-d, 0)) +sat max(d, 0), with both terms
// saturated to 255, which is exact for any d. Pixels are packed with shift-right-and-insert, which
// keeps the top bits of one channel while filling in the next, so no masks are needed. Groups
// where only some blocks changed are converted whole and only the changed blocks stored (display
// memory may be slow to read, so it is never read back); steps that would run past the row end
// are moved back to end at it (rewriting a few pixels with the same values) where the row is long
// enough, and go through the reference kernel otherwise.
#include "output/convert_neon.h"

#if defined(__aarch64__)

#include <arm_neon.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "output/convert_last_column.h"
#include "output/convert_sample.h"

namespace mivora::convert {
namespace {

inline uint8x16_t Load16(const std::uint8_t* p) {
  return vld1q_u8(p);
}
inline uint8x8_t Load8(const std::uint8_t* p) {
  return vld1_u8(p);
}

// Each of eight bytes twice: a chrominance sample for both luminance samples it covers.
inline uint8x16_t Doubled(uint8x8_t v) {
  const uint8x16_t w = vcombine_u8(v, v);
  return vzip1q_u8(w, w);
}

// The saturated positive and negative parts of the chrominance terms of eight chrominance
// samples, doubled to sixteen luminance samples; green's are constant.
struct ByteTerms {
  uint8x16_t bluePos, blueNeg, redPos, redNeg, greenPos, greenNeg;
};

// The parts of the terms that depend on the brightness only, worked out once per kernel call.
struct Bias {
  int16x8_t chroma;  // brightness - 144 in 16-bit lanes
  uint8x16_t greenPos, greenNeg;
  explicit Bias(int brightness)
      : chroma(vdupq_n_s16(static_cast<std::int16_t>(brightness - 144))),
        greenPos(vdupq_n_u8(static_cast<std::uint8_t>(Clip255(brightness - 16)))),
        greenNeg(vdupq_n_u8(static_cast<std::uint8_t>(Clip255(16 - brightness)))) {}
};

inline ByteTerms TermsOf(uint8x8_t u, uint8x8_t v, const Bias& bias) {
  // brightness - 144 + u lies within -1168..1135 for the clamped brightness: fits 16 bits.
  const int16x8_t blue = vaddq_s16(vreinterpretq_s16_u16(vmovl_u8(u)), bias.chroma);
  const int16x8_t red = vaddq_s16(vreinterpretq_s16_u16(vmovl_u8(v)), bias.chroma);
  ByteTerms t;
  t.bluePos = Doubled(vqmovun_s16(blue));
  t.blueNeg = Doubled(vqmovun_s16(vnegq_s16(blue)));
  t.redPos = Doubled(vqmovun_s16(red));
  t.redNeg = Doubled(vqmovun_s16(vnegq_s16(red)));
  t.greenPos = bias.greenPos;
  t.greenNeg = bias.greenNeg;
  return t;
}

inline ByteTerms LoadTerms(const std::uint8_t* u, const std::uint8_t* v, const Bias& bias) {
  return TermsOf(Load8(u), Load8(v), bias);
}

inline uint8x16_t Channel(uint8x16_t luma, uint8x16_t pos, uint8x16_t neg) {
  return vqaddq_u8(vqsubq_u8(luma, neg), pos);
}

// Sixteen pixels: 0..7 in low, 8..15 in high.
struct Pixels {
  uint16x8_t low, high;
};

// Red to the top byte; green inserted below red's top five bits, then blue below green's top six.
inline uint16x8_t Pack(uint16x8_t red, uint16x8_t green, uint16x8_t blue) {
  return vsriq_n_u16(vsriq_n_u16(red, green, 5), blue, 11);
}

// Pixels of sixteen luminance values, one per channel (they differ where mode 8 interpolates).
inline Pixels PixelsOf(uint8x16_t lumaBlue, uint8x16_t lumaGreen, uint8x16_t lumaRed,
                       const ByteTerms& t) {
  const uint8x16_t red = Channel(lumaRed, t.redPos, t.redNeg);
  const uint8x16_t green = Channel(lumaGreen, t.greenPos, t.greenNeg);
  const uint8x16_t blue = Channel(lumaBlue, t.bluePos, t.blueNeg);
  Pixels p;
  p.low = Pack(vshll_n_u8(vget_low_u8(red), 8), vshll_n_u8(vget_low_u8(green), 8),
               vshll_n_u8(vget_low_u8(blue), 8));
  p.high = Pack(vshll_high_n_u8(red, 8), vshll_high_n_u8(green, 8), vshll_high_n_u8(blue, 8));
  return p;
}

inline Pixels Pixels16(const std::uint8_t* y, const ByteTerms& t) {
  const uint8x16_t luma = Load16(y);
  return PixelsOf(luma, luma, luma, t);
}

inline uint8x16_t Equal16(const std::uint8_t* a, const std::uint8_t* b) {
  return vceqq_u8(Load16(a), Load16(b));
}

// Byte j of the result is 0xFF when block j of the eight changed: lumaEqual holds 0xFF in the bytes
// of the luminance samples the mode compares and found equal (and in the ones it does not compare).
constexpr std::uint64_t kAllChanged = ~std::uint64_t{0};
inline std::uint64_t ChangedBlocks(uint8x16_t lumaEqual, const std::uint8_t* u,
                                   const std::uint8_t* prevU, const std::uint8_t* v,
                                   const std::uint8_t* prevV) {
  const uint8x8_t chroma =
      vand_u8(vceq_u8(Load8(u), Load8(prevU)), vceq_u8(Load8(v), Load8(prevV)));
  const uint16x8_t block = vreinterpretq_u16_u8(vandq_u8(lumaEqual, Doubled(chroma)));
  const uint8x8_t same = vmovn_u16(vceqq_u16(block, vdupq_n_u16(0xFFFF)));
  return ~vget_lane_u64(vreinterpret_u64_u8(same), 0);
}

inline bool BlockChanged(std::uint64_t changed, int block) {
  return (changed >> (8 * block)) & 1;
}

// Stores the 32-bit words of the blocks marked in changed, from the converted group in words.
inline void StoreBlocks(std::uint16_t* destination, const std::uint16_t* words,
                        std::uint64_t changed) {
  while (changed) {
    const int block = __builtin_ctzll(changed) >> 3;
    std::memcpy(destination + 2 * block, words + 2 * block, 4);
    changed &= ~(std::uint64_t{0xFF} << (8 * block));
  }
}

inline void Store(std::uint16_t* p, const Pixels& pixels) {
  vst1q_u16(p, pixels.low);
  vst1q_u16(p + 8, pixels.high);
}

// Mode 5: the left column of each block in both rows is compared (the even bytes).
void NormalRowPair(const SourceRows& rows, std::uint16_t* top, std::uint16_t* bottom, int pairs) {
  if (pairs < 8) {
    ReferenceConvertDsp().normalRowPair(rows, top, bottom, pairs);
    return;
  }
  const Bias bias(rows.brightness);
  // Odd bytes (the right columns) count as equal.
  const uint8x16_t oddBytes = vreinterpretq_u8_u16(vdupq_n_u16(0xFF00));
  for (int k = 0;; k += 8) {
    if (k + 8 > pairs) k = pairs - 8;
    const int x = 2 * k;
    std::uint64_t changed = kAllChanged;
    if (rows.prevY0) {
      const uint8x16_t luma = vorrq_u8(
          vandq_u8(Equal16(rows.y0 + x, rows.prevY0 + x), Equal16(rows.y1 + x, rows.prevY1 + x)),
          oddBytes);
      changed = ChangedBlocks(luma, rows.u0 + k, rows.prevU + k, rows.v0 + k, rows.prevV + k);
    }
    if (changed != 0) {
      const ByteTerms t = LoadTerms(rows.u0 + k, rows.v0 + k, bias);
      const Pixels upper = Pixels16(rows.y0 + x, t), lower = Pixels16(rows.y1 + x, t);
      if (changed == kAllChanged) {
        Store(top + x, upper);
        Store(bottom + x, lower);
      } else {
        alignas(16) std::uint16_t words[32];
        Store(words, upper);
        Store(words + 16, lower);
        StoreBlocks(top + x, words, changed);
        StoreBlocks(bottom + x, words + 16, changed);
      }
    }
    if (k + 8 >= pairs) break;
  }
}

// Eight rows of eight 16-bit values turned into eight columns: r[c] afterwards holds value c of
// each of the eight rows. Three rounds of lane-pair swaps at 16, 32 and 64 bits.
inline void Transpose8(uint16x8_t r[8]) {
  uint16x8_t a[8];
  for (int k = 0; k < 8; k += 2) {
    a[k] = vtrn1q_u16(r[k], r[k + 1]);
    a[k + 1] = vtrn2q_u16(r[k], r[k + 1]);
  }
  uint32x4_t b[8];
  for (int k = 0; k < 8; k += 4) {
    for (int j = 0; j < 2; ++j) {
      const uint32x4_t p = vreinterpretq_u32_u16(a[k + j]), q = vreinterpretq_u32_u16(a[k + j + 2]);
      b[k + j] = vtrn1q_u32(p, q);      // values j (lower half) and 4 + j (upper half)
      b[k + j + 2] = vtrn2q_u32(p, q);  // values 2 + j and 6 + j
    }
  }
  for (int j = 0; j < 4; ++j) {
    const uint64x2_t p = vreinterpretq_u64_u32(b[j]), q = vreinterpretq_u64_u32(b[4 + j]);
    r[j] = vreinterpretq_u16_u64(vtrn1q_u64(p, q));
    r[4 + j] = vreinterpretq_u16_u64(vtrn2q_u64(p, q));
  }
}

// Sixteen columns from column x of eight source rows (chrominance rows shared by row pairs,
// chrominance sample c for the first column pair) converted and turned: columns[i] holds the
// eight pixels of column x + i, top source row first.
inline void TurnedGroup(const SourceRows& rows, std::ptrdiff_t strideY, std::ptrdiff_t strideU,
                        int x, int c, const Bias& bias, uint16x8_t columns[16]) {
  for (int p = 0; p < 4; ++p) {
    const ByteTerms t = LoadTerms(rows.u0 + p * strideU + c, rows.v0 + p * strideU + c, bias);
    const std::uint8_t* y = rows.y0 + 2 * p * strideY + x;
    const Pixels upper = Pixels16(y, t), lower = Pixels16(y + strideY, t);
    columns[2 * p] = upper.low;
    columns[8 + 2 * p] = upper.high;
    columns[2 * p + 1] = lower.low;
    columns[9 + 2 * p] = lower.high;
  }
  Transpose8(columns);
  Transpose8(columns + 8);
}

// Mode 7 with an even width pairs columns (2j, 2j + 1) with chrominance j; with an odd width
// (2j + 1, 2j + 2) with chrominance j + 1, column 0 being the converter's. first is the left
// column of pair 0 in either case.
void RotatedRowPair(const SourceRows& rows, std::uint16_t* destination, std::intptr_t stride,
                    int last, int pairs) {
  const int first = (last & 1) ? 0 : 1;
  if (pairs < 8) {
    ReferenceConvertDsp().rotatedRowPair(rows, destination, stride, last, pairs);
    return;
  }
  const Bias bias(rows.brightness);
  for (int j = 0;; j += 8) {
    if (j + 8 > pairs) j = pairs - 8;
    const int x = first + 2 * j, c = first + j;
    std::uint64_t changed = kAllChanged;
    if (rows.prevY0) {
      // Mode 7 compares both columns of the block in the upper row only.
      changed = ChangedBlocks(Equal16(rows.y0 + x, rows.prevY0 + x), rows.u0 + c, rows.prevU + c,
                              rows.v0 + c, rows.prevV + c);
    }
    if (changed != 0) {
      const ByteTerms t = LoadTerms(rows.u0 + c, rows.v0 + c, bias);
      const Pixels upper = Pixels16(rows.y0 + x, t), lower = Pixels16(rows.y1 + x, t);
      // words[2i], words[2i + 1]: the upper and lower pixel of column x + i.
      alignas(16) std::uint16_t words[32];
      vst1q_u16(words, vzip1q_u16(upper.low, lower.low));
      vst1q_u16(words + 8, vzip2q_u16(upper.low, lower.low));
      vst1q_u16(words + 16, vzip1q_u16(upper.high, lower.high));
      vst1q_u16(words + 24, vzip2q_u16(upper.high, lower.high));
      std::uint16_t* row = destination + (last - x) * stride;
      for (int i = 0; i < 16; ++i, row -= stride)
        if (BlockChanged(changed, i >> 1)) std::memcpy(row, words + 2 * i, 4);
    }
    if (j + 8 >= pairs) break;
  }
}

void RotatedRowGroup(const SourceRows& rows, std::ptrdiff_t strideY, std::ptrdiff_t strideU,
                     std::uint16_t* destination, std::intptr_t stride, int last, int pairs) {
  const int first = (last & 1) ? 0 : 1;
  if (pairs < 8) {
    ReferenceConvertDsp().rotatedRowGroup(rows, strideY, strideU, destination, stride, last, pairs);
    return;
  }
  const Bias bias(rows.brightness);
  for (int j = 0;; j += 8) {
    if (j + 8 > pairs) j = pairs - 8;
    const int x = first + 2 * j, c = first + j;
    // changed[p]: the changed blocks of row pair p.
    std::uint64_t changed[4] = {kAllChanged, kAllChanged, kAllChanged, kAllChanged};
    bool any = true, all = true;
    if (rows.prevY0) {
      any = false;
      all = true;
      for (int p = 0; p < 4; ++p) {
        const std::ptrdiff_t luma = 2 * p * strideY + x, chroma = p * strideU + c;
        changed[p] = ChangedBlocks(Equal16(rows.y0 + luma, rows.prevY0 + luma), rows.u0 + chroma,
                                   rows.prevU + chroma, rows.v0 + chroma, rows.prevV + chroma);
        any |= changed[p] != 0;
        all &= changed[p] == kAllChanged;
      }
    }
    if (!any) {
      if (j + 8 >= pairs) break;
      continue;
    }
    uint16x8_t columns[16];
    TurnedGroup(rows, strideY, strideU, x, c, bias, columns);
    std::uint16_t* row = destination + (last - x) * stride;
    if (all) {
      for (int i = 0; i < 16; ++i, row -= stride) vst1q_u16(row, columns[i]);
    } else {
      for (int i = 0; i < 16; ++i, row -= stride) {
        alignas(16) std::uint16_t words[8];
        vst1q_u16(words, columns[i]);
        for (int p = 0; p < 4; ++p)
          if (BlockChanged(changed[p], i >> 1)) std::memcpy(row + 2 * p, words + 2 * p, 4);
      }
    }
    if (j + 8 >= pairs) break;
  }
}

// Mode 9: every pixel written; a sample's pixel goes to two adjacent display columns of two
// display rows.
void RotatedDoubleRowGroup(const SourceRows& rows, std::ptrdiff_t strideY, std::ptrdiff_t strideU,
                           std::uint16_t* destination, std::intptr_t stride, int width) {
  if (width < 16) {
    ReferenceConvertDsp().rotatedDoubleRowGroup(rows, strideY, strideU, destination, stride, width);
    return;
  }
  // Steps start at even columns; with an odd width the last column is left to the loop below.
  const int even = width & ~1;
  const Bias bias(0);
  for (int x = 0;; x += 16) {
    if (x + 16 > even) x = even - 16;
    uint16x8_t columns[16];
    TurnedGroup(rows, strideY, strideU, x, x >> 1, bias, columns);
    std::uint16_t* row = destination + 2 * (width - 1 - x) * stride;
    for (int i = 0; i < 16; ++i, row -= 2 * stride) {
      const uint16x8_t left = vzip1q_u16(columns[i], columns[i]);
      const uint16x8_t right = vzip2q_u16(columns[i], columns[i]);
      vst1q_u16(row, left);
      vst1q_u16(row + 8, right);
      vst1q_u16(row + stride, left);
      vst1q_u16(row + stride + 8, right);
    }
    if (x + 16 >= even) break;
  }
  if (width & 1) RotatedDoubleLastColumn(rows, strideY, strideU, destination, stride, width);
}

// Mode 8 on bytes, sixteen samples per step. The interpolated channels are halved sums of two
// unclipped values, formed exactly from floor means (vhadd): towards the right neighbour (same
// chrominance) floor((a + a') / 2) + u - 144; towards a lower neighbour, with chrominance u0
// above and u1 below, floor((a + b) / 2) + floor((u0 + u1) / 2) - 144, plus 1 where a + b and
// u0 + u1 are both odd. Green has no chrominance term: floor((a + b) / 2) - 16.
//
// The pixels between samples here and other (the row below): oddU / oddV hold, in bit 0, whether
// u0 + u1 / v0 + v1 is odd for each sample's chrominance pair.
inline Pixels LowerPixels(uint8x16_t here, uint8x16_t other, uint8x16_t oddU, uint8x16_t oddV,
                          const ByteTerms& lower) {
  const uint8x16_t mean = vhaddq_u8(here, other);
  const uint8x16_t odd = vandq_u8(veorq_u8(here, other), vdupq_n_u8(1));
  // mean <= 254 wherever a + b is odd, so the added 1 stays within the byte.
  return PixelsOf(vaddq_u8(mean, vandq_u8(odd, oddU)), mean, vaddq_u8(mean, vandq_u8(odd, oddV)),
                  lower);
}

// Left and right pixels of sixteen samples interleaved into 32 display pixels at p.
inline void StoreInterleaved(std::uint16_t* p, const Pixels& left, const Pixels& right) {
  vst2q_u16(p, (uint16x8x2_t{{left.low, right.low}}));
  vst2q_u16(p + 16, (uint16x8x2_t{{left.high, right.high}}));
}

// Bits 4i..4i+3 set when sample x + i (of sixteen) or its chrominance pair differs from the
// previous picture; all set when the check is off.
std::uint64_t ChangedSamples(const SourceRows& rows, int x) {
  if (!rows.prevY0) return kAllChanged;
  const int c = x >> 1;
  const uint8x8_t chroma = vand_u8(vceq_u8(Load8(rows.u0 + c), Load8(rows.prevU + c)),
                                   vceq_u8(Load8(rows.v0 + c), Load8(rows.prevV + c)));
  const uint8x16_t same = vandq_u8(Equal16(rows.y0 + x, rows.prevY0 + x), Doubled(chroma));
  // A narrowing shift by four keeps one nibble of each byte: sample i's in bits 4i..4i+3.
  const uint8x8_t nibbles = vshrn_n_u16(vreinterpretq_u16_u8(same), 4);
  return ~vget_lane_u64(vreinterpret_u64_u8(nibbles), 0);
}

// Samples x .. x + 15 (x even, x + 16 within the row) converted; the samples marked in changed
// have their blocks stored.
void DoubleStep(const SourceRows& rows, std::uint16_t* top, std::uint16_t* bottom, int x,
                std::uint64_t changed, const Bias& bias) {
  const int c = x >> 1;
  const uint8x8_t u0 = Load8(rows.u0 + c), v0 = Load8(rows.v0 + c);
  const uint8x8_t u1 = Load8(rows.u1 + c), v1 = Load8(rows.v1 + c);
  const ByteTerms upper = TermsOf(u0, v0, bias);
  const ByteTerms lower = TermsOf(vhadd_u8(u0, u1), vhadd_u8(v0, v1), bias);
  const uint8x16_t oddU = Doubled(veor_u8(u0, u1)), oddV = Doubled(veor_u8(v0, v1));
  const uint8x16_t here = Load16(rows.y0 + x);
  const uint8x16_t right = vhaddq_u8(here, Load16(rows.y0 + x + 1));
  const Pixels topLeft = PixelsOf(here, here, here, upper);
  const Pixels topRight = PixelsOf(right, right, right, upper);
  const Pixels bottomLeft = LowerPixels(here, Load16(rows.y1 + x), oddU, oddV, lower);
  const Pixels bottomRight = LowerPixels(here, Load16(rows.y1 + x + 1), oddU, oddV, lower);
  if (changed == kAllChanged) {
    StoreInterleaved(top + 2 * x, topLeft, topRight);
    StoreInterleaved(bottom + 2 * x, bottomLeft, bottomRight);
    return;
  }
  alignas(16) std::uint16_t words[64];
  StoreInterleaved(words, topLeft, topRight);
  StoreInterleaved(words + 32, bottomLeft, bottomRight);
  while (changed) {
    const int i = __builtin_ctzll(changed) >> 2;
    std::memcpy(top + 2 * (x + i), words + 2 * i, 4);
    std::memcpy(bottom + 2 * (x + i), words + 32 + 2 * i, 4);
    changed &= ~(std::uint64_t{0xF} << (4 * i));
  }
}

// Vector steps need the sample after the sixteenth; the last step is moved back to end as close
// to the row end as that allows, and the one or two samples after it go through the reference.
void DoubleRow(const SourceRows& rows, std::uint16_t* top, std::uint16_t* bottom, int begin,
               int end, int width) {
  const ConvertDsp& reference = ReferenceConvertDsp();
  // Steps share chrominance pairs, so they start at even samples; the converters pass begin 0,
  // an odd begin has its first sample converted alone.
  if ((begin & 1) && begin < end) {
    reference.doubleRow(rows, top, bottom, begin, begin + 1, width);
    ++begin;
  }
  const Bias bias(0);
  int x = begin;
  for (; x + 16 <= end && x + 17 <= width; x += 16) {
    const std::uint64_t changed = ChangedSamples(rows, x);
    if (changed) DoubleStep(rows, top, bottom, x, changed, bias);
  }
  if (x < end && end - begin >= 16) {
    const int back = (std::min(end - 16, width - 17) - begin) & ~1;
    if (back >= 0) {
      const int start = begin + back;
      const std::uint64_t changed = ChangedSamples(rows, start);
      if (changed) DoubleStep(rows, top, bottom, start, changed, bias);
      x = std::max(x, start + 16);
    }
  }
  if (x < end) reference.doubleRow(rows, top, bottom, x, end, width);
}

}  // namespace

bool InstallNeon(ConvertDsp& dsp) {
  dsp.normalRowPair = &NormalRowPair;
  dsp.rotatedRowPair = &RotatedRowPair;
  dsp.doubleRow = &DoubleRow;
  dsp.rotatedRowGroup = &RotatedRowGroup;
  dsp.rotatedDoubleRowGroup = &RotatedDoubleRowGroup;
  return true;
}

}  // namespace mivora::convert

#else

namespace mivora::convert {
bool InstallNeon(ConvertDsp&) {
  return false;
}
}  // namespace mivora::convert

#endif
