// The AVX2 row kernels, shared by the AVX2 set and the AVX-512 one, which compiles them again with
// the wider instruction set (three-input bitwise selects, thirty-two registers) and overrides the
// kernels it has wider versions of. Bit for bit the reference kernels: the SSE2 arrangement (see
// convert_sse2.cpp) on 32 samples per step, and mode 8 on bytes as well. The including file
// defines MIVORA_KERNEL and MIVORA_KERNEL_INLINE as the target attributes of its set, so the rest
// of the build stays at the baseline; MIVORA_KERNEL_WORD_PERMUTES (0 when undefined) says whether
// the set may use the AVX-512 BW/VL cross-lane word permute. Included once per set, inside no
// namespace.
#ifndef MIVORA_KERNEL_WORD_PERMUTES
#define MIVORA_KERNEL_WORD_PERMUTES 0
#endif
#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "output/convert_dsp.h"
#include "output/convert_last_column.h"
#include "output/convert_sample.h"

namespace mivora::convert {
namespace {

MIVORA_KERNEL_INLINE __m256i Load32(const std::uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
MIVORA_KERNEL_INLINE __m128i Load16(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
MIVORA_KERNEL_INLINE void Store(std::uint16_t* p, __m256i value) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), value);
}

// Sixteen byte flags, each repeated for the two luminance samples of its pair, in the lane order
// of a 32-byte luminance load (flags 0..7 in the low lane, 8..15 in the high one).
MIVORA_KERNEL_INLINE __m256i RepeatPairs(__m128i bytes) {
  const __m256i spread = _mm256_permute4x64_epi64(_mm256_castsi128_si256(bytes), 0x50);
  return _mm256_unpacklo_epi8(spread, spread);
}

// Saturated chrominance terms of sixteen chrominance samples (see convert_sse2.cpp).
struct ByteTerms {
  __m256i bluePos, blueNeg, redPos, redNeg, greenPos, greenNeg;
};

// The parts of the terms that depend on the brightness only, worked out once per kernel call.
struct Bias {
  __m256i chroma;  // brightness - 144 in 16-bit lanes
  __m256i greenPos, greenNeg;
  // With brightness in -111..144, 144 - brightness fits a byte and the chrominance terms are
  // u - down, saturated both ways on bytes: pos = max(u - down, 0), neg = max(down - u, 0).
  bool onBytes;
  __m256i down;  // 144 - brightness in bytes, when onBytes
};
MIVORA_KERNEL_INLINE Bias MakeBias(int brightness) {
  const bool onBytes = brightness >= -111 && brightness <= 144;
  return {_mm256_set1_epi16(static_cast<short>(brightness - 144)),
          _mm256_set1_epi8(static_cast<char>(Clip255(brightness - 16))),
          _mm256_set1_epi8(static_cast<char>(Clip255(16 - brightness))), onBytes,
          _mm256_set1_epi8(static_cast<char>(onBytes ? 144 - brightness : 0))};
}

// Terms of sixteen chrominance samples given as bytes.
MIVORA_KERNEL_INLINE ByteTerms TermsOf(__m128i u, __m128i v, const Bias& bias) {
  if (bias.onBytes) {
    const __m256i us = RepeatPairs(u), vs = RepeatPairs(v);
    return {_mm256_subs_epu8(us, bias.down),
            _mm256_subs_epu8(bias.down, us),
            _mm256_subs_epu8(vs, bias.down),
            _mm256_subs_epu8(bias.down, vs),
            bias.greenPos,
            bias.greenNeg};
  }
  const __m256i zero = _mm256_setzero_si256();
  const __m256i blue = _mm256_add_epi16(_mm256_cvtepu8_epi16(u), bias.chroma);
  const __m256i red = _mm256_add_epi16(_mm256_cvtepu8_epi16(v), bias.chroma);
  // Per lane: eight blue terms, then eight red terms.
  const __m256i pos = _mm256_packus_epi16(blue, red);
  const __m256i neg =
      _mm256_packus_epi16(_mm256_sub_epi16(zero, blue), _mm256_sub_epi16(zero, red));
  ByteTerms t;
  t.bluePos = _mm256_unpacklo_epi8(pos, pos);
  t.redPos = _mm256_unpackhi_epi8(pos, pos);
  t.blueNeg = _mm256_unpacklo_epi8(neg, neg);
  t.redNeg = _mm256_unpackhi_epi8(neg, neg);
  t.greenPos = bias.greenPos;
  t.greenNeg = bias.greenNeg;
  return t;
}

// Eight chrominance bytes at lo for the low lane and eight at hi for the high one, each repeated
// for its luminance pair (RepeatPairs of LoadHalves, with one shuffle instead of three).
MIVORA_KERNEL_INLINE __m256i RepeatedHalves(const std::uint8_t* lo, const std::uint8_t* hi) {
  long long low, high;
  std::memcpy(&low, lo, 8);
  std::memcpy(&high, hi, 8);
  const __m256i both = _mm256_blend_epi32(_mm256_set1_epi64x(low), _mm256_set1_epi64x(high), 0xF0);
  return _mm256_shuffle_epi8(
      both, _mm256_setr_epi8(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 0, 0, 1, 1, 2, 2, 3, 3,
                             4, 4, 5, 5, 6, 6, 7, 7));
}
// The terms of repeated chrominance bytes, for a brightness whose terms fit bytes.
MIVORA_KERNEL_INLINE ByteTerms TermsOfRepeated(__m256i us, __m256i vs, const Bias& bias) {
  return {_mm256_subs_epu8(us, bias.down),
          _mm256_subs_epu8(bias.down, us),
          _mm256_subs_epu8(vs, bias.down),
          _mm256_subs_epu8(bias.down, vs),
          bias.greenPos,
          bias.greenNeg};
}

// Sixteen chrominance bytes at p, each repeated for its luminance pair, in the lane order of a
// 32-byte luminance load: a broadcasting load and one shuffle.
MIVORA_KERNEL_INLINE __m256i LoadRepeated(const std::uint8_t* p) {
  return _mm256_shuffle_epi8(
      _mm256_broadcastsi128_si256(Load16(p)),
      _mm256_setr_epi8(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11,
                       12, 12, 13, 13, 14, 14, 15, 15));
}

MIVORA_KERNEL_INLINE ByteTerms LoadByteTerms(const std::uint8_t* u, const std::uint8_t* v,
                                             const Bias& bias) {
  if (bias.onBytes) return TermsOfRepeated(LoadRepeated(u), LoadRepeated(v), bias);
  return TermsOf(Load16(u), Load16(v), bias);
}

MIVORA_KERNEL_INLINE __m256i Channel(__m256i luma, __m256i pos, __m256i neg) {
  return _mm256_adds_epu8(_mm256_subs_epu8(luma, neg), pos);
}

// The bits of a where mask is set, of b elsewhere.
MIVORA_KERNEL_INLINE __m256i Select(__m256i a, __m256i b, __m256i mask) {
  return _mm256_xor_si256(b, _mm256_and_si256(_mm256_xor_si256(a, b), mask));
}

// Thirty-two samples at y to pixels in lane order: a holds pixels 0..7 and 16..23, b 8..15 and
// 24..31.
MIVORA_KERNEL_INLINE void PackLanes(__m256i red, __m256i green, __m256i blue, __m256i& a,
                                    __m256i& b) {
  // The two bytes of each pixel formed in place: 16-bit shifts move each byte's bits to where
  // they go (bits crossing between bytes fall outside the selected ones), then a bitwise select
  // per byte: high = red 7..3 | green 7..5, low = green 4..2 | blue 7..3.
  const __m256i high = Select(red, _mm256_srli_epi16(green, 5), _mm256_set1_epi8(-8));
  const __m256i low =
      Select(_mm256_slli_epi16(green, 3), _mm256_srli_epi16(blue, 3), _mm256_set1_epi8(-32));
  a = _mm256_unpacklo_epi8(low, high);
  b = _mm256_unpackhi_epi8(low, high);
}

// Pixels of 32 luminance values, one per channel (they differ where mode 8 interpolates).
// kNoBrightness: the terms are those of a brightness of 16 or less (always 0 in modes 8 and 9),
// whose green term only subtracts, so green needs one saturating step.
template <bool kNoBrightness = false>
MIVORA_KERNEL_INLINE void PixelsOf(__m256i lumaBlue, __m256i lumaGreen, __m256i lumaRed,
                                   const ByteTerms& t, __m256i& a, __m256i& b) {
  const __m256i green = kNoBrightness ? _mm256_subs_epu8(lumaGreen, t.greenNeg)
                                      : Channel(lumaGreen, t.greenPos, t.greenNeg);
  PackLanes(Channel(lumaRed, t.redPos, t.redNeg), green, Channel(lumaBlue, t.bluePos, t.blueNeg), a,
            b);
}

template <bool kNoBrightness = false>
MIVORA_KERNEL_INLINE void PixelLanes(const std::uint8_t* y, const ByteTerms& t, __m256i& a,
                                     __m256i& b) {
  const __m256i luma = Load32(y);
  PixelsOf<kNoBrightness>(luma, luma, luma, t, a, b);
}

// Thirty-two samples at y to pixels 0..15 (low) and 16..31 (high).
template <bool kNoBrightness = false>
MIVORA_KERNEL_INLINE void Pixels32(const std::uint8_t* y, const ByteTerms& t, __m256i& low,
                                   __m256i& high) {
  __m256i a, b;
  PixelLanes<kNoBrightness>(y, t, a, b);
  low = _mm256_permute2x128_si256(a, b, 0x20);
  high = _mm256_permute2x128_si256(a, b, 0x31);
}

// The first two steps of Transpose8: afterwards, per lane, r[k] holds values 2k and 2k + 1 of rows
// 0..3 (one 64-bit half each) and r[k + 4] those of rows 4..7. Kernels that permute words across
// two registers finish the turn in their own last step.
MIVORA_KERNEL_INLINE void Transpose8Words(__m256i r[8]) {
  const __m256i a0 = _mm256_unpacklo_epi16(r[0], r[1]), a1 = _mm256_unpackhi_epi16(r[0], r[1]);
  const __m256i a2 = _mm256_unpacklo_epi16(r[2], r[3]), a3 = _mm256_unpackhi_epi16(r[2], r[3]);
  const __m256i a4 = _mm256_unpacklo_epi16(r[4], r[5]), a5 = _mm256_unpackhi_epi16(r[4], r[5]);
  const __m256i a6 = _mm256_unpacklo_epi16(r[6], r[7]), a7 = _mm256_unpackhi_epi16(r[6], r[7]);
  r[0] = _mm256_unpacklo_epi32(a0, a2);
  r[1] = _mm256_unpackhi_epi32(a0, a2);
  r[2] = _mm256_unpacklo_epi32(a1, a3);
  r[3] = _mm256_unpackhi_epi32(a1, a3);
  r[4] = _mm256_unpacklo_epi32(a4, a6);
  r[5] = _mm256_unpackhi_epi32(a4, a6);
  r[6] = _mm256_unpacklo_epi32(a5, a7);
  r[7] = _mm256_unpackhi_epi32(a5, a7);
}

// Eight rows of sixteen 16-bit values, turned per lane: afterwards r[c] holds value c of each of
// the eight rows in the low lane and value 8 + c in the high lane.
MIVORA_KERNEL_INLINE void Transpose8(__m256i r[8]) {
  Transpose8Words(r);
  const __m256i b0 = r[0], b1 = r[1], b2 = r[2], b3 = r[3];
  const __m256i b4 = r[4], b5 = r[5], b6 = r[6], b7 = r[7];
  r[0] = _mm256_unpacklo_epi64(b0, b4);
  r[1] = _mm256_unpackhi_epi64(b0, b4);
  r[2] = _mm256_unpacklo_epi64(b1, b5);
  r[3] = _mm256_unpackhi_epi64(b1, b5);
  r[4] = _mm256_unpacklo_epi64(b2, b6);
  r[5] = _mm256_unpackhi_epi64(b2, b6);
  r[6] = _mm256_unpacklo_epi64(b3, b7);
  r[7] = _mm256_unpackhi_epi64(b3, b7);
}

// Thirty-two columns from column x of eight source rows (chrominance rows shared by row pairs,
// chrominance sample c for the first column pair) converted and turned. Afterwards a[i] holds
// the eight pixels of column x + i (low lane) and x + 16 + i (high lane), b[i] those of columns
// x + 8 + i and x + 24 + i, top source row first.
template <bool kNoBrightness = false>
MIVORA_KERNEL_INLINE void TurnedGroup(const SourceRows& rows, std::ptrdiff_t strideY,
                                      std::ptrdiff_t strideU, int x, int c, const Bias& bias,
                                      __m256i a[8], __m256i b[8]) {
  for (int p = 0; p < 4; ++p) {
    const ByteTerms t = LoadByteTerms(rows.u0 + p * strideU + c, rows.v0 + p * strideU + c, bias);
    const std::uint8_t* y = rows.y0 + 2 * p * strideY + x;
    PixelLanes<kNoBrightness>(y, t, a[2 * p], b[2 * p]);
    PixelLanes<kNoBrightness>(y + strideY, t, a[2 * p + 1], b[2 * p + 1]);
  }
  Transpose8(a);
  Transpose8(b);
}

// Sixteen bytes at lo in the low lane, sixteen at hi in the high lane: two broadcasting loads and
// a blend, which keep the shuffle unit free for the transposes.
MIVORA_KERNEL_INLINE __m256i LoadLanes(const std::uint8_t* lo, const std::uint8_t* hi) {
  return _mm256_blend_epi32(_mm256_broadcastsi128_si256(Load16(lo)),
                            _mm256_broadcastsi128_si256(Load16(hi)), 0xF0);
}
// Eight bytes at lo, then eight at hi.
MIVORA_KERNEL_INLINE __m128i LoadHalves(const std::uint8_t* lo, const std::uint8_t* hi) {
  return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(lo)),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(hi)));
}
// Sixteen columns from column x of sixteen source rows (chrominance sample c for the first column
// pair) converted and turned, eight rows in each lane, so that after the per-lane transposes a[i]
// holds the sixteen pixels of column x + i and b[i] those of column x + 8 + i: rows 0..7 in the
// low lane and 8..15 in the high one (one store into a display row), or with kSplit rows 0..3,
// 8..11 | 4..7, 12..15 (so that doubling each pixel in place gives rows 0..7, then 8..15).
template <bool kNoBrightness = false, bool kSplit = false, bool kPartial = false>
MIVORA_KERNEL_INLINE void TurnedTile(const SourceRows& rows, std::ptrdiff_t strideY,
                                     std::ptrdiff_t strideU, int x, int c, const Bias& bias,
                                     __m256i a[8], __m256i b[8]) {
#pragma GCC unroll 4
  for (int p = 0; p < 4; ++p) {
    // The row pairs of step p in the low and high lanes, and their chrominance rows.
    const int low = kSplit ? 2 * p + (p >= 2 ? 4 : 0) : 2 * p;
    const int high = kSplit ? low + 4 : low + 8;
    const std::ptrdiff_t lowU = (low / 2) * strideU + c, highU = (high / 2) * strideU + c;
    const ByteTerms t = bias.onBytes
                            ? TermsOfRepeated(RepeatedHalves(rows.u0 + lowU, rows.u0 + highU),
                                              RepeatedHalves(rows.v0 + lowU, rows.v0 + highU), bias)
                            : TermsOf(LoadHalves(rows.u0 + lowU, rows.u0 + highU),
                                      LoadHalves(rows.v0 + lowU, rows.v0 + highU), bias);
    const std::uint8_t* lowY = rows.y0 + low * strideY + x;
    const std::uint8_t* highY = rows.y0 + high * strideY + x;
    const __m256i upper = LoadLanes(lowY, highY);
    const __m256i lower = LoadLanes(lowY + strideY, highY + strideY);
    PixelsOf<kNoBrightness>(upper, upper, upper, t, a[2 * p], b[2 * p]);
    PixelsOf<kNoBrightness>(lower, lower, lower, t, a[2 * p + 1], b[2 * p + 1]);
  }
  if constexpr (kPartial) {
    Transpose8Words(a);
    Transpose8Words(b);
  } else {
    Transpose8(a);
    Transpose8(b);
  }
}

