// Row kernels of the colour converters, behind a table so that faster versions can replace the
// reference ones at start-up. The converters (convert_*.cpp) crop, clamp and walk the rows; the
// kernels convert one row or row pair.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mivora::convert {

// The source rows a kernel reads. prevY0 == nullptr switches the skip-unchanged check off; when it
// is set, prevY1 (where the mode checks a second row), prevU and prevV are set too.
struct SourceRows {
  const std::uint8_t* y0 = nullptr;  // the row (or upper row of the pair)
  const std::uint8_t* y1 = nullptr;  // the row below
  const std::uint8_t* u0 = nullptr;  // chrominance row of y0
  const std::uint8_t* v0 = nullptr;
  const std::uint8_t* u1 = nullptr;  // chrominance row of y1 (mode 8 only)
  const std::uint8_t* v1 = nullptr;
  const std::uint8_t* prevY0 = nullptr;
  const std::uint8_t* prevY1 = nullptr;
  const std::uint8_t* prevU = nullptr;
  const std::uint8_t* prevV = nullptr;
  int brightness = 0;
};

struct ConvertDsp {
  // Mode 5: columns 0 .. 2*pairs-1 of rows y0 and y1 to display rows top and bottom.
  void (*normalRowPair)(const SourceRows& rows, std::uint16_t* top, std::uint16_t* bottom,
                        int pairs);
  // Mode 7: source rows y0, y1 become display columns 0 and 1 at destination; source columns
  // last, last-1, ... (pairs of them) go down the display, two rows per pair, stride pixels apart.
  void (*rotatedRowPair)(const SourceRows& rows, std::uint16_t* destination, std::intptr_t stride,
                         int last, int pairs);
  // Mode 8: samples begin .. end - 1 of source row y0 (with y1 below it) become their blocks on
  // display rows top and bottom (pointers and rows at sample 0); width - 1 is the last column.
  void (*doubleRow)(const SourceRows& rows, std::uint16_t* top, std::uint16_t* bottom, int begin,
                    int end, int width);
  // Mode 9: source row y0 becomes display columns 0 and 1, source column width-1 at the top.
  void (*rotatedDoubleRow)(const SourceRows& rows, std::uint16_t* destination, std::intptr_t stride,
                           int width);
  // The turned modes write one display row per source column, so the fast kernels take eight
  // source rows at once (strideY / strideU apart, previous planes likewise) and store eight or
  // sixteen adjacent pixels per display row. Mode 7: four row pairs from rows.y0 (prevY1 unused)
  // become display columns 0..7, columns as rotatedRowPair.
  void (*rotatedRowGroup)(const SourceRows& rows, std::ptrdiff_t strideY, std::ptrdiff_t strideU,
                          std::uint16_t* destination, std::intptr_t stride, int last, int pairs);
  // Mode 9: eight source rows from rows.y0 (starting at an even row) become display columns
  // 0..15.
  void (*rotatedDoubleRowGroup)(const SourceRows& rows, std::ptrdiff_t strideY,
                                std::ptrdiff_t strideU, std::uint16_t* destination,
                                std::intptr_t stride, int width);
  // Optional (null: the converters call the group kernels once per group): `groups` consecutive
  // eight-row groups from rows.y0, as the group kernels would convert them one after the other,
  // done column block by column block, so that each display row receives the pixels of every
  // group while its cache lines are still at hand.
  void (*rotatedRowBand)(const SourceRows& rows, std::ptrdiff_t strideY, std::ptrdiff_t strideU,
                         std::uint16_t* destination, std::intptr_t stride, int last, int pairs,
                         int groups) = nullptr;
  void (*rotatedDoubleRowBand)(const SourceRows& rows, std::ptrdiff_t strideY,
                               std::ptrdiff_t strideU, std::uint16_t* destination,
                               std::intptr_t stride, int width, int groups) = nullptr;
};

// The rows of eight-row group g of a band starting at rows (chrominance rows advance half as
// fast; rows the caller left null stay null).
inline SourceRows GroupRows(const SourceRows& rows, int g, std::ptrdiff_t strideY,
                            std::ptrdiff_t strideU) {
  SourceRows group = rows;
  const std::ptrdiff_t luma = 8 * g * strideY, chroma = 4 * g * strideU;
  group.y0 += luma;
  if (group.y1) group.y1 += luma;
  group.u0 += chroma;
  group.v0 += chroma;
  if (group.prevY0) {
    group.prevY0 += luma;
    if (group.prevY1) group.prevY1 += luma;
    group.prevU += chroma;
    group.prevV += chroma;
  }
  return group;
}

// A kernel set with the instruction set it needs, for tests and benchmarks.
struct NamedConvertDsp {
  const char* name;
  const ConvertDsp* dsp;
};

// The plain C++ kernels; the reference every faster version must match byte for byte.
const ConvertDsp& ReferenceConvertDsp();
// Fills dsp with the portable kernels, then lays each instruction set over them in order (SSE2,
// AVX2, AVX-512 on x86; NEON on AArch64), each replacing the kernels it has faster versions of,
// and returns at the first one the processor lacks or after the set named `last` (null or a name
// of no set: all of them). Returns the name of the last set laid ("reference" for none).
const char* InitConvertDsp(ConvertDsp& dsp, const char* last = nullptr);
// Every kernel set this processor can run, the reference first and the fastest last.
std::vector<NamedConvertDsp> AvailableConvertDsps();
// The best kernels for this processor, chosen once on first call.
const ConvertDsp& FastestConvertDsp();
// The fastest kernels, or the earlier set the environment variable MIVORA_KERNELS names
// (reference|sse2|avx2|avx512|neon), as for the decoder. Chosen once on first call.
const ConvertDsp& ChosenConvertDsp();
// The kernels the converters use: the chosen ones unless UseConvertDsp chose others.
const ConvertDsp& ActiveConvertDsp();
// For tests and benchmarks: makes the converters use dsp (which must outlive its use). Not to be
// called while a conversion runs.
void UseConvertDsp(const ConvertDsp& dsp);

}  // namespace mivora::convert
