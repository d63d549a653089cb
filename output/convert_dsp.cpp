#include "output/convert_dsp.h"

#include <cstdlib>
#include <cstring>
#include <iterator>

#include "output/convert_avx2.h"
#include "output/convert_avx512.h"
#include "output/convert_neon.h"
#include "output/convert_sample.h"
#include "output/convert_sse2.h"

namespace mivora::convert {
namespace {

void NormalRowPair(const SourceRows& rows, std::uint16_t* top, std::uint16_t* bottom, int pairs) {
  for (int k = 0; k < pairs; ++k) {
    const int x = 2 * k;
    if (rows.prevY0 && rows.y0[x] == rows.prevY0[x] && rows.y1[x] == rows.prevY1[x] &&
        rows.u0[k] == rows.prevU[k] && rows.v0[k] == rows.prevV[k]) {
      continue;
    }
    const ChromaTerms terms = MakeTerms(rows.u0[k], rows.v0[k], rows.brightness);
    StorePair(top + x, PixelFromTerms(rows.y0[x], terms), PixelFromTerms(rows.y0[x + 1], terms));
    StorePair(bottom + x, PixelFromTerms(rows.y1[x], terms), PixelFromTerms(rows.y1[x + 1], terms));
  }
}

void RotatedRowPair(const SourceRows& rows, std::uint16_t* destination, std::intptr_t stride,
                    int last, int pairs) {
  for (int k = 0; k < pairs; ++k) {
    const int x = last - 2 * k;
    const int c = x >> 1;
    std::uint16_t* row = destination + 2 * k * stride;
    if (rows.prevY0 && rows.y0[x] == rows.prevY0[x] && rows.y0[x - 1] == rows.prevY0[x - 1] &&
        rows.u0[c] == rows.prevU[c] && rows.v0[c] == rows.prevV[c]) {
      continue;
    }
    const ChromaTerms terms = MakeTerms(rows.u0[c], rows.v0[c], rows.brightness);
    StorePair(row, PixelFromTerms(rows.y0[x], terms), PixelFromTerms(rows.y1[x], terms));
    StorePair(row + stride, PixelFromTerms(rows.y0[x - 1], terms),
              PixelFromTerms(rows.y1[x - 1], terms));
  }
}

// Mode 8 interpolates unclipped channel values, so it keeps them apart until the pixel is packed.
struct Channels {
  int blue, green, red;
};
inline Channels Unclipped(int luma, int u, int v) {
  return {luma - 144 + u, luma - 16, luma - 144 + v};
}
inline std::uint16_t Pack(const Channels& c) {
  return PackPixel(Clip255(c.red), Clip255(c.green), Clip255(c.blue));
}
inline std::uint16_t PackMean(const Channels& a, const Channels& b) {
  return PackPixel(Clip255((a.red + b.red) >> 1), Clip255((a.green + b.green) >> 1),
                   Clip255((a.blue + b.blue) >> 1));
}

void DoubleRow(const SourceRows& rows, std::uint16_t* top, std::uint16_t* bottom, int begin,
               int end, int width) {
  for (int x = begin; x < end; ++x) {
    const int c = x >> 1;
    const int u0 = rows.u0[c], v0 = rows.v0[c];
    if (rows.prevY0 && rows.y0[x] == rows.prevY0[x] && u0 == rows.prevU[c] && v0 == rows.prevV[c]) {
      continue;
    }
    const int u1 = rows.u1[c], v1 = rows.v1[c];
    const Channels here = Unclipped(rows.y0[x], u0, v0);
    const std::uint16_t topLeft = Pack(here);
    const std::uint16_t bottomLeft = PackMean(here, Unclipped(rows.y1[x], u1, v1));
    std::uint16_t topRight = topLeft, bottomRight = topLeft;
    if (x + 1 < width) {
      topRight = PackMean(here, Unclipped(rows.y0[x + 1], u0, v0));
      bottomRight = PackMean(here, Unclipped(rows.y1[x + 1], u1, v1));
    }
    top[2 * x] = topLeft;
    top[2 * x + 1] = topRight;
    bottom[2 * x] = bottomLeft;
    bottom[2 * x + 1] = bottomRight;
  }
}

void RotatedDoubleRow(const SourceRows& rows, std::uint16_t* destination, std::intptr_t stride,
                      int width) {
  std::uint16_t* row = destination;
  for (int x = width - 1; x >= 0; --x) {
    const std::uint16_t pixel = ConvertSample(rows.y0[x], rows.u0[x >> 1], rows.v0[x >> 1], 0);
    row[0] = pixel;
    row[1] = pixel;
    row[stride] = pixel;
    row[stride + 1] = pixel;
    row += 2 * stride;
  }
}

void RotatedRowGroup(const SourceRows& rows, std::ptrdiff_t strideY, std::ptrdiff_t strideU,
                     std::uint16_t* destination, std::intptr_t stride, int last, int pairs) {
  SourceRows pair = rows;
  for (int p = 0; p < 4; ++p) {
    RotatedRowPair(pair, destination + 2 * p, stride, last, pairs);
    pair.y0 += 2 * strideY;
    pair.y1 += 2 * strideY;
    pair.u0 += strideU;
    pair.v0 += strideU;
    if (pair.prevY0) {
      pair.prevY0 += 2 * strideY;
      pair.prevU += strideU;
      pair.prevV += strideU;
    }
  }
}

void RotatedDoubleRowGroup(const SourceRows& rows, std::ptrdiff_t strideY, std::ptrdiff_t strideU,
                           std::uint16_t* destination, std::intptr_t stride, int width) {
  SourceRows row = rows;
  for (int r = 0; r < 8; ++r) {
    RotatedDoubleRow(row, destination + 2 * r, stride, width);
    row.y0 += strideY;
    if (r & 1) {
      row.u0 += strideU;
      row.v0 += strideU;
    }
  }
}

const ConvertDsp kReference = {&NormalRowPair,    &RotatedRowPair,  &DoubleRow,
                               &RotatedDoubleRow, &RotatedRowGroup, &RotatedDoubleRowGroup};

}  // namespace

const ConvertDsp& ReferenceConvertDsp() {
  return kReference;
}

namespace {

// x86 processor features, read once; the first caller may run from a static initialiser, before
// the run-time library has read the processor flags.
#if defined(__x86_64__) || defined(__i386__)
struct X86Features {
  bool sse2, avx2, avx512;
  X86Features() {
    __builtin_cpu_init();
    sse2 = __builtin_cpu_supports("sse2");
    avx2 = __builtin_cpu_supports("avx2");
    avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vl");
  }
};
const X86Features& Features() {
  static const X86Features features;
  return features;
}
#endif

bool Named(const char* last, const char* name) {
  return last && std::strcmp(last, name) == 0;
}

// The names of the sets InitConvertDsp can lay, in the order it lays them.
#if defined(__x86_64__) || defined(__i386__)
constexpr const char* kSetOrder[] = {"reference", "sse2", "avx2", "avx512"};
#elif defined(__aarch64__)
constexpr const char* kSetOrder[] = {"reference", "neon"};
#else
constexpr const char* kSetOrder[] = {"reference"};
#endif

}  // namespace

const char* InitConvertDsp(ConvertDsp& dsp, const char* last) {
  dsp = kReference;
  if (Named(last, "reference")) return "reference";
#if defined(__x86_64__) || defined(__i386__)
  if (!Features().sse2 || !InstallSse2(dsp)) return "reference";
  if (Named(last, "sse2")) return "sse2";
  if (!Features().avx2 || !InstallAvx2(dsp)) return "sse2";
  if (Named(last, "avx2")) return "avx2";
  if (!Features().avx512 || !InstallAvx512(dsp)) return "avx2";
  return "avx512";
#elif defined(__aarch64__)
  // NEON is part of every AArch64 processor: no run-time check.
  if (!InstallNeon(dsp)) return "reference";
  return "neon";
#else
  return "reference";
#endif
}

namespace {

// One table per set this processor runs, each laid up to that set, built once.
std::vector<NamedConvertDsp> BuildSets() {
  static ConvertDsp tables[std::size(kSetOrder)];
  std::vector<NamedConvertDsp> sets;
  for (std::size_t i = 0; i < std::size(kSetOrder); ++i) {
    if (std::strcmp(InitConvertDsp(tables[i], kSetOrder[i]), kSetOrder[i]) != 0) break;
    sets.push_back({kSetOrder[i], &tables[i]});
  }
  return sets;
}

const std::vector<NamedConvertDsp>& Sets() {
  static const std::vector<NamedConvertDsp> sets = BuildSets();
  return sets;
}

}  // namespace

std::vector<NamedConvertDsp> AvailableConvertDsps() {
  return Sets();
}

const ConvertDsp& FastestConvertDsp() {
  return *Sets().back().dsp;
}

const ConvertDsp& ChosenConvertDsp() {
  static const ConvertDsp* chosen = [] {
    // MIVORA_KERNELS=<name> holds the converters to an earlier set, as it holds the decoder; an
    // unknown or unavailable name leaves the fastest set in use.
    ConvertDsp probe;
    const char* reached = InitConvertDsp(probe, std::getenv("MIVORA_KERNELS"));
    for (const NamedConvertDsp& set : Sets())
      if (std::strcmp(set.name, reached) == 0) return set.dsp;
    return Sets().back().dsp;
  }();
  return *chosen;
}

namespace {
const ConvertDsp*& ActivePointer() {
  static const ConvertDsp* active = &ChosenConvertDsp();
  return active;
}
}  // namespace

const ConvertDsp& ActiveConvertDsp() {
  return *ActivePointer();
}

void UseConvertDsp(const ConvertDsp& dsp) {
  ActivePointer() = &dsp;
}

}  // namespace mivora::convert