// Eight bytes from each of four rows, a0 and a1 in the low lane, b0 and b1 in the high one, from
// broadcasting loads and blends (no shuffles).
MIVORA_KERNEL_INLINE __m256i LoadQuarters(const std::uint8_t* a0, const std::uint8_t* a1,
                                          const std::uint8_t* b0, const std::uint8_t* b1) {
  const auto at = [](const std::uint8_t* p) {
    long long bytes;
    std::memcpy(&bytes, p, 8);
    return bytes;
  };
  const __m256i low =
      _mm256_blend_epi32(_mm256_set1_epi64x(at(a0)), _mm256_set1_epi64x(at(a1)), 0x0C);
  const __m256i high =
      _mm256_blend_epi32(_mm256_set1_epi64x(at(b0)), _mm256_set1_epi64x(at(b1)), 0xC0);
  return _mm256_blend_epi32(low, high, 0xF0);
}

// Four chrominance bytes at lo (low lane) and at hi (high lane), each repeated for its luminance
// pair, for the two rows of eight samples a lane of LoadQuarters holds.
MIVORA_KERNEL_INLINE __m256i RepeatedQuarters(const std::uint8_t* lo, const std::uint8_t* hi) {
  int low, high;
  std::memcpy(&low, lo, 4);
  std::memcpy(&high, hi, 4);
  const __m256i both = _mm256_blend_epi32(_mm256_set1_epi32(low), _mm256_set1_epi32(high), 0xF0);
  return _mm256_shuffle_epi8(
      both, _mm256_setr_epi8(0, 0, 1, 1, 2, 2, 3, 3, 0, 0, 1, 1, 2, 2, 3, 3, 0, 0, 1, 1, 2, 2, 3, 3,
                             0, 0, 1, 1, 2, 2, 3, 3));
}

