// The decoder's inner kernels (inverse transform, prediction, edge extension) behind one table, so
// faster versions for a processor can replace the portable ones entry by entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mivora::decoder {

// block: 64 coefficients, row-major (row = vertical frequency); cleared on return.
using IdctFn = void (*)(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride);
// How far a block's values reach, as the coefficient reader knows it: the DC value alone, rows
// and columns 0..3, or anywhere. A promise: every value outside it is zero.
enum class BlockExtent { kDc, kTopLeft4x4, kAnywhere };
// The transform told the extent, so it need not find it by reading a block the reader has just
// stored (wide loads over fresh narrow stores wait for them). Output as IdctFn's.
using IdctInFn = void (*)(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride,
                          BlockExtent extent);
// The MPEG method's inverse quantisation of one block of levels (raster order) with its weights:
// saturation and mismatch control included; an intra block's DC (already scaled) is only saturated.
using DequantFn = void (*)(std::int16_t* block, const std::uint8_t* weights, int quantiser);
// Fills a size x size destination from the source with one interpolation; same stride for both.
using PredictFn = void (*)(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride);

// Global motion: each sample the bilinear weighting at (fx, fy) sixteenths between its four
// neighbours, ((16-fx)(16-fy)a + fx(16-fy)b + (16-fx)fy c + fx fy d + 128 - rounding) >> 8, over
// a size x size block; same stride for both, size + 1 rows and columns read.
using WarpFn = void (*)(const std::uint8_t* src, std::uint8_t* dst, std::ptrdiff_t stride, int fx,
                        int fy, int rounding);

struct DecoderDsp {
  IdctFn idctPut;                 // intra: write clip(idct)
  IdctFn idctAdd;                 // inter: dst = clip(dst + idct)
  IdctInFn idctPutIn, idctAddIn;  // the same with the block's extent given
  // selector = 8*(size==16) + 4*rounding + 2*(mvy&1) + (mvx&1)
  PredictFn predict[16];
  // B pictures: dst = (dst + src + 1) >> 1 over 8x8 ([0]) or 16x16 ([1]); same stride for both.
  PredictFn average[2];
  // B pictures: predict[]'s prediction p averaged into the destination, dst = (dst + p + 1) >> 1,
  // so the second half of a bidirectional prediction needs no block of its own.
  PredictFn predictAverage[16];
  // Quarter-sample luminance prediction: index QpelSelector(size, rounding, mvx, mvy); the source
  // is the block's whole-sample position, of which size + 1 rows and columns are read.
  PredictFn qpel[64];
  // B pictures: qpel[]'s prediction averaged into the destination, as predictAverage.
  PredictFn qpelAverage[64];
  DequantFn dequantIntra, dequantInter;
  WarpFn warp[2];  // 8x8, 16x16
  // plane: first byte of the plane including its border; paddedHeight counts border rows too.
  void (*extendEdges)(std::uint8_t* plane, int stride, int paddedHeight, int border);
};

// The table in use, chosen once on first call from what the processor offers (the environment
// variable MIVORA_KERNELS=reference|sse2|avx2|neon can hold it to an earlier set).
const DecoderDsp& Dsp();
// The portable versions, the yardstick every faster version is checked against.
const DecoderDsp& ReferenceDsp();

// One complete table per instruction set this processor runs, portable first, each later one
// built on the one before it (so entries an instruction set does not speed up are inherited).
// Dsp() is the last of them unless MIVORA_KERNELS names another. For tests and benchmarks.
struct DspVariant {
  const char* name;
  DecoderDsp dsp;
};
std::vector<DspVariant> AvailableDsps();

inline int QpelSelector(int size, int roundingType, int mvx, int mvy) {
  return 32 * (size == 16) + 16 * roundingType + 4 * (mvy & 3) + (mvx & 3);
}

inline int PredictSelector(int size, int roundingType, int mvx, int mvy) {
  return 8 * (size == 16) + 4 * roundingType + 2 * (mvy & 1) + (mvx & 1);
}

namespace reference {
void IdctPut(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride);
void IdctAdd(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride);
// The extent is not needed: the full transform's output is the same.
void IdctPutIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride, BlockExtent extent);
void IdctAddIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride, BlockExtent extent);
void ExtendEdges(std::uint8_t* plane, int stride, int paddedHeight, int border);
// Fills all sixteen prediction entries.
void FillPredictTable(PredictFn table[16]);
void FillPredictAverageTable(PredictFn table[16]);
void FillAverageTable(PredictFn table[2]);
void FillQpelTable(PredictFn table[64]);
void FillQpelAverageTable(PredictFn table[64]);
void DequantIntraMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser);
void DequantInterMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser);
void FillWarpTable(WarpFn table[2]);
}  // namespace reference

// Processor-specific entries, each set laid over the one before it in dsp.cpp.
#if defined(__SSE2__)
namespace sse2 {
void IdctPut(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride);
void IdctAdd(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride);
void IdctPutIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride, BlockExtent extent);
void IdctAddIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride, BlockExtent extent);
void ExtendEdges(std::uint8_t* plane, int stride, int paddedHeight, int border);
// Sets the twelve interpolating entries; the copies stay as they are.
void FillPredictTable(PredictFn table[16]);
void FillPredictAverageTable(PredictFn table[16]);
void FillAverageTable(PredictFn table[2]);
void FillQpelTable(PredictFn table[64]);
void FillQpelAverageTable(PredictFn table[64]);
void DequantIntraMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser);
void DequantInterMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser);
void FillWarpTable(WarpFn table[2]);
}  // namespace sse2
#endif
#if defined(__x86_64__) || defined(__i386__)
namespace avx2 {
// Compiled for AVX2 whatever the build's flags; call only when the processor has it.
void IdctPut(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride);
void IdctAdd(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride);
void IdctPutIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride, BlockExtent extent);
void IdctAddIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride, BlockExtent extent);
// Sets the 32 entries of 16x16 blocks.
void FillQpelTable16(PredictFn table[64]);
// Sets the 32 entries of 8x8 blocks.
void FillQpelTable8(PredictFn table[64]);
void FillQpelAverageTable(PredictFn table[64]);
// Sets the diagonal entries and the horizontal and vertical ones of rounding 1.
void FillPredictTable(PredictFn table[16]);
void FillPredictAverageTable(PredictFn table[16]);
void DequantIntraMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser);
void DequantInterMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser);
}  // namespace avx2
#endif
#if defined(__aarch64__)
namespace neon {
// NEON is part of every AArch64 processor, so this set needs no run-time check.
void IdctPut(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride);
void IdctAdd(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride);
// The extent is not used (yet): these call the two above.
void IdctPutIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride, BlockExtent extent);
void IdctAddIn(std::int16_t* block, std::uint8_t* dst, std::ptrdiff_t stride, BlockExtent extent);
void ExtendEdges(std::uint8_t* plane, int stride, int paddedHeight, int border);
// Sets the twelve interpolating entries; the copies stay as they are.
void FillPredictTable(PredictFn table[16]);
void FillPredictAverageTable(PredictFn table[16]);
void FillAverageTable(PredictFn table[2]);
// The quarter-sample averaging entries stay the portable ones.
void FillQpelTable(PredictFn table[64]);
void DequantIntraMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser);
void DequantInterMpeg(std::int16_t* block, const std::uint8_t* weights, int quantiser);
void FillWarpTable(WarpFn table[2]);
}  // namespace neon
#endif

}  // namespace mivora::decoder
