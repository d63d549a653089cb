// SSE2 row kernels for the one-to-one modes: sixteen samples (eight chrominance pairs) per step.
// Results are identical to the reference kernels; blocks the vector path cannot take whole (a
// group with some unchanged blocks, the pairs left at the row end, mode 7 with an odd width) go
// through the reference kernel.
#include "output/convert_sse2.h"

#if defined(__SSE2__)

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace mivora::convert {
namespace {

struct Terms {
  __m128i blue, red;  // per chrominance sample, 8 x int16
  __m128i green;      // brightness - 16
};

inline Terms LoadTerms(const std::uint8_t* u, const std::uint8_t* v, int brightness) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bias = _mm_set1_epi16(static_cast<short>(brightness - 144));
  Terms t;
  t.blue = _mm_add_epi16(
      _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u)), zero), bias);
  t.red = _mm_add_epi16(
      _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v)), zero), bias);
  t.green = _mm_set1_epi16(static_cast<short>(brightness - 16));
  return t;
}

inline __m128i Clip(__m128i value) {
  return _mm_min_epi16(_mm_max_epi16(value, _mm_setzero_si128()), _mm_set1_epi16(255));
}

// Eight luminance samples (int16) with their chrominance terms (each used by two samples).
inline __m128i Pack8(__m128i luma, __m128i blue, __m128i green, __m128i red) {
  const __m128i b = Clip(_mm_add_epi16(luma, blue));
  const __m128i g = Clip(_mm_add_epi16(luma, green));
  const __m128i r = Clip(_mm_add_epi16(luma, red));
  return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(r, _mm_set1_epi16(0xF8)), 8),
                                   _mm_slli_epi16(_mm_and_si128(g, _mm_set1_epi16(0xFC)), 3)),
                      _mm_srli_epi16(b, 3));
}

// Sixteen samples at y, pixels 0..7 to low, 8..15 to high.
inline void Pixels16(const std::uint8_t* y, const Terms& t, __m128i& low, __m128i& high) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i samples = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
  low = Pack8(_mm_unpacklo_epi8(samples, zero), _mm_unpacklo_epi16(t.blue, t.blue), t.green,
              _mm_unpacklo_epi16(t.red, t.red));
  high = Pack8(_mm_unpackhi_epi8(samples, zero), _mm_unpackhi_epi16(t.blue, t.blue), t.green,
               _mm_unpackhi_epi16(t.red, t.red));
}

inline __m128i Equal16(const std::uint8_t* a, const std::uint8_t* b) {
  return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)));
}
inline __m128i Equal8(const std::uint8_t* a, const std::uint8_t* b) {
  return _mm_cmpeq_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)),
                        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b)));
}

// Bit 2j of the result is set when block j of the eight counts as unchanged: sampleMask holds
// 0xFF in the bytes of the luminance samples the mode compares, per 16-bit block lane.
inline int UnchangedBlocks(__m128i lumaEqual, const SourceRows& rows, int k) {
  const __m128i chroma =
      _mm_and_si128(Equal8(rows.u0 + k, rows.prevU + k), Equal8(rows.v0 + k, rows.prevV + k));
  const __m128i block = _mm_and_si128(lumaEqual, _mm_unpacklo_epi8(chroma, chroma));
  // A block lane is unchanged when both of its bytes are all ones.
  const __m128i whole = _mm_cmpeq_epi16(block, _mm_set1_epi16(-1));
  return _mm_movemask_epi8(whole) & 0x5555;
}

SourceRows Shifted(const SourceRows& rows, int x, int k) {
  SourceRows s = rows;
  s.y0 += x;
  s.y1 += x;
  s.u0 += k;
  s.v0 += k;
  if (s.prevY0) {
    s.prevY0 += x;
    if (s.prevY1) s.prevY1 += x;
    s.prevU += k;
    s.prevV += k;
  }
  return s;
}