// TurnedTile for eight columns (a only), with the brightness of the doubled mode (0, whose terms
// fit bytes): each step converts four rows of eight samples, a lane holding two.
template <bool kSplit, bool kPartial = false>
MIVORA_KERNEL_INLINE void TurnedNarrowTile(const SourceRows& rows, std::ptrdiff_t strideY,
                                           std::ptrdiff_t strideU, int x, int c, const Bias& bias,
                                           __m256i a[8]) {
#pragma GCC unroll 4
  for (int p = 0; p < 4; ++p) {
    const int low = kSplit ? 2 * p + (p >= 2 ? 4 : 0) : 2 * p;
    const int high = kSplit ? low + 4 : low + 8;
    const std::ptrdiff_t lowU = (low / 2) * strideU + c, highU = (high / 2) * strideU + c;
    const ByteTerms t = TermsOfRepeated(RepeatedQuarters(rows.u0 + lowU, rows.u0 + highU),
                                        RepeatedQuarters(rows.v0 + lowU, rows.v0 + highU), bias);
    const std::uint8_t* lowY = rows.y0 + low * strideY + x;
    const std::uint8_t* highY = rows.y0 + high * strideY + x;
    const __m256i luma = LoadQuarters(lowY, lowY + strideY, highY, highY + strideY);
    // Pixels: rows low | high in the first, low + 1 | high + 1 in the second.
    PixelsOf<true>(luma, luma, luma, t, a[2 * p], a[2 * p + 1]);
  }
  if constexpr (kPartial)
    Transpose8Words(a);
  else
    Transpose8(a);
}

