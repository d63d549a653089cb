// SSE2 row kernels: sixteen samples (eight chrominance pairs) per step. Results are identical to
// the reference kernels. The clipped sums of the one-addition modes are formed on bytes with
// saturating arithmetic: clip(Y + d) = (Y -sat max(-d, 0)) +sat max(d, 0), with both terms
// saturated to 255, which is exact for any d. Groups where only some blocks changed are
// converted whole and only the changed blocks stored; steps that would run past the row end are
// moved back to end at it (rewriting a few pixels with the same values) where the row is long
// enough, and go through the reference kernel otherwise.
#include "output/convert_sse2.h"

#if defined(__SSE2__)

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "output/convert_last_column.h"
#include "output/convert_sample.h"

namespace mivora::convert {
namespace {

inline __m128i Load16(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i Load8Bytes(const std::uint8_t* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
inline void Store(std::uint16_t* p, __m128i value) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), value);
}

// The saturated positive and negative parts of the chrominance terms of eight chrominance
// samples, each byte repeated for the two luminance samples it covers; green's are constant.
struct ByteTerms {
  __m128i bluePos, blueNeg, redPos, redNeg, greenPos, greenNeg;
};

// The parts of the terms that depend on the brightness only, worked out once per kernel call.
struct Bias {
  __m128i chroma;  // brightness - 144 in 16-bit lanes
  __m128i greenPos, greenNeg;
  explicit Bias(int brightness)
      : chroma(_mm_set1_epi16(static_cast<short>(brightness - 144))),
        greenPos(_mm_set1_epi8(static_cast<char>(Clip255(brightness - 16)))),
        greenNeg(_mm_set1_epi8(static_cast<char>(Clip255(16 - brightness)))) {}
};

// Terms of eight chrominance samples given in the low bytes of u and v.
inline ByteTerms TermsOf(__m128i u, __m128i v, const Bias& bias) {
  const __m128i zero = _mm_setzero_si128();
  // brightness - 144 + u lies within -1168..1135 for the clamped brightness: fits 16 bits.
  const __m128i blue = _mm_add_epi16(_mm_unpacklo_epi8(u, zero), bias.chroma);
  const __m128i red = _mm_add_epi16(_mm_unpacklo_epi8(v, zero), bias.chroma);
  const __m128i pos = _mm_packus_epi16(blue, red);
  const __m128i neg = _mm_packus_epi16(_mm_sub_epi16(zero, blue), _mm_sub_epi16(zero, red));
  ByteTerms t;
  t.bluePos = _mm_unpacklo_epi8(pos, pos);
  t.redPos = _mm_unpackhi_epi8(pos, pos);
  t.blueNeg = _mm_unpacklo_epi8(neg, neg);
  t.redNeg = _mm_unpackhi_epi8(neg, neg);
  t.greenPos = bias.greenPos;
  t.greenNeg = bias.greenNeg;
  return t;
}

inline ByteTerms LoadByteTerms(const std::uint8_t* u, const std::uint8_t* v, const Bias& bias) {
  return TermsOf(Load8Bytes(u), Load8Bytes(v), bias);
}

inline __m128i Channel(__m128i luma, __m128i pos, __m128i neg) {
  return _mm_adds_epu8(_mm_subs_epu8(luma, neg), pos);
}

// Sixteen samples at y to pixels 0..7 (low) and 8..15 (high).
// Pixels of sixteen luminance values, one per channel (they differ where mode 8 interpolates):
// pixels 0..7 to low, 8..15 to high.
inline void PixelsOf(__m128i lumaBlue, __m128i lumaGreen, __m128i lumaRed, const ByteTerms& t,
                     __m128i& low, __m128i& high) {
  const __m128i red = _mm_and_si128(Channel(lumaRed, t.redPos, t.redNeg), _mm_set1_epi8(-8));
  const __m128i green =
      _mm_and_si128(Channel(lumaGreen, t.greenPos, t.greenNeg), _mm_set1_epi8(-4));
  const __m128i blue = _mm_and_si128(_mm_srli_epi16(Channel(lumaBlue, t.bluePos, t.blueNeg), 3),
                                     _mm_set1_epi8(0x1F));
  const __m128i zero = _mm_setzero_si128();
  low =
      _mm_or_si128(_mm_unpacklo_epi8(blue, red), _mm_slli_epi16(_mm_unpacklo_epi8(green, zero), 3));
  high =
      _mm_or_si128(_mm_unpackhi_epi8(blue, red), _mm_slli_epi16(_mm_unpackhi_epi8(green, zero), 3));
}

// Sixteen samples at y to pixels 0..7 (low) and 8..15 (high).
inline void Pixels16(const std::uint8_t* y, const ByteTerms& t, __m128i& low, __m128i& high) {
  const __m128i luma = Load16(y);
  PixelsOf(luma, luma, luma, t, low, high);
}

inline __m128i Equal16(const std::uint8_t* a, const std::uint8_t* b) {
  return _mm_cmpeq_epi8(Load16(a), Load16(b));
}

// Bit 2j of the result is set when block j of the eight counts as unchanged: lumaEqual holds
// 0xFF in the bytes of the luminance samples the mode compares (and in the ones it does not).
inline int UnchangedBlocks(__m128i lumaEqual, const std::uint8_t* u, const std::uint8_t* prevU,
                           const std::uint8_t* v, const std::uint8_t* prevV) {
  const __m128i chroma = _mm_and_si128(_mm_cmpeq_epi8(Load8Bytes(u), Load8Bytes(prevU)),
                                       _mm_cmpeq_epi8(Load8Bytes(v), Load8Bytes(prevV)));
  const __m128i block = _mm_and_si128(lumaEqual, _mm_unpacklo_epi8(chroma, chroma));
  const __m128i whole = _mm_cmpeq_epi16(block, _mm_set1_epi16(-1));
  return _mm_movemask_epi8(whole) & 0x5555;
}
constexpr int kAllUnchanged = 0x5555;

// Stores the 32-bit words of the blocks whose bit (2j) is set in changed, from the converted
// group in words.
inline void StoreBlocks(std::uint16_t* destination, const std::uint16_t* words, int changed) {
  while (changed) {
    const int bit = __builtin_ctz(static_cast<unsigned>(changed));
    std::memcpy(destination + bit, words + bit, 4);
    changed &= changed - 1;
  }
}

// Mode 5: the left column of each block in both rows is compared (the even bytes).
void NormalRowPair(const SourceRows& rows, std::uint16_t* top, std::uint16_t* bottom, int pairs) {
  if (pairs < 8) {
    ReferenceConvertDsp().normalRowPair(rows, top, bottom, pairs);
    return;
  }
  const Bias bias(rows.brightness);
  // Odd bytes (the right columns) count as equal.
  const __m128i oddBytes = _mm_set1_epi16(static_cast<short>(0xFF00));
  for (int k = 0;; k += 8) {
    if (k + 8 > pairs) k = pairs - 8;
    const int x = 2 * k;
    int changed = kAllUnchanged;
    if (rows.prevY0) {
      const __m128i luma = _mm_or_si128(_mm_and_si128(Equal16(rows.y0 + x, rows.prevY0 + x),
                                                      Equal16(rows.y1 + x, rows.prevY1 + x)),
                                        oddBytes);
      changed ^= UnchangedBlocks(luma, rows.u0 + k, rows.prevU + k, rows.v0 + k, rows.prevV + k);
    }
    if (changed != 0) {
      const ByteTerms t = LoadByteTerms(rows.u0 + k, rows.v0 + k, bias);
      __m128i top0, top1, bottom0, bottom1;
      Pixels16(rows.y0 + x, t, top0, top1);
      Pixels16(rows.y1 + x, t, bottom0, bottom1);
      if (changed == kAllUnchanged) {
        Store(top + x, top0);
        Store(top + x + 8, top1);
        Store(bottom + x, bottom0);
        Store(bottom + x + 8, bottom1);
      } else {
        alignas(16) std::uint16_t words[32];
        Store(words, top0);
        Store(words + 8, top1);
        Store(words + 16, bottom0);
        Store(words + 24, bottom1);
        StoreBlocks(top + x, words, changed);
        StoreBlocks(bottom + x, words + 16, changed);
      }
    }
    if (k + 8 >= pairs) break;
  }
}

// Eight rows of eight 16-bit values turned into eight columns: r[c] afterwards holds value c of
// each of the eight rows.
inline void Transpose8(__m128i r[8]) {
  const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
  const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
  const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
  const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
  const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
  const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
  const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
  const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
  r[0] = _mm_unpacklo_epi64(b0, b4);
  r[1] = _mm_unpackhi_epi64(b0, b4);
  r[2] = _mm_unpacklo_epi64(b1, b5);
  r[3] = _mm_unpackhi_epi64(b1, b5);
  r[4] = _mm_unpacklo_epi64(b2, b6);
  r[5] = _mm_unpackhi_epi64(b2, b6);
  r[6] = _mm_unpacklo_epi64(b3, b7);
  r[7] = _mm_unpackhi_epi64(b3, b7);
}

// Sixteen columns from column x of eight source rows (chrominance rows shared by row pairs,
// chrominance sample c for the first column pair) converted and turned: columns[i] holds the
// eight pixels of column x + i, top source row first.
inline void TurnedGroup(const SourceRows& rows, std::ptrdiff_t strideY, std::ptrdiff_t strideU,
                        int x, int c, const Bias& bias, __m128i columns[16]) {
  for (int p = 0; p < 4; ++p) {
    const ByteTerms t = LoadByteTerms(rows.u0 + p * strideU + c, rows.v0 + p * strideU + c, bias);
    const std::uint8_t* y = rows.y0 + 2 * p * strideY + x;
    Pixels16(y, t, columns[2 * p], columns[8 + 2 * p]);
    Pixels16(y + strideY, t, columns[2 * p + 1], columns[9 + 2 * p]);
  }
  Transpose8(columns);
  Transpose8(columns + 8);
}

// Mode 7 with an even width pairs columns (2j, 2j + 1) with chrominance j; with an odd width
// (2j + 1, 2j + 2) with chrominance j + 1, column 0 being the converter's. first is the left
// column of pair 0 in either case.
void RotatedRowPair(const SourceRows& rows, std::uint16_t* destination, std::intptr_t stride,
                    int last, int pairs) {
  const ConvertDsp& reference = ReferenceConvertDsp();
  const int first = (last & 1) ? 0 : 1;
  if (pairs < 8) {
    reference.rotatedRowPair(rows, destination, stride, last, pairs);
    return;
  }
  const Bias bias(rows.brightness);
  for (int j = 0;; j += 8) {
    if (j + 8 > pairs) j = pairs - 8;
    const int x = first + 2 * j, c = first + j;
    int changed = kAllUnchanged;
    if (rows.prevY0) {
      // Mode 7 compares both columns of the block in the upper row only.
      changed ^= UnchangedBlocks(Equal16(rows.y0 + x, rows.prevY0 + x), rows.u0 + c, rows.prevU + c,
                                 rows.v0 + c, rows.prevV + c);
    }
    if (changed != 0) {
      const ByteTerms t = LoadByteTerms(rows.u0 + c, rows.v0 + c, bias);
      __m128i top0, top1, bottom0, bottom1;
      Pixels16(rows.y0 + x, t, top0, top1);
      Pixels16(rows.y1 + x, t, bottom0, bottom1);
      alignas(16) std::uint32_t words[16];
      Store(reinterpret_cast<std::uint16_t*>(words), _mm_unpacklo_epi16(top0, bottom0));
      Store(reinterpret_cast<std::uint16_t*>(words + 4), _mm_unpackhi_epi16(top0, bottom0));
      Store(reinterpret_cast<std::uint16_t*>(words + 8), _mm_unpacklo_epi16(top1, bottom1));
      Store(reinterpret_cast<std::uint16_t*>(words + 12), _mm_unpackhi_epi16(top1, bottom1));
      std::uint16_t* row = destination + (last - x) * stride;
      for (int i = 0; i < 16; ++i, row -= stride) {
        if (changed & (1 << (i & ~1))) std::memcpy(row, &words[i], 4);
      }
    }
    if (j + 8 >= pairs) break;
  }
}

void RotatedRowGroup(const SourceRows& rows, std::ptrdiff_t strideY, std::ptrdiff_t strideU,
                     std::uint16_t* destination, std::intptr_t stride, int last, int pairs) {
  const ConvertDsp& reference = ReferenceConvertDsp();
  const int first = (last & 1) ? 0 : 1;
  if (pairs < 8) {
    reference.rotatedRowGroup(rows, strideY, strideU, destination, stride, last, pairs);
    return;
  }
  const Bias bias(rows.brightness);
  for (int j = 0;; j += 8) {
    if (j + 8 > pairs) j = pairs - 8;
    const int x = first + 2 * j, c = first + j;
    // changed[p]: bit 2i set when block i of row pair p changed.
    int changed[4] = {kAllUnchanged, kAllUnchanged, kAllUnchanged, kAllUnchanged};
    bool any = true, all = true;
    if (rows.prevY0) {
      any = all = false;
      for (int p = 0; p < 4; ++p) {
        const std::ptrdiff_t luma = 2 * p * strideY + x, chroma = p * strideU + c;
        changed[p] ^= UnchangedBlocks(Equal16(rows.y0 + luma, rows.prevY0 + luma), rows.u0 + chroma,
                                      rows.prevU + chroma, rows.v0 + chroma, rows.prevV + chroma);
        any |= changed[p] != 0;
        all &= changed[p] == kAllUnchanged;
      }
    }
    if (any) {
      __m128i columns[16];
      TurnedGroup(rows, strideY, strideU, x, c, bias, columns);
      std::uint16_t* row = destination + (last - x) * stride;
      if (all) {
        for (int i = 0; i < 16; ++i, row -= stride) Store(row, columns[i]);
      } else {
        alignas(16) std::uint32_t words[16][4];
        for (int i = 0; i < 16; ++i) Store(reinterpret_cast<std::uint16_t*>(words[i]), columns[i]);
        for (int i = 0; i < 16; ++i, row -= stride)
          for (int p = 0; p < 4; ++p)
            if (changed[p] & (1 << (i & ~1))) std::memcpy(row + 2 * p, &words[i][p], 4);
      }
    }
    if (j + 8 >= pairs) break;
  }
}

// Mode 9: every pixel written; a sample's pixel goes to two adjacent display columns of two
// display rows.
void RotatedDoubleRowGroup(const SourceRows& rows, std::ptrdiff_t strideY, std::ptrdiff_t strideU,
                           std::uint16_t* destination, std::intptr_t stride, int width) {
  const ConvertDsp& reference = ReferenceConvertDsp();
  if (width < 16) {
    reference.rotatedDoubleRowGroup(rows, strideY, strideU, destination, stride, width);
    return;
  }
  // Steps start at even columns; with an odd width the last column is left to the loop below.
  const int even = width & ~1;
  const Bias bias(0);
  for (int x = 0;; x += 16) {
    if (x + 16 > even) x = even - 16;
    __m128i columns[16];
    TurnedGroup(rows, strideY, strideU, x, x >> 1, bias, columns);
    std::uint16_t* row = destination + 2 * (width - 1 - x) * stride;
    for (int i = 0; i < 16; ++i, row -= 2 * stride) {
      const __m128i left = _mm_unpacklo_epi16(columns[i], columns[i]);
      const __m128i right = _mm_unpackhi_epi16(columns[i], columns[i]);
      Store(row, left);
      Store(row + 8, right);
      Store(row + stride, left);
      Store(row + stride + 8, right);
    }
    if (x + 16 >= even) break;
  }
  if (width & 1) RotatedDoubleLastColumn(rows, strideY, strideU, destination, stride, width);
}

// Mode 8 on bytes, sixteen samples per step. The interpolated channels are halved sums of two
// unclipped values, formed exactly from byte means: towards the right neighbour (same
// chrominance) floor((a + a') / 2) + u - 144; towards a lower neighbour, with chrominance u0
// above and u1 below, floor((a + b) / 2) + floor((u0 + u1) / 2) - 144, plus 1 where a + b and
// u0 + u1 are both odd. Green has no chrominance term: floor((a + b) / 2) - 16.
inline __m128i FloorMean(__m128i a, __m128i b) {
  return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

// The pixels between samples here and other (the row below): oddU / oddV hold, in bit 0, whether
// u0 + u1 / v0 + v1 is odd for each sample's chrominance pair.
inline void LowerPixels(__m128i here, __m128i other, __m128i oddU, __m128i oddV,
                        const ByteTerms& lower, __m128i& low, __m128i& high) {
  const __m128i mean = FloorMean(here, other);
  const __m128i odd = _mm_and_si128(_mm_xor_si128(here, other), _mm_set1_epi8(1));
  // mean <= 254 wherever a + b is odd, so the added 1 stays within the byte.
  PixelsOf(_mm_add_epi8(mean, _mm_and_si128(odd, oddU)), mean,
           _mm_add_epi8(mean, _mm_and_si128(odd, oddV)), lower, low, high);
}

// Left and right pixels of sixteen samples interleaved into 32 display pixels at p.
inline void StoreInterleaved(std::uint16_t* p, __m128i leftLow, __m128i leftHigh, __m128i rightLow,
                             __m128i rightHigh) {
  Store(p, _mm_unpacklo_epi16(leftLow, rightLow));
  Store(p + 8, _mm_unpackhi_epi16(leftLow, rightLow));
  Store(p + 16, _mm_unpacklo_epi16(leftHigh, rightHigh));
  Store(p + 24, _mm_unpackhi_epi16(leftHigh, rightHigh));
}

// Samples x .. x + 15 (x even, x + 16 within the row) converted; bit i of changed says whether
// sample i's block is stored.
void DoubleStep(const SourceRows& rows, std::uint16_t* top, std::uint16_t* bottom, int x,
                unsigned changed, const Bias& bias) {
  const int c = x >> 1;
  const __m128i u0 = Load8Bytes(rows.u0 + c), v0 = Load8Bytes(rows.v0 + c);
  const __m128i u1 = Load8Bytes(rows.u1 + c), v1 = Load8Bytes(rows.v1 + c);
  const ByteTerms upper = TermsOf(u0, v0, bias);
  const ByteTerms lower = TermsOf(FloorMean(u0, u1), FloorMean(v0, v1), bias);
  const __m128i oddU = _mm_unpacklo_epi8(_mm_xor_si128(u0, u1), _mm_xor_si128(u0, u1));
  const __m128i oddV = _mm_unpacklo_epi8(_mm_xor_si128(v0, v1), _mm_xor_si128(v0, v1));
  const __m128i here = Load16(rows.y0 + x);
  const __m128i right = FloorMean(here, Load16(rows.y0 + x + 1));
  __m128i topLeft0, topLeft1, topRight0, topRight1, bottomLeft0, bottomLeft1, bottomRight0,
      bottomRight1;
  PixelsOf(here, here, here, upper, topLeft0, topLeft1);
  PixelsOf(right, right, right, upper, topRight0, topRight1);
  LowerPixels(here, Load16(rows.y1 + x), oddU, oddV, lower, bottomLeft0, bottomLeft1);
  LowerPixels(here, Load16(rows.y1 + x + 1), oddU, oddV, lower, bottomRight0, bottomRight1);
  if (changed == 0xFFFF) {
    StoreInterleaved(top + 2 * x, topLeft0, topLeft1, topRight0, topRight1);
    StoreInterleaved(bottom + 2 * x, bottomLeft0, bottomLeft1, bottomRight0, bottomRight1);
    return;
  }
  alignas(16) std::uint16_t words[64];
  StoreInterleaved(words, topLeft0, topLeft1, topRight0, topRight1);
  StoreInterleaved(words + 32, bottomLeft0, bottomLeft1, bottomRight0, bottomRight1);
  while (changed) {
    const int i = __builtin_ctz(changed);
    std::memcpy(top + 2 * (x + i), words + 2 * i, 4);
    std::memcpy(bottom + 2 * (x + i), words + 32 + 2 * i, 4);
    changed &= changed - 1;
  }
}

// Bit i set when sample x + i (of sixteen) or its chrominance pair differs from the previous
// picture; all set when the check is off.
unsigned ChangedSamples(const SourceRows& rows, int x) {
  if (!rows.prevY0) return 0xFFFF;
  const int c = x >> 1;
  const __m128i chroma =
      _mm_and_si128(_mm_cmpeq_epi8(Load8Bytes(rows.u0 + c), Load8Bytes(rows.prevU + c)),
                    _mm_cmpeq_epi8(Load8Bytes(rows.v0 + c), Load8Bytes(rows.prevV + c)));
  const __m128i same =
      _mm_and_si128(Equal16(rows.y0 + x, rows.prevY0 + x), _mm_unpacklo_epi8(chroma, chroma));
  return ~static_cast<unsigned>(_mm_movemask_epi8(same)) & 0xFFFF;
}

// Vector steps need the sample after the sixteenth; the last step is moved back to end as close
// to the row end as that allows, and the one or two samples after it go through the reference.
void DoubleRow(const SourceRows& rows, std::uint16_t* top, std::uint16_t* bottom, int begin,
               int end, int width) {
  // The steps pair samples with their chrominance from an even column: an odd first sample
  // goes alone.
  if ((begin & 1) && begin < end) {
    ReferenceConvertDsp().doubleRow(rows, top, bottom, begin, begin + 1, width);
    ++begin;
  }
  const Bias bias(0);
  int x = begin;
  for (; x + 16 <= end && x + 17 <= width; x += 16) {
    const unsigned changed = ChangedSamples(rows, x);
    if (changed) DoubleStep(rows, top, bottom, x, changed, bias);
  }
  if (x < end && end - begin >= 16) {
    const int back = (std::min(end - 16, width - 17) - begin) & ~1;
    if (back >= 0) {
      const int start = begin + back;
      const unsigned changed = ChangedSamples(rows, start);
      if (changed) DoubleStep(rows, top, bottom, start, changed, bias);
      x = std::max(x, start + 16);
    }
  }
  if (x < end) ReferenceConvertDsp().doubleRow(rows, top, bottom, x, end, width);
}

}  // namespace

bool InstallSse2(ConvertDsp& dsp) {
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
bool InstallSse2(ConvertDsp&) {
  return false;
}
}  // namespace mivora::convert

#endif