void NormalRowPair(const SourceRows& rows, std::uint16_t* top, std::uint16_t* bottom, int pairs) {
  const ConvertDsp& reference = ReferenceConvertDsp();
  int k = 0;
  for (; k + 8 <= pairs; k += 8) {
    const int x = 2 * k;
    if (rows.prevY0) {
      // Mode 5 compares the left column of each block in both rows: the even bytes.
      const __m128i even = _mm_set1_epi16(0x00FF);
      const __m128i luma =
          _mm_or_si128(_mm_and_si128(_mm_and_si128(Equal16(rows.y0 + x, rows.prevY0 + x),
                                                   Equal16(rows.y1 + x, rows.prevY1 + x)),
                                     even),
                       _mm_andnot_si128(even, _mm_set1_epi16(-1)));
      const int unchanged = UnchangedBlocks(luma, rows, k);
      if (unchanged == 0x5555) continue;
      if (unchanged != 0) {
        reference.normalRowPair(Shifted(rows, x, k), top + x, bottom + x, 8);
        continue;
      }
    }
    const Terms t = LoadTerms(rows.u0 + k, rows.v0 + k, rows.brightness);
    __m128i low, high;
    Pixels16(rows.y0 + x, t, low, high);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(top + x), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(top + x + 8), high);
    Pixels16(rows.y1 + x, t, low, high);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bottom + x), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bottom + x + 8), high);
  }
  if (k < pairs)
    reference.normalRowPair(Shifted(rows, 2 * k, k), top + 2 * k, bottom + 2 * k, pairs - k);
}

// Mode 7 with an even width pairs columns (2j + 1, 2j) with chrominance j, as mode 5 pairs
// (2j, 2j + 1): the vector path converts sixteen columns of both rows at once and stores each
// column's two pixels as one word on display row last - column.
void RotatedRowPair(const SourceRows& rows, std::uint16_t* destination, std::intptr_t stride,
                    int last, int pairs) {
  const ConvertDsp& reference = ReferenceConvertDsp();
  if ((last & 1) == 0) {
    reference.rotatedRowPair(rows, destination, stride, last, pairs);
    return;
  }
  // Chrominance groups from the left edge: column pair j is columns 2j, 2j + 1 and is the
  // reference kernel's pair number (last - 2j - 1) / 2.
  int j = 0;
  for (; j + 8 <= pairs; j += 8) {
    const int x = 2 * j;
    if (rows.prevY0) {
      // Mode 7 compares both columns of the block in the upper row only.
      const __m128i luma = Equal16(rows.y0 + x, rows.prevY0 + x);
      const int unchanged = UnchangedBlocks(luma, rows, j);
      if (unchanged == 0x5555) continue;
      if (unchanged != 0) {
        // Pairs j .. j + 7 are the reference's pairs starting at column x + 15.
        const int firstPair = (last - (x + 15)) / 2;
        reference.rotatedRowPair(rows, destination + 2 * firstPair * stride, stride, x + 15, 8);
        continue;
      }
    }
    const Terms t = LoadTerms(rows.u0 + j, rows.v0 + j, rows.brightness);
    __m128i top0, top1, bottom0, bottom1;
    Pixels16(rows.y0 + x, t, top0, top1);
    Pixels16(rows.y1 + x, t, bottom0, bottom1);
    alignas(16) std::uint32_t words[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(words), _mm_unpacklo_epi16(top0, bottom0));
    _mm_store_si128(reinterpret_cast<__m128i*>(words + 4), _mm_unpackhi_epi16(top0, bottom0));
    _mm_store_si128(reinterpret_cast<__m128i*>(words + 8), _mm_unpacklo_epi16(top1, bottom1));
    _mm_store_si128(reinterpret_cast<__m128i*>(words + 12), _mm_unpackhi_epi16(top1, bottom1));
    std::uint16_t* row = destination + (last - x) * stride;
    for (int c = 0; c < 16; ++c, row -= stride) {
      const std::uint32_t word = words[c];
      row[0] = static_cast<std::uint16_t>(word);
      row[1] = static_cast<std::uint16_t>(word >> 16);
    }
  }
  // Pairs left at the right edge (the display top): columns 2j .. last.
  if (j < pairs) {
    const int firstPair = (last - (2 * pairs - 1)) / 2;
    reference.rotatedRowPair(rows, destination + 2 * firstPair * stride, stride, 2 * pairs - 1,
                             pairs - j);
  }
}

// Four chrominance samples, each repeated for two luminance samples, minus 144 (8 x int16).
inline __m128i ChromaTerm4(const std::uint8_t* c) {
  int packed;
  std::memcpy(&packed, c, 4);
  const __m128i four = _mm_unpacklo_epi8(_mm_cvtsi32_si128(packed), _mm_setzero_si128());
  return _mm_sub_epi16(_mm_unpacklo_epi16(four, four), _mm_set1_epi16(144));
}
inline __m128i Load8(const std::uint8_t* p) {
  return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                           _mm_setzero_si128());
}
inline __m128i PackClipped(__m128i blue, __m128i green, __m128i red) {
  return _mm_or_si128(
      _mm_or_si128(_mm_slli_epi16(_mm_and_si128(Clip(red), _mm_set1_epi16(0xF8)), 8),
                   _mm_slli_epi16(_mm_and_si128(Clip(green), _mm_set1_epi16(0xFC)), 3)),
      _mm_srli_epi16(Clip(blue), 3));
}
inline __m128i Mean(__m128i a, __m128i b) {
  return _mm_srai_epi16(_mm_add_epi16(a, b), 1);
}

