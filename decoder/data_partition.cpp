#include "decoder/data_partition.h"

#include <algorithm>

#include "decoder/block_coefficients.h"
#include "decoder/concealment.h"
#include "decoder/macroblock.h"
#include "decoder/motion_compensation.h"

namespace mivora::decoder {
namespace {

constexpr int kQuantiserStep[4] = {-1, -2, 1, 2};

bool IsIntra(int type) {
  return type == 3 || type == 4;
}

void ChangeQuantiser(DecoderState& state, int& q) {
  q = std::clamp(q + kQuantiserStep[state.reader.GetBits(2)], 1, 31);
}

bool ReadDcs(BitReader& r, int dcDiff[6]) {
  for (int i = 0; i < 6; ++i) {
    if (!ReadDc(r, i < 4, dcDiff[i])) return false;
  }
  return true;
}

void MoveTo(DecoderState& state, int index) {
  state.mbIndex = index;
  state.mbX = index % state.mbWidth;
  state.mbY = index / state.mbWidth;
}

// The first part: up to the marker. Returns the macroblocks in the packet, -1 on failure.
int ReadFirstPart(DecoderState& state, int& q) {
  BitReader& r = state.reader;
  const bool intraPicture = state.picture.pictureType == 0;
  const int start = state.mbIndex;
  int n = 0;
  for (;;) {
    if (intraPicture ? r.ShowBits(19) == kDcMarker : r.ShowBits(17) == kMotionMarker) {
      r.Consume(intraPicture ? 19 : 17);
      return n;
    }
    if (start + n >= state.mbCount || r.PastEnd()) return -1;
    MoveTo(state, start + n);
    PartitionedMacroblock& m = state.partitioned[static_cast<std::size_t>(n)];
    if (!intraPicture && r.GetBit()) {
      m.type = -1;
      SkipMacroblock(state);
      ++n;
      continue;
    }
    const int mcbpc = ReadMcbpc(r, state.picture.pictureType);
    if (mcbpc == kStuffing) continue;
    if (mcbpc == kInvalidCode || (mcbpc & 7) > 4) return -1;
    const int type = mcbpc & 7;
    m.type = static_cast<std::int8_t>(type);
    m.cbp = static_cast<std::int8_t>((mcbpc >> 4) & 3);
    state.Mode(state.mbX, state.mbY) = static_cast<std::uint8_t>(type);
    MotionVector* vectors = state.Vectors(state.mbX, state.mbY);
    if (intraPicture) {
      if (type == 4) ChangeQuantiser(state, q);
      m.quantiser = static_cast<std::int8_t>(q);
      if (!ReadDcs(r, m.dcDiff)) return -1;
    } else if (IsIntra(type)) {
      for (int k = 0; k < 4; ++k) vectors[k] = {0, 0};
    } else {
      const bool ok = type == 2 ? DecodeVector(state, 0) && DecodeVector(state, 1) &&
                                      DecodeVector(state, 2) && DecodeVector(state, 3)
                                : DecodeVector(state, -1);
      if (!ok) return -1;
      PredictMacroblock(state.pictures, state.mbX, state.mbY, type, vectors,
                        state.picture.roundingType);
    }
    ++n;
  }
}

// The second part: patterns, and in P pictures the quantiser steps and intra DCs.
bool ReadSecondPart(DecoderState& state, int count, int& q) {
  BitReader& r = state.reader;
  const bool intraPicture = state.picture.pictureType == 0;
  for (int k = 0; k < count; ++k) {
    PartitionedMacroblock& m = state.partitioned[static_cast<std::size_t>(k)];
    if (m.type < 0) continue;
    const bool intra = IsIntra(m.type);
    m.acPredicted = static_cast<std::int8_t>(intra ? r.GetBit() : 0);
    int cbpy = ReadCbpy(r);
    if (cbpy == kInvalidCode) return false;
    if (!intra) cbpy = 15 - cbpy;
    m.cbp = static_cast<std::int8_t>(m.cbp | (cbpy << 2));
    if (!intraPicture) {
      if (m.type == 1 || m.type == 4) ChangeQuantiser(state, q);
      m.quantiser = static_cast<std::int8_t>(q);
      if (intra && !ReadDcs(r, m.dcDiff)) return false;
    }
    if (r.PastEnd()) return false;
  }
  return true;
}

// After the first part of a P packet: macroblocks from `from` on whose later parts were lost keep
// the prediction their vectors made (no residual); intra ones are concealed. I packets are lost.
PartitionResult KeepMotion(DecoderState& state, int start, int from, int count) {
  if (state.picture.pictureType == 0) return PartitionResult::kLost;
  for (int k = from; k < count; ++k) {
    const PartitionedMacroblock& m = state.partitioned[static_cast<std::size_t>(k)];
    if (m.type < 0) continue;
    if (IsIntra(m.type)) {
      ConcealMacroblocks(state, start + k, start + k + 1);
    } else {
      ++state.concealed;
    }
  }
  state.damaged = true;
  state.lost = false;
  MoveTo(state, start + count);
  return PartitionResult::kMotionKept;
}

}  // namespace

PartitionResult DecodePartitionedPacket(DecoderState& state) {
  const int start = state.mbIndex;
  int q = state.picture.quantiser;
  const int count = ReadFirstPart(state, q);
  if (count <= 0) return PartitionResult::kLost;
  // P pictures carry their quantiser steps in the second part, I pictures in the first.
  q = state.picture.quantiser;
  if (!ReadSecondPart(state, count, q)) return KeepMotion(state, start, 0, count);
  const int threshold = state.picture.intraDcThreshold;
  const bool reversible = state.sequence.reversibleVlc != 0;
  for (int k = 0; k < count; ++k) {
    const PartitionedMacroblock& m = state.partitioned[static_cast<std::size_t>(k)];
    MoveTo(state, start + k);
    if (m.type < 0) continue;
    state.picture.quantiser = m.quantiser;
    state.mbType = m.type;
    state.cbp = m.cbp;
    if (IsIntra(m.type)) {
      if (threshold != 0 && (threshold == 7 || m.quantiser >= 11 + 2 * threshold)) {
        state.unsupported = "intra DC coded with the coefficients";
        return PartitionResult::kLost;
      }
      state.acPredicted = m.acPredicted;
      if (state.picture.pictureType != 0) ClearNonIntraNeighbours(state);
      DecodeIntraBlocksWithDc(state, m.cbp, m.dcDiff, reversible);
    } else if (reversible) {
      DecodeReversibleInterBlocks(state, m.cbp);
    } else {
      DecodeInterBlocks(state, m.cbp);
    }
    if (state.lost) return KeepMotion(state, start, k, count);
  }
  MoveTo(state, start + count);
  return PartitionResult::kDecoded;
}

}  // namespace mivora::decoder