MIVORA_KERNEL_INLINE void StoreLow(std::uint16_t* p, __m256i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(v));
}
MIVORA_KERNEL_INLINE void StoreHigh(std::uint16_t* p, __m256i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_extracti128_si256(v, 1));
}

constexpr unsigned kAllUnchanged = 0x55555555u;

// The SSE2 kernels, for rows too narrow for a 32-column step.
void (*narrowRotatedRowGroup)(const SourceRows&, std::ptrdiff_t, std::ptrdiff_t, std::uint16_t*,
                              std::intptr_t, int, int);
void (*narrowRotatedDoubleRowGroup)(const SourceRows&, std::ptrdiff_t, std::ptrdiff_t,
                                    std::uint16_t*, std::intptr_t, int);

// Mode 7, sixteen column pairs (starting at pair j) of four row pairs; see the SSE2 kernel for the
// pairing. kNoBrightness: brightness 16 or less, where the green term only subtracts.
template <bool kNoBrightness>
MIVORA_KERNEL_INLINE void RotatedStep(const SourceRows& rows, std::ptrdiff_t strideY,
                                      std::ptrdiff_t strideU, std::uint16_t* destination,
                                      std::intptr_t stride, int last, int j, const Bias& bias) {
  const int first = (last & 1) ? 0 : 1;
  const int x = first + 2 * j, c = first + j;
  // changed[p]: bit 2i set when block i of row pair p changed.
  unsigned changed[4] = {kAllUnchanged, kAllUnchanged, kAllUnchanged, kAllUnchanged};
  bool any = true, all = true;
  if (rows.prevY0) {
    any = all = false;
    for (int p = 0; p < 4; ++p) {
      const std::ptrdiff_t luma = 2 * p * strideY + x, chroma = p * strideU + c;
      const __m128i sameChroma =
          _mm_and_si128(_mm_cmpeq_epi8(Load16(rows.u0 + chroma), Load16(rows.prevU + chroma)),
                        _mm_cmpeq_epi8(Load16(rows.v0 + chroma), Load16(rows.prevV + chroma)));
      const __m256i block =
          _mm256_and_si256(_mm256_cmpeq_epi8(Load32(rows.y0 + luma), Load32(rows.prevY0 + luma)),
                           RepeatPairs(sameChroma));
      const __m256i whole = _mm256_cmpeq_epi16(block, _mm256_set1_epi16(-1));
      changed[p] ^= static_cast<unsigned>(_mm256_movemask_epi8(whole)) & kAllUnchanged;
      any |= changed[p] != 0;
      all &= changed[p] == kAllUnchanged;
    }
  }
  if (!any) return;
  __m256i a[8], b[8];
  TurnedGroup<kNoBrightness>(rows, strideY, strideU, x, c, bias, a, b);
  // Column x + i goes to display row last - x - i.
  std::uint16_t* row = destination + (last - x) * stride;
  if (all) {
    for (int i = 0; i < 8; ++i) {
      StoreLow(row - i * stride, a[i]);
      StoreLow(row - (8 + i) * stride, b[i]);
      StoreHigh(row - (16 + i) * stride, a[i]);
      StoreHigh(row - (24 + i) * stride, b[i]);
    }
    return;
  }
  alignas(32) std::uint32_t words[32][4];
  for (int i = 0; i < 8; ++i) {
    StoreLow(reinterpret_cast<std::uint16_t*>(words[i]), a[i]);
    StoreLow(reinterpret_cast<std::uint16_t*>(words[8 + i]), b[i]);
    StoreHigh(reinterpret_cast<std::uint16_t*>(words[16 + i]), a[i]);
    StoreHigh(reinterpret_cast<std::uint16_t*>(words[24 + i]), b[i]);
  }
  for (int i = 0; i < 32; ++i, row -= stride)
    for (int p = 0; p < 4; ++p)
      if (changed[p] & (1u << (i & ~1))) std::memcpy(row + 2 * p, &words[i][p], 4);
}

// Sixteen rows (two groups) of eight column pairs from pair j, every pixel written.
template <bool kNoBrightness>
MIVORA_KERNEL_INLINE void RotatedTileStep(const SourceRows& rows, std::ptrdiff_t strideY,
                                          std::ptrdiff_t strideU, std::uint16_t* destination,
                                          std::intptr_t stride, int last, int j, const Bias& bias) {
  const int first = (last & 1) ? 0 : 1;
  const int x = first + 2 * j, c = first + j;
  __m256i a[8], b[8];
  TurnedTile<kNoBrightness>(rows, strideY, strideU, x, c, bias, a, b);
  std::uint16_t* row = destination + (last - x) * stride;
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) {
    Store(row - i * stride, a[i]);
    Store(row - (8 + i) * stride, b[i]);
  }
}

// The next block of `block` pairs after the one at j; the last block is moved back to end at the
// last pair (redoing some of the one before it, with the same results). -1 after the last.
constexpr int NextBlock(int j, int block, int pairs) {
  if (j + block >= pairs) return -1;
  return std::min(j + block, pairs - block);
}

// Without the skip check, pairs of groups go as sixteen-row tiles, each display row taking
// sixteen adjacent pixels per store; with it (or an odd group left over), group by group.
template <bool kNoBrightness>
MIVORA_KERNEL_INLINE void RotatedRowBandWith(const SourceRows& rows, std::ptrdiff_t strideY,
                                             std::ptrdiff_t strideU, std::uint16_t* destination,
                                             std::intptr_t stride, int last, int pairs,
                                             int groups) {
  if (pairs < 16) {
    for (int g = 0; g < groups; ++g)
      narrowRotatedRowGroup(GroupRows(rows, g, strideY, strideU), strideY, strideU,
                            destination + 8 * g, stride, last, pairs);
    return;
  }
  const Bias bias = MakeBias(rows.brightness);
  const int tiles = rows.prevY0 ? 0 : groups / 2;
  for (int j = 0; tiles > 0 && j >= 0; j = NextBlock(j, 8, pairs)) {
    for (int t = 0; t < tiles; ++t)
      RotatedTileStep<kNoBrightness>(GroupRows(rows, 2 * t, strideY, strideU), strideY, strideU,
                                     destination + 16 * t, stride, last, j, bias);
  }
  for (int j = 0; 2 * tiles < groups && j >= 0; j = NextBlock(j, 16, pairs)) {
    for (int g = 2 * tiles; g < groups; ++g)
      RotatedStep<kNoBrightness>(GroupRows(rows, g, strideY, strideU), strideY, strideU,
                                 destination + 8 * g, stride, last, j, bias);
  }
}