// Mode 8, eight samples per step while the sample right of the eighth exists (the last column
// repeats its own pixel and goes through the reference kernel, as do groups that are partly
// unchanged).
void DoubleRow(const SourceRows& rows, std::uint16_t* top, std::uint16_t* bottom, int begin,
               int end, int width) {
  const ConvertDsp& reference = ReferenceConvertDsp();
  const __m128i sixteen = _mm_set1_epi16(16);
  // Vector steps need the sample after the eighth; begin is even (chrominance pairs).
  int x = begin;
  for (; x + 9 <= end && x + 9 <= width; x += 8) {
    const int c = x >> 1;
    if (rows.prevY0) {
      int u, v, pu, pv;
      std::memcpy(&u, rows.u0 + c, 4);
      std::memcpy(&v, rows.v0 + c, 4);
      std::memcpy(&pu, rows.prevU + c, 4);
      std::memcpy(&pv, rows.prevV + c, 4);
      const __m128i chroma =
          _mm_and_si128(_mm_cmpeq_epi8(_mm_cvtsi32_si128(u), _mm_cvtsi32_si128(pu)),
                        _mm_cmpeq_epi8(_mm_cvtsi32_si128(v), _mm_cvtsi32_si128(pv)));
      const __m128i same =
          _mm_and_si128(Equal8(rows.y0 + x, rows.prevY0 + x), _mm_unpacklo_epi8(chroma, chroma));
      const int unchanged = _mm_movemask_epi8(same) & 0xFF;
      if (unchanged == 0xFF) continue;
      if (unchanged != 0) {
        reference.doubleRow(rows, top, bottom, x, x + 8, width);
        continue;
      }
    }
    const __m128i blue0 = ChromaTerm4(rows.u0 + c), red0 = ChromaTerm4(rows.v0 + c);
    const __m128i blue1 = ChromaTerm4(rows.u1 + c), red1 = ChromaTerm4(rows.v1 + c);
    const __m128i here = Load8(rows.y0 + x), right = Load8(rows.y0 + x + 1);
    const __m128i below = Load8(rows.y1 + x), belowRight = Load8(rows.y1 + x + 1);
    // Unclipped channels: blue = Y - 144 + U, green = Y - 16, red = Y - 144 + V.
    const __m128i hb = _mm_add_epi16(here, blue0), hg = _mm_sub_epi16(here, sixteen),
                  hr = _mm_add_epi16(here, red0);
    const __m128i topLeft = PackClipped(hb, hg, hr);
    const __m128i topRight =
        PackClipped(Mean(hb, _mm_add_epi16(right, blue0)), Mean(hg, _mm_sub_epi16(right, sixteen)),
                    Mean(hr, _mm_add_epi16(right, red0)));
    const __m128i bottomLeft =
        PackClipped(Mean(hb, _mm_add_epi16(below, blue1)), Mean(hg, _mm_sub_epi16(below, sixteen)),
                    Mean(hr, _mm_add_epi16(below, red1)));
    const __m128i bottomRight = PackClipped(Mean(hb, _mm_add_epi16(belowRight, blue1)),
                                            Mean(hg, _mm_sub_epi16(belowRight, sixteen)),
                                            Mean(hr, _mm_add_epi16(belowRight, red1)));
    __m128i* t = reinterpret_cast<__m128i*>(top + 2 * x);
    __m128i* b = reinterpret_cast<__m128i*>(bottom + 2 * x);
    _mm_storeu_si128(t, _mm_unpacklo_epi16(topLeft, topRight));
    _mm_storeu_si128(t + 1, _mm_unpackhi_epi16(topLeft, topRight));
    _mm_storeu_si128(b, _mm_unpacklo_epi16(bottomLeft, bottomRight));
    _mm_storeu_si128(b + 1, _mm_unpackhi_epi16(bottomLeft, bottomRight));
  }
  if (x < end) reference.doubleRow(rows, top, bottom, x, end, width);
}

}  // namespace

void InstallSse2(ConvertDsp& dsp) {
  dsp.normalRowPair = &NormalRowPair;
  dsp.rotatedRowPair = &RotatedRowPair;
  dsp.doubleRow = &DoubleRow;
}

}  // namespace mivora::convert

#else

namespace mivora::convert {
void InstallSse2(ConvertDsp&) {}
}  // namespace mivora::convert

#endif
