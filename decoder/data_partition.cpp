#include "decoder/data_partition.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "decoder/block_coefficients.h"
#include "decoder/concealment.h"
#include "decoder/macroblock.h"
#include "decoder/motion_compensation.h"
#include "decoder/reversible_vlc.h"
#include "decoder/scan_tables.h"
#include "decoder/video_packet.h"

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

// Ends a damaged packet: its macroblocks from `from` on that are not kept (kept null: none is)
// keep the prediction their vectors made, no residual, or if intra are concealed.
PartitionResult EndDamagedPacket(DecoderState& state, int start, int from, int count,
                                 const std::uint8_t* kept) {
  for (int k = from; k < count; ++k) {
    const PartitionedMacroblock& m = state.partitioned[static_cast<std::size_t>(k)];
    if (m.type < 0 || (kept && kept[k])) continue;
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

// After the first part of a P packet: macroblocks from `from` on whose later parts were lost keep
// their motion. I packets are lost.
PartitionResult KeepMotion(DecoderState& state, int start, int from, int count) {
  if (state.picture.pictureType == 0) return PartitionResult::kLost;
  return EndDamagedPacket(state, start, from, count, nullptr);
}

bool DcWithCoefficients(const DecoderState& state, const PartitionedMacroblock& m) {
  return IsIntra(m.type) && IntraDcWithCoefficients(state.picture, m.quantiser);
}

int DataBit(const BitReader& r, std::size_t i) {
  return (r.Data()[i >> 3] >> (7 - (i & 7))) & 1;
}

// The bit after a packet's last texture bit: before the stuffing (a zero, then ones up to a byte
// boundary) ahead of the next packet's marker, whose macroblock number must be `next`, or ahead
// of a start code or the data's end when the packet closes the picture. 0 when neither is found.
std::size_t TextureEnd(const DecoderState& state, std::size_t from, int next) {
  BitReader r = state.reader;
  const int zeros = ResyncMarkerZeros(state.picture.pictureType, state.picture.fcode);
  std::size_t boundary;
  for (std::size_t search = from;;) {
    const ResyncPoint p = FindResyncPoint(r, search, zeros);
    boundary = r.BitsConsumed();
    if (p != ResyncPoint::Marker) {
      if (next != state.mbCount) return 0;
      break;
    }
    r.Consume(zeros + 1);
    if (static_cast<int>(r.GetBits(MacroblockNumberBits(state.mbCount))) == next) break;
    search = boundary + 8;
  }
  std::size_t end = boundary;
  while (end > from && boundary - end < 8 && DataBit(r, end - 1)) --end;
  if (end == from || boundary - end >= 8 || DataBit(r, end - 1)) return 0;
  return end - 1;
}

// Forward decoding of the texture part failed in macroblock `failed` of the packet (k indices),
// whose texture began at bit `textureStart`: reads the part backward from its end as well, then
// keeps what either direction read soundly and conceals the rest.
//
// With one error at bit e, forward reading went wrong at e and noticed it at the bit F where it
// stopped, later, so e < F + 30 (an escape, the longest code); backward reading noticed it at B,
// e >= B - 30. Only texture wholly before B - 30 or wholly from F + 30 on is sure to be right;
// backward, where a block begins is told by the code before it (marked last), which must lie past
// e as well, so a backward macroblock must begin at F + 60 or later. Forward macroblocks that end
// later and backward ones that begin earlier are concealed, those between the two failures with
// them; where the two readings overlap the rule keeps neither. A macroblock without coded blocks
// needs nothing from the texture part. An intra macroblock with AC prediction is kept only when
// no intra neighbour in the packet it may predict from was concealed, as their first rows and
// columns are not known; the DCs of every intra macroblock are (they came in the first parts), so
// DC prediction stays right.
PartitionResult RecoverTexture(DecoderState& state, int start, int failed, int count,
                               std::size_t textureStart) {
  const std::size_t forwardStop = state.reader.BitsConsumed();
  const std::size_t end = TextureEnd(state, textureStart, start + count);
  std::vector<std::uint8_t> intraBlocks;
  std::vector<int> firstBlock(static_cast<std::size_t>(count) + 1);
  for (int k = 0; k < count; ++k) {
    const PartitionedMacroblock& m = state.partitioned[static_cast<std::size_t>(k)];
    firstBlock[static_cast<std::size_t>(k)] = static_cast<int>(intraBlocks.size());
    if (m.type < 0) continue;
    if (k > failed && DcWithCoefficients(state, m)) return KeepMotion(state, start, failed, count);
    for (int i = 0; i < 6; ++i)
      if ((m.cbp >> (5 - i)) & 1) intraBlocks.push_back(IsIntra(m.type));
  }
  firstBlock[static_cast<std::size_t>(count)] = static_cast<int>(intraBlocks.size());
  if (end <= textureStart) return KeepMotion(state, start, failed, count);

  // Where each block begins: forward up to the failed macroblock, backward from the end.
  const std::size_t blocks = intraBlocks.size();
  std::vector<std::size_t> forwardStarts(blocks + 1, 0), backwardStarts(blocks, 0);
  BitReader r = state.reader;
  r.SeekToBit(textureStart);
  std::int16_t scratch[64];
  const auto forwardBlocks = static_cast<std::size_t>(firstBlock[static_cast<std::size_t>(failed)]);
  for (std::size_t j = 0; j < forwardBlocks; ++j) {
    forwardStarts[j] = r.BitsConsumed();
    const bool intra = intraBlocks[j] != 0;
    if (ReadReversibleCoefficients(r, scratch, kZigzagScan, intra, intra, 1, 0) < 0) {
      return KeepMotion(state, start, failed, count);  // not as the forward pass read it
    }
  }
  forwardStarts[forwardBlocks] = r.BitsConsumed();
  std::size_t backwardStop = end;
  const int whole = ReadReversibleBlocksBackward(r.Data(), textureStart, end, intraBlocks,
                                                 backwardStarts, backwardStop);
  const std::size_t firstWhole = blocks - static_cast<std::size_t>(whole);
  const std::size_t keepBefore = backwardStop >= textureStart + kLongestReversibleCode
                                     ? backwardStop - kLongestReversibleCode
                                     : textureStart;
  const std::size_t keepFrom = forwardStop + 2 * kLongestReversibleCode;

  std::vector<std::uint8_t> kept(static_cast<std::size_t>(count), 0);
  auto unknownIntra = [&](int index) {
    if (index < start) return false;  // before the packet: not predicted from
    const auto k = static_cast<std::size_t>(index - start);
    return IsIntra(state.partitioned[k].type) && !kept[k];
  };
  state.lost = false;
  for (int k = 0; k < count; ++k) {
    const PartitionedMacroblock& m = state.partitioned[static_cast<std::size_t>(k)];
    if (m.type < 0) continue;
    const auto b0 = static_cast<std::size_t>(firstBlock[static_cast<std::size_t>(k)]);
    const auto b1 = static_cast<std::size_t>(firstBlock[static_cast<std::size_t>(k) + 1]);
    bool keep = b0 == b1;
    if (k < failed) {
      keep = keep || forwardStarts[b1] <= keepBefore;
    } else if (k > failed) {
      keep = keep || (b0 >= firstWhole && backwardStarts[b0] >= keepFrom);
    }
    MoveTo(state, start + k);
    if (keep && IsIntra(m.type) && m.acPredicted) {
      const bool left = state.mbX > 0 && unknownIntra(start + k - 1);
      const bool above = unknownIntra(start + k - state.mbWidth);
      keep = !left && !above;
    }
    kept[static_cast<std::size_t>(k)] = keep;
    if (k <= failed) {
      // Already read forward: a macroblock given up goes back to its prediction.
      if (!keep && !IsIntra(m.type)) {
        PredictMacroblock(state.pictures, state.mbX, state.mbY, m.type,
                          state.Vectors(state.mbX, state.mbY), state.picture.roundingType);
      }
      continue;
    }
    state.picture.quantiser = m.quantiser;
    state.mbType = m.type;
    state.cbp = m.cbp;
    if (IsIntra(m.type)) {
      state.acPredicted = m.acPredicted;
      if (state.picture.pictureType != 0) ClearNonIntraNeighbours(state);
      // One given up still leaves its DCs for its neighbours to predict from.
      if (keep && b0 < b1) state.reader.SeekToBit(backwardStarts[b0]);
      DecodeIntraBlocksWithDc(state, keep ? m.cbp : 0, m.dcDiff, true);
    } else if (keep) {
      if (b0 < b1) state.reader.SeekToBit(backwardStarts[b0]);
      DecodeReversibleInterBlocks(state, m.cbp);
    }
    if (state.lost) {
      // Cannot be, as the codes were read backward already; given up all the same.
      kept[static_cast<std::size_t>(k)] = 0;
      state.lost = false;
      if (!IsIntra(m.type)) {
        PredictMacroblock(state.pictures, state.mbX, state.mbY, m.type,
                          state.Vectors(state.mbX, state.mbY), state.picture.roundingType);
      }
    }
  }
  // Concealed last, so that until now the intra ones counted as intra for their neighbours.
  return EndDamagedPacket(state, start, 0, count, kept.data());
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
  const bool reversible = state.sequence.reversibleVlc != 0;
  const std::size_t textureStart = state.reader.BitsConsumed();
  for (int k = 0; k < count; ++k) {
    const PartitionedMacroblock& m = state.partitioned[static_cast<std::size_t>(k)];
    MoveTo(state, start + k);
    if (m.type < 0) continue;
    state.picture.quantiser = m.quantiser;
    state.mbType = m.type;
    state.cbp = m.cbp;
    if (IsIntra(m.type)) {
      if (IntraDcWithCoefficients(state.picture, m.quantiser)) {
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
    if (state.lost) {
      if (reversible && state.backwardTexture && state.packetConcealment) {
        return RecoverTexture(state, start, k, count, textureStart);
      }
      return KeepMotion(state, start, k, count);
    }
  }
  MoveTo(state, start + count);
  return PartitionResult::kDecoded;
}

}  // namespace mivora::decoder