MIVORA_KERNEL void RotatedRowBand(const SourceRows& rows, std::ptrdiff_t strideY,
                                  std::ptrdiff_t strideU, std::uint16_t* destination,
                                  std::intptr_t stride, int last, int pairs, int groups) {
  if (rows.brightness <= 16)
    RotatedRowBandWith<true>(rows, strideY, strideU, destination, stride, last, pairs, groups);
  else
    RotatedRowBandWith<false>(rows, strideY, strideU, destination, stride, last, pairs, groups);
}

MIVORA_KERNEL void RotatedRowGroup(const SourceRows& rows, std::ptrdiff_t strideY,
                                   std::ptrdiff_t strideU, std::uint16_t* destination,
                                   std::intptr_t stride, int last, int pairs) {
  RotatedRowBand(rows, strideY, strideU, destination, stride, last, pairs, 1);
}

// Two columns' eight pixels (low and high lane), each doubled to sixteen, to two display rows
// each: the first column's at row, the second's 32 display rows above.
MIVORA_KERNEL_INLINE void StoreDoubled(std::uint16_t* row, std::intptr_t stride, __m256i value) {
#if MIVORA_KERNEL_WORD_PERMUTES
  // One cross-lane word permute per doubled column.
  const __m256i first = _mm256_permutexvar_epi16(
      _mm256_set_epi16(7, 7, 6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1, 0, 0), value);
  const __m256i second = _mm256_permutexvar_epi16(
      _mm256_set_epi16(15, 15, 14, 14, 13, 13, 12, 12, 11, 11, 10, 10, 9, 9, 8, 8), value);
#else
  const __m256i low = _mm256_unpacklo_epi16(value, value);
  const __m256i high = _mm256_unpackhi_epi16(value, value);
  const __m256i first = _mm256_permute2x128_si256(low, high, 0x20);
  const __m256i second = _mm256_permute2x128_si256(low, high, 0x31);
#endif
  Store(row, first);
  Store(row + stride, first);
  row -= 32 * stride;
  Store(row, second);
  Store(row + stride, second);
}

// Mode 9, thirty-two columns (from even column x) of eight rows: each column's eight pixels,
// doubled, fill sixteen pixels of two display rows.
MIVORA_KERNEL_INLINE void RotatedDoubleStep(const SourceRows& rows, std::ptrdiff_t strideY,
                                            std::ptrdiff_t strideU, std::uint16_t* destination,
                                            std::intptr_t stride, int width, int x,
                                            const Bias& bias) {
  __m256i a[8], b[8];
  TurnedGroup<true>(rows, strideY, strideU, x, x >> 1, bias, a, b);
  // Column x + i goes to display rows 2 (width - 1 - x - i) and the one below.
  std::uint16_t* row = destination + 2 * (width - 1 - x) * stride;
  for (int i = 0; i < 8; ++i) {
    StoreDoubled(row - 2 * i * stride, stride, a[i]);
    StoreDoubled(row - 2 * (8 + i) * stride, stride, b[i]);
  }
}

// A column's sixteen pixels, each doubled, into two display rows of 32 pixels. With the word
// permute, from rows 0..15 in order, with whole 64-byte stores; otherwise from split order (see
// TurnedTile), where doubling within the lanes gives rows 0..7 and 8..15.
constexpr bool kSplitTiles = !MIVORA_KERNEL_WORD_PERMUTES;
MIVORA_KERNEL_INLINE void StoreDoubledColumn(std::uint16_t* row, std::intptr_t stride,
                                             __m256i value) {
#if MIVORA_KERNEL_WORD_PERMUTES
  const __m512i doubled = _mm512_permutexvar_epi16(
      _mm512_set_epi16(15, 15, 14, 14, 13, 13, 12, 12, 11, 11, 10, 10, 9, 9, 8, 8, 7, 7, 6, 6, 5, 5,
                       4, 4, 3, 3, 2, 2, 1, 1, 0, 0),
      _mm512_castsi256_si512(value));
  _mm512_storeu_si512(row, doubled);
  _mm512_storeu_si512(row + stride, doubled);
#else
  const __m256i first = _mm256_unpacklo_epi16(value, value);   // rows 0..7
  const __m256i second = _mm256_unpackhi_epi16(value, value);  // rows 8..15
  Store(row, first);
  Store(row + 16, second);
  Store(row + stride, first);
  Store(row + stride + 16, second);
#endif
}

#if MIVORA_KERNEL_WORD_PERMUTES
// Word orders that finish the turn of Transpose8Words and double each pixel in one two-source
// permute: column c takes rows 0..3 (and 8..11) from the 64-bit half c & 1 of the first source,
// rows 4..7 (and 12..15) from the same half of the second.
template <int kHalf>
struct DoubledColumnOrder {
  alignas(64) std::int16_t words[32];
  constexpr DoubledColumnOrder() : words() {
    for (int row = 0; row < 16; ++row) {
      const int lane = row >> 3, within = row & 7;
      const int word = (within < 4 ? 0 : 32) + lane * 8 + kHalf * 4 + (within & 3);
      words[2 * row] = words[2 * row + 1] = static_cast<std::int16_t>(word);
    }
  }
};
constexpr DoubledColumnOrder<0> kDoubledEven;
constexpr DoubledColumnOrder<1> kDoubledOdd;

