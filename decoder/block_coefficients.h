// One 8x8 block's coefficients: intra DC with its prediction, the coefficient codes with their
// escapes, inverse quantisation, and AC prediction of intra blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "decoder/bit_reader.h"
#include "decoder/decoder_state.h"
#include "decoder/vlc_tables.h"

namespace mivora::decoder {

struct CoefficientEvent {
  int last, run, level;  // all -1 for an invalid code
};

// Inline: called for every intra block.
inline int DcScaler(int q, bool luminance) {
  if (q <= 4) return 8;
  if (!luminance) return (q + 13) / 2;
  if (q <= 8) return 2 * q;
  if (q <= 24) return q + 8;
  return 2 * q - 16;
}

// The intra DC predictor: a neighbour's DC divided by the scaler, rounded half away from zero.
inline int ScaledPredictor(int p, int s) {
  // Division by the scaler (8..46) as a multiply: with R = ceil(2^24 / s), n * R / 2^24 exceeds
  // n / s by less than 1 / s for every numerator n under 2^16, so the floor is exact.
  static constexpr auto kReciprocal = [] {
    std::array<std::uint32_t, 65> r{};
    for (std::uint32_t d = 1; d < r.size(); ++d) r[d] = ((1u << 24) + d - 1) / d;
    return r;
  }();
  if (s < 1 || s >= static_cast<int>(kReciprocal.size()) || p < -32768 || p > 32767) [[unlikely]] {
    return p > 0 ? (p + (s >> 1)) / s : (p - (s >> 1)) / s;
  }
  const auto n = static_cast<std::uint64_t>((p < 0 ? -p : p) + (s >> 1));
  const int q = static_cast<int>((n * kReciprocal[static_cast<std::size_t>(s)]) >> 24);
  return p > 0 ? q : -q;
}
// The same for a stored DC (a 16-bit value) and a scaler of DcScaler (8..46), which need no range
// test (the scaler is masked only so that no value could index outside the table).
inline int ScaledStoredPredictor(std::int16_t p, int s) {
  static constexpr auto kReciprocal = [] {
    std::array<std::uint32_t, 64> r{};
    for (std::uint32_t d = 1; d < r.size(); ++d) r[d] = ((1u << 24) + d - 1) / d;
    return r;
  }();
  const auto n = static_cast<std::uint64_t>((p < 0 ? -p : p) + (s >> 1));
  const int q = static_cast<int>((n * kReciprocal[static_cast<std::size_t>(s) & 63]) >> 24);
  return p > 0 ? q : -q;
}

// Size of the intra DC differential (0..12), -1 for an invalid code (nothing consumed then).
inline int ReadDcSize(BitReader& reader, bool luminance) {
  const VlcTables& t = Tables();
  const VlcEntry e =
      luminance ? LookUp<kDcSizeHeadBits, kDcSizeBits>(t.dcSizeLumaHead, t.dcSizeLuma, reader)
                : LookUp<kDcSizeHeadBits, kDcSizeBits>(t.dcSizeChromaHead, t.dcSizeChroma, reader);
  if (!e.length) return -1;
  reader.Consume(e.length);
  return e.value;
}

inline int ReadDcDifferential(BitReader& reader, int size) {
  if (size == 0) return 0;
  const int v = static_cast<int>(reader.GetBits(size));
  const int diff = (v >> (size - 1)) ? v : -(v ^ ((1 << size) - 1));
  if (size > 8) reader.Consume(1);  // marker
  return diff;
}

// The DC size code and differential together, with one consumption: at most 12 + 12 bits and a
// marker, which the window holds. False for an invalid size code (nothing consumed then).
inline bool ReadDc(BitReader& reader, bool luminance, int& diff) {
  const VlcTables& t = Tables();
  VlcEntry e =
      (luminance ? t.dcSizeLumaHead : t.dcSizeChromaHead)[reader.ShowBits(kDcSizeHeadBits)];
  if (!e.length) [[unlikely]] {
    e = (luminance ? t.dcSizeLuma : t.dcSizeChroma)[reader.ShowBits(kDcSizeBits)];
    if (!e.length) return false;
  }
  const int size = e.value;
  if (size == 0) {
    diff = 0;
    reader.Consume(e.length);
    return true;
  }
  const std::uint32_t w = reader.ShowBits(32) << e.length;
  const int v = static_cast<int>(w >> (32 - size));
  diff = (v >> (size - 1)) ? v : -(v ^ ((1 << size) - 1));
  reader.Consume(e.length + size + (size > 8 ? 1 : 0));  // a marker after long ones
  return true;
}
CoefficientEvent ReadCoefficient(BitReader& reader, bool intra);

// Replaces the stored values of neighbouring macroblocks that are not intra by the values that
// stand for "no prediction" (P pictures, before an intra macroblock's blocks).
void ClearNonIntraNeighbours(DecoderState& state);
// Leaves the block's inverse-quantised coefficients in state.block.
void DecodeIntraBlock(DecoderState& state, int blockIndex, bool coded);
void DecodeInterBlock(DecoderState& state, int blockIndex);
// All six blocks of an intra macroblock, or the coded ones of an inter macroblock (whose
// prediction is already in place; stops after a block that loses the stream position), each
// transformed into the current picture. cbp: bit 5 - i for block i.
void DecodeIntraBlocks(DecoderState& state, int cbp);
void DecodeInterBlocks(DecoderState& state, int cbp);
// The same with the reversible codes of a data-partitioned packet's texture part.
void DecodeReversibleInterBlocks(DecoderState& state, int cbp);
// An intra macroblock of a data-partitioned packet, whose DC differentials came before; reversible:
// its coefficients use the reversible codes.
void DecodeIntraBlocksWithDc(DecoderState& state, int cbp, const int dcDiff[6], bool reversible);

}  // namespace mivora::decoder