// Eight columns from the two-step transposes of TurnedTile<..., kPartial>, each doubled into two
// display rows of 32 pixels, column i at row - 2 i stride. The orders read only the low halves of
// the widened registers.
MIVORA_KERNEL_INLINE void StoreDoubledColumns(std::uint16_t* row, std::intptr_t stride,
                                              const __m256i r[8]) {
  const __m512i even = _mm512_load_si512(kDoubledEven.words);
  const __m512i odd = _mm512_load_si512(kDoubledOdd.words);
#pragma GCC unroll 8
  for (int c = 0; c < 8; ++c) {
    const __m512i doubled =
        _mm512_permutex2var_epi16(_mm512_castsi256_si512(r[c >> 1]), (c & 1) ? odd : even,
                                  _mm512_castsi256_si512(r[(c >> 1) + 4]));
    _mm512_storeu_si512(row - 2 * c * stride, doubled);
    _mm512_storeu_si512(row - 2 * c * stride + stride, doubled);
  }
}
#endif

// Sixteen rows (two groups) of sixteen columns from even column x; kNarrow: of eight columns.
template <bool kNarrow = false>
MIVORA_KERNEL_INLINE void RotatedDoubleTileStep(const SourceRows& rows, std::ptrdiff_t strideY,
                                                std::ptrdiff_t strideU, std::uint16_t* destination,
                                                std::intptr_t stride, int width, int x,
                                                const Bias& bias) {
  __m256i a[8], b[8];
  std::uint16_t* row = destination + 2 * (width - 1 - x) * stride;
#if MIVORA_KERNEL_WORD_PERMUTES
  if constexpr (kNarrow) {
    TurnedNarrowTile<false, true>(rows, strideY, strideU, x, x >> 1, bias, a);
  } else {
    TurnedTile<true, false, true>(rows, strideY, strideU, x, x >> 1, bias, a, b);
    StoreDoubledColumns(row - 16 * stride, stride, b);
  }
  StoreDoubledColumns(row, stride, a);
#else
  if constexpr (kNarrow)
    TurnedNarrowTile<kSplitTiles>(rows, strideY, strideU, x, x >> 1, bias, a);
  else
    TurnedTile<true, kSplitTiles>(rows, strideY, strideU, x, x >> 1, bias, a, b);
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) {
    StoreDoubledColumn(row - 2 * i * stride, stride, a[i]);
    if constexpr (!kNarrow) StoreDoubledColumn(row - 2 * (8 + i) * stride, stride, b[i]);
  }
#endif
}

MIVORA_KERNEL void RotatedDoubleRowBand(const SourceRows& rows, std::ptrdiff_t strideY,
                                        std::ptrdiff_t strideU, std::uint16_t* destination,
                                        std::intptr_t stride, int width, int groups) {
  if (width < 32) {
    for (int g = 0; g < groups; ++g)
      narrowRotatedDoubleRowGroup(GroupRows(rows, g, strideY, strideU), strideY, strideU,
                                  destination + 16 * g, stride, width);
    return;
  }
  const Bias bias = MakeBias(0);
  // Steps start at even columns: pairs of groups as sixteen-row tiles of eight column pairs, an
  // odd group left over in blocks of sixteen column pairs.
  // The pairs after the last whole tile go as tiles of four pairs, the last of them moved back
  // to end at the last pair (a width of 120 needs seven whole tiles and one of four pairs).
  const int tiles = groups / 2;
  const int pairs = width / 2;
  for (int j = 0; tiles > 0 && j < pairs;) {
    if (j + 8 <= pairs) {
      for (int t = 0; t < tiles; ++t)
        RotatedDoubleTileStep(GroupRows(rows, 2 * t, strideY, strideU), strideY, strideU,
                              destination + 32 * t, stride, width, 2 * j, bias);
      j += 8;
    } else {
      j = std::min(j, pairs - 4);
      for (int t = 0; t < tiles; ++t)
        RotatedDoubleTileStep<true>(GroupRows(rows, 2 * t, strideY, strideU), strideY, strideU,
                                    destination + 32 * t, stride, width, 2 * j, bias);
      j += 4;
    }
  }
  for (int j = 0; 2 * tiles < groups && j >= 0; j = NextBlock(j, 16, width / 2)) {
    for (int g = 2 * tiles; g < groups; ++g)
      RotatedDoubleStep(GroupRows(rows, g, strideY, strideU), strideY, strideU,
                        destination + 16 * g, stride, width, 2 * j, bias);
  }
  if (width & 1) {
    for (int g = 0; g < groups; ++g)
      RotatedDoubleLastColumn(GroupRows(rows, g, strideY, strideU), strideY, strideU,
                              destination + 16 * g, stride, width);
  }
}

MIVORA_KERNEL void RotatedDoubleRowGroup(const SourceRows& rows, std::ptrdiff_t strideY,
                                         std::ptrdiff_t strideU, std::uint16_t* destination,
                                         std::intptr_t stride, int width) {
  RotatedDoubleRowBand(rows, strideY, strideU, destination, stride, width, 1);
}

MIVORA_KERNEL_INLINE void StoreBlocks(std::uint16_t* destination, const std::uint16_t* words,
                                      unsigned changed) {
  while (changed) {
    const int bit = __builtin_ctz(changed);
    std::memcpy(destination + bit, words + bit, 4);
    changed &= changed - 1;
  }
}

// Mode 5, sixteen chrominance pairs per step; bit 2j of changed stands for block j.
template <bool kNoBrightness>
MIVORA_KERNEL_INLINE void NormalRowPairWith(const SourceRows& rows, std::uint16_t* top,
                                            std::uint16_t* bottom, int pairs) {
  if (pairs < 16) {
    ReferenceConvertDsp().normalRowPair(rows, top, bottom, pairs);
    return;
  }
  const Bias bias = MakeBias(rows.brightness);
  const __m256i oddBytes = _mm256_set1_epi16(static_cast<short>(0xFF00));
  for (int k = 0;; k += 16) {
    if (k + 16 > pairs) k = pairs - 16;
    const int x = 2 * k;
    unsigned changed = kAllUnchanged;
    if (rows.prevY0) {
      const __m256i luma = _mm256_or_si256(
          _mm256_and_si256(_mm256_cmpeq_epi8(Load32(rows.y0 + x), Load32(rows.prevY0 + x)),
                           _mm256_cmpeq_epi8(Load32(rows.y1 + x), Load32(rows.prevY1 + x))),
          oddBytes);
      const __m128i chroma =
          _mm_and_si128(_mm_cmpeq_epi8(Load16(rows.u0 + k), Load16(rows.prevU + k)),
                        _mm_cmpeq_epi8(Load16(rows.v0 + k), Load16(rows.prevV + k)));
      const __m256i block = _mm256_and_si256(luma, RepeatPairs(chroma));
      const __m256i whole = _mm256_cmpeq_epi16(block, _mm256_set1_epi16(-1));
      changed ^= static_cast<unsigned>(_mm256_movemask_epi8(whole)) & kAllUnchanged;
    }
    if (changed != 0) {
      const ByteTerms t = LoadByteTerms(rows.u0 + k, rows.v0 + k, bias);
      __m256i top0, top1, bottom0, bottom1;
      Pixels32<kNoBrightness>(rows.y0 + x, t, top0, top1);
      Pixels32<kNoBrightness>(rows.y1 + x, t, bottom0, bottom1);
      if (changed == kAllUnchanged) {
        Store(top + x, top0);
        Store(top + x + 16, top1);
        Store(bottom + x, bottom0);
        Store(bottom + x + 16, bottom1);
      } else {
        alignas(32) std::uint16_t words[64];
        Store(words, top0);
        Store(words + 16, top1);
        Store(words + 32, bottom0);
        Store(words + 48, bottom1);
        StoreBlocks(top + x, words, changed);
        StoreBlocks(bottom + x, words + 32, changed);
      }
    }
    if (k + 16 >= pairs) break;
  }
}

MIVORA_KERNEL void NormalRowPair(const SourceRows& rows, std::uint16_t* top, std::uint16_t* bottom,
                                 int pairs) {
  if (rows.brightness <= 16)
    NormalRowPairWith<true>(rows, top, bottom, pairs);
  else
    NormalRowPairWith<false>(rows, top, bottom, pairs);
}

// Mode 8 on bytes, thirty-two samples per step. The interpolated channels are halved sums of
// two unclipped values, formed exactly from byte means: towards the right neighbour (same
// chrominance) floor((a + a') / 2) + u - 144; towards a lower neighbour, with chrominance u0
// above and u1 below, floor((a + b) / 2) + floor((u0 + u1) / 2) - 144, plus 1 where a + b and
// u0 + u1 are both odd. Green has no chrominance term: floor((a + b) / 2) - 16.
MIVORA_KERNEL_INLINE __m256i FloorMean(__m256i a, __m256i b) {
  return _mm256_sub_epi8(_mm256_avg_epu8(a, b),
                         _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_set1_epi8(1)));
}
MIVORA_KERNEL_INLINE __m128i FloorMean(__m128i a, __m128i b) {
  return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

// The pixels between samples here and other (the row below): oddU / oddV hold, in bit 0, whether
// u0 + u1 / v0 + v1 is odd for each sample's chrominance pair.
MIVORA_KERNEL_INLINE void LowerPixels(__m256i here, __m256i other, __m256i oddU, __m256i oddV,
                                      const ByteTerms& lower, __m256i& a, __m256i& b) {
  const __m256i mean = FloorMean(here, other);
  const __m256i odd = _mm256_and_si256(_mm256_xor_si256(here, other), _mm256_set1_epi8(1));
  // mean <= 254 wherever a + b is odd, so the added 1 stays within the byte.
  PixelsOf<true>(_mm256_add_epi8(mean, _mm256_and_si256(odd, oddU)), mean,
                 _mm256_add_epi8(mean, _mm256_and_si256(odd, oddV)), lower, a, b);
}

// Left and right pixels of 32 samples (lane order, as PackLanes gives them) interleaved into 64
// display pixels at p.
MIVORA_KERNEL_INLINE void StoreInterleaved(std::uint16_t* p, __m256i leftA, __m256i leftB,
                                           __m256i rightA, __m256i rightB) {
#if MIVORA_KERNEL_WORD_PERMUTES
  // One two-source word permute per sixteen display pixels: words 0..15 of the first source,
  // 16..31 of the second; the low lanes hold samples 0..7 (A) and 8..15 (B), the high ones 16..23
  // and 24..31.
  const __m256i low = _mm256_setr_epi16(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
  const __m256i high =
      _mm256_setr_epi16(8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
  Store(p, _mm256_permutex2var_epi16(leftA, low, rightA));
  Store(p + 16, _mm256_permutex2var_epi16(leftB, low, rightB));
  Store(p + 32, _mm256_permutex2var_epi16(leftA, high, rightA));
  Store(p + 48, _mm256_permutex2var_epi16(leftB, high, rightB));
#else
  const __m256i q0 = _mm256_unpacklo_epi16(leftA, rightA);  // samples 0..3 | 16..19
  const __m256i q1 = _mm256_unpackhi_epi16(leftA, rightA);  // 4..7 | 20..23
  const __m256i q2 = _mm256_unpacklo_epi16(leftB, rightB);  // 8..11 | 24..27
  const __m256i q3 = _mm256_unpackhi_epi16(leftB, rightB);  // 12..15 | 28..31
  Store(p, _mm256_permute2x128_si256(q0, q1, 0x20));
  Store(p + 16, _mm256_permute2x128_si256(q2, q3, 0x20));
  Store(p + 32, _mm256_permute2x128_si256(q0, q1, 0x31));
  Store(p + 48, _mm256_permute2x128_si256(q2, q3, 0x31));
#endif
}

// Samples x .. x + 31 (x even, x + 32 within the row) converted; bit i of changed says whether
// sample i's block is stored. kOneChromaRow: the row below has the same chrominance row (an even
// row, or the last one), so the lower pixels need no chrominance mean.
// The 32 bytes after the first of the 32 at p, without reading past them: the last is 0.
MIVORA_KERNEL_INLINE __m256i NextBytes(const std::uint8_t* p) {
  const __m256i v = Load32(p);
  return _mm256_alignr_epi8(_mm256_permute2x128_si256(v, v, 0x81), v, 1);
}

// kAtRowEnd: sample x + 31 is the row's last, so the right neighbours are not read; its right
// pixels repeat its top-left one, as the reference has them.
template <bool kOneChromaRow, bool kAtRowEnd = false>
MIVORA_KERNEL_INLINE void DoubleStep(const SourceRows& rows, std::uint16_t* top,
                                     std::uint16_t* bottom, int x, unsigned changed,
                                     const Bias& bias) {
  const int c = x >> 1;
  const __m128i u0 = Load16(rows.u0 + c), v0 = Load16(rows.v0 + c);
  const ByteTerms upper = TermsOf(u0, v0, bias);
  const __m256i here = Load32(rows.y0 + x);
  const __m256i right =
      FloorMean(here, kAtRowEnd ? NextBytes(rows.y0 + x) : Load32(rows.y0 + x + 1));
  __m256i topLeftA, topLeftB, topRightA, topRightB;
  PixelsOf<true>(here, here, here, upper, topLeftA, topLeftB);
  PixelsOf<true>(right, right, right, upper, topRightA, topRightB);
  __m256i bottomLeftA, bottomLeftB, bottomRightA, bottomRightB;
  const __m256i below = Load32(rows.y1 + x);
  const __m256i belowRight = kAtRowEnd ? NextBytes(rows.y1 + x) : Load32(rows.y1 + x + 1);
  if constexpr (kOneChromaRow) {
    const __m256i left = FloorMean(here, below), diagonal = FloorMean(here, belowRight);
    PixelsOf<true>(left, left, left, upper, bottomLeftA, bottomLeftB);
    PixelsOf<true>(diagonal, diagonal, diagonal, upper, bottomRightA, bottomRightB);
  } else {
    const __m128i u1 = Load16(rows.u1 + c), v1 = Load16(rows.v1 + c);
    const ByteTerms lower = TermsOf(FloorMean(u0, u1), FloorMean(v0, v1), bias);
    const __m256i oddU = RepeatPairs(_mm_xor_si128(u0, u1));
    const __m256i oddV = RepeatPairs(_mm_xor_si128(v0, v1));
    LowerPixels(here, below, oddU, oddV, lower, bottomLeftA, bottomLeftB);
    LowerPixels(here, belowRight, oddU, oddV, lower, bottomRightA, bottomRightB);
  }
  if constexpr (kAtRowEnd) {
    // Sample 31 is the last word of the B vectors.
    const __m256i last = _mm256_set_epi16(-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    topRightB = _mm256_blendv_epi8(topRightB, topLeftB, last);
    bottomRightB = _mm256_blendv_epi8(bottomRightB, topLeftB, last);
  }
  if (changed == 0xFFFFFFFFu) {
    StoreInterleaved(top + 2 * x, topLeftA, topLeftB, topRightA, topRightB);
    StoreInterleaved(bottom + 2 * x, bottomLeftA, bottomLeftB, bottomRightA, bottomRightB);
    return;
  }
  alignas(32) std::uint16_t words[128];
  StoreInterleaved(words, topLeftA, topLeftB, topRightA, topRightB);
  StoreInterleaved(words + 64, bottomLeftA, bottomLeftB, bottomRightA, bottomRightB);
  while (changed) {
    const int i = __builtin_ctz(changed);
    std::memcpy(top + 2 * (x + i), words + 2 * i, 4);
    std::memcpy(bottom + 2 * (x + i), words + 64 + 2 * i, 4);
    changed &= changed - 1;
  }
}

// Bit i set when sample x + i (of 32) or its chrominance pair differs from the previous
// picture; all set when the check is off.
MIVORA_KERNEL_INLINE unsigned ChangedSamples(const SourceRows& rows, int x) {
  if (!rows.prevY0) return 0xFFFFFFFFu;
  const int c = x >> 1;
  const __m128i chroma = _mm_and_si128(_mm_cmpeq_epi8(Load16(rows.u0 + c), Load16(rows.prevU + c)),
                                       _mm_cmpeq_epi8(Load16(rows.v0 + c), Load16(rows.prevV + c)));
  const __m256i same = _mm256_and_si256(
      _mm256_cmpeq_epi8(Load32(rows.y0 + x), Load32(rows.prevY0 + x)), RepeatPairs(chroma));
  return ~static_cast<unsigned>(_mm256_movemask_epi8(same));
}

// Vector steps need the sample after the 32nd; the last step is moved back to end as close to
// the row end as that allows, and the one or two samples after it go through the reference.
template <bool kOneChromaRow>
MIVORA_KERNEL_INLINE void DoubleRowWith(const SourceRows& rows, std::uint16_t* top,
                                        std::uint16_t* bottom, int begin, int end, int width) {
  const Bias bias = MakeBias(0);
  int x = begin;
  for (; x + 32 <= end && x + 33 <= width; x += 32) {
    const unsigned changed = ChangedSamples(rows, x);
    if (changed) DoubleStep<kOneChromaRow>(rows, top, bottom, x, changed, bias);
  }
  if (x < end && end - begin >= 32) {
    const int back = (std::min(end - 32, width - 33) - begin) & ~1;
    if (back >= 0) {
      const int start = begin + back;
      const unsigned changed = ChangedSamples(rows, start);
      if (changed) DoubleStep<kOneChromaRow>(rows, top, bottom, start, changed, bias);
      x = std::max(x, start + 32);
    }
  }
  // An even row width leaves its last two samples after the moved-back step: one more step ends
  // exactly at the row end, without its right neighbours.
  if (x < end && end == width && !(width & 1) && end - begin >= 32) {
    const int start = width - 32;
    const unsigned changed = ChangedSamples(rows, start);
    if (changed) DoubleStep<kOneChromaRow, true>(rows, top, bottom, start, changed, bias);
    x = end;
  }
  if (x < end) ReferenceConvertDsp().doubleRow(rows, top, bottom, x, end, width);
}

MIVORA_KERNEL void DoubleRow(const SourceRows& rows, std::uint16_t* top, std::uint16_t* bottom,
                             int begin, int end, int width) {
  // The steps pair samples with their chrominance from an even column: an odd first sample
  // goes alone.
  if ((begin & 1) && begin < end) {
    ReferenceConvertDsp().doubleRow(rows, top, bottom, begin, begin + 1, width);
    ++begin;
  }
  if (rows.u1 == rows.u0 && rows.v1 == rows.v0)
    DoubleRowWith<true>(rows, top, bottom, begin, end, width);
  else
    DoubleRowWith<false>(rows, top, bottom, begin, end, width);
}

// Lays this set's kernels over dsp (the set below it), keeping that set's turned kernels for rows
// too narrow for these.
void InstallKernels(ConvertDsp& dsp) {
  narrowRotatedRowGroup = dsp.rotatedRowGroup;
  narrowRotatedDoubleRowGroup = dsp.rotatedDoubleRowGroup;
  dsp.normalRowPair = &NormalRowPair;
  dsp.doubleRow = &DoubleRow;
  dsp.rotatedRowGroup = &RotatedRowGroup;
  dsp.rotatedDoubleRowGroup = &RotatedDoubleRowGroup;
  dsp.rotatedRowBand = &RotatedRowBand;
  dsp.rotatedDoubleRowBand = &RotatedDoubleRowBand;
}

}  // namespace

}  // namespace mivora::convert
