#include "decoder/decode_picture.h"

#include <algorithm>

#include "decoder/concealment.h"
#include "decoder/data_partition.h"
#include "decoder/field_macroblock.h"
#include "decoder/global_motion.h"
#include "decoder/macroblock.h"
#include "decoder/video_packet.h"

namespace mivora::decoder {
namespace {

[[gnu::noinline]] void ConcealRest(DecoderState& state) {
  if (state.mbIndex < state.mbCount) {
    state.concealed += state.mbCount - state.mbIndex;
    state.damaged = true;
  }
  while (state.mbY < state.mbHeight) {
    SkipMacroblock(state);
    AdvanceMacroblock(state);
  }
}

// Finds the next packet whose header is sound, from the bit `from` on, and conceals the
// macroblocks from `lostFrom` up to its first one. False when the picture has no further
// packet; everything from `lostFrom` on is concealed then.
[[gnu::noinline]] bool Resynchronise(DecoderState& state, std::size_t from, int lostFrom,
                                     int markerZeros) {
  BitReader& r = state.reader;
  for (;;) {
    if (FindResyncPoint(r, from, markerZeros) != ResyncPoint::Marker) break;
    const std::size_t marker = r.BitsConsumed();
    const int first = ReadVideoPacketHeader(state, markerZeros);
    if (first >= lostFrom) {
      ConcealMacroblocks(state, lostFrom, first);
      BeginVideoPacket(state, first);
      state.packetBit = r.BitsConsumed();
      state.lost = false;
      return true;
    }
    from = marker + 8;
  }
  ConcealMacroblocks(state, lostFrom, state.mbCount);
  return false;
}

// At a marker (the reader at its stuffing): reads the packet header and moves to the packet's
// first macroblock. Macroblocks skipped over were lost with a packet and are concealed; a number
// behind the position means the packet before overran its end, and all of it is concealed.
[[gnu::noinline]] bool StartPacket(DecoderState& state, int markerZeros) {
  BitReader& r = state.reader;
  SkipStuffing(r);
  const std::size_t marker = r.BitsConsumed();
  const int first = ReadVideoPacketHeader(state, markerZeros);
  if (first != state.mbIndex && !state.packetConcealment) return false;
  if (first < state.packetStart || first < 0 || (first == state.packetStart && first > 0)) {
    return Resynchronise(state, marker + 8, state.mbIndex, markerZeros);
  }
  if (first < state.mbIndex) {
    ConcealMacroblocks(state, state.packetStart, first);
  } else {
    ConcealMacroblocks(state, state.mbIndex, first);
  }
  BeginVideoPacket(state, first);
  state.packetBit = r.BitsConsumed();
  return true;
}

// The packets of a data-partitioned picture: one after the other, each ended by a marker or the
// picture's end.
[[gnu::noinline]] void DecodePartitionedPackets(DecoderState& state, int markerZeros) {
  BitReader& r = state.reader;
  bool headerRead = true;  // the picture's header, or a packet's found by resynchronising
  while (state.mbIndex < state.mbCount) {
    if (!headerRead) {
      if (r.StuffedStartCodeAhead()) {
        state.damaged = true;
        return;
      }
      if (!r.ResyncMarkerAhead(markerZeros)) {
        // Not at a packet's start: the packet before read wrongly.
        state.damaged = true;
        if (!Resynchronise(state, state.packetBit, state.packetStart, markerZeros)) return;
      } else if (!StartPacket(state, markerZeros)) {
        return;
      }
    }
    headerRead = false;
    const PartitionResult result = DecodePartitionedPacket(state);
    if (result == PartitionResult::kDecoded) continue;
    if (state.unsupported) return;
    state.damaged = true;
    if (result == PartitionResult::kMotionKept && state.packetConcealment) {
      if (!Resynchronise(state, state.packetBit, state.mbIndex, markerZeros)) return;
      headerRead = true;
      continue;
    }
    if (!state.packetConcealment) {
      state.mbIndex = state.packetStart;  // the packet's macroblocks went with it
      state.mbX = state.mbIndex % state.mbWidth;
      state.mbY = state.mbIndex / state.mbWidth;
      ConcealMacroblocks(state, state.packetStart, state.mbCount);
      return;
    }
    if (!Resynchronise(state, state.packetBit, state.packetStart, markerZeros)) return;
    headerRead = true;
  }
}

}  // namespace

bool DecodePicture(DecoderState& state) {
  state.mbIndex = 0;
  state.mbX = 0;
  state.mbY = 0;
  state.packetStart = 0;
  state.clearedUpTo = 0;
  state.packetBit = state.reader.BitsConsumed();
  state.concealed = 0;
  if (state.picture.pictureType != 0) ExtendReferenceEdges(state.pictures);
  if (state.sequence.interlaced) ClearFieldMotion(state);
  const bool global = state.picture.pictureType == kGlobalMotionPicture;
  if (global) PrepareGlobalMotion(state, state.globalMotion);
  const bool resyncPossible = !state.sequence.resyncMarkerDisable;
  const int markerZeros = ResyncMarkerZeros(state.picture.pictureType, state.picture.fcode);
  BitReader& r = state.reader;
  const bool predicted = state.picture.pictureType != 0;
  if (state.sequence.dataPartitioned && global) {
    state.unsupported = "data partitioning in S pictures";
    return false;
  }
  if (state.sequence.dataPartitioned) {
    DecodePartitionedPackets(state, markerZeros);
    if (state.unsupported) return false;
  }
  while (state.mbIndex < state.mbCount) {
    if (state.mbIndex > 0 && r.ZerosAfterStuffing()) {
      if (r.StuffedStartCodeAhead()) {
        state.damaged = true;  // the picture's data ends before its last macroblock
        break;
      }
      // Layers may allow resynchronisation markers without writing any.
      if (resyncPossible && r.ResyncMarkerAhead(markerZeros)) {
        if (!StartPacket(state, markerZeros)) break;
        continue;
      }
    }
    // Not coded: the common case in still scenes, taken here without the macroblock call.
    if (predicted && !global && r.ShowBits(1)) {
      r.Consume(1);
      SkipMacroblock(state);
      ++state.mbIndex;
      AdvanceMacroblock(state);
      continue;
    }
    const bool ok = DecodeMacroblock(state);
    if (state.unsupported) return false;
    if (!ok) [[unlikely]] {
      state.damaged = true;
      // The packet is lost from a row before the failure (bits read wrongly may look valid for
      // a while; in long packets the macroblocks well before it are worth keeping) to its end.
      // Without packets, the rest of the picture is.
      if (!resyncPossible || !state.packetConcealment) break;
      const int lostFrom = std::max(state.packetStart, state.mbIndex - state.mbWidth);
      if (!Resynchronise(state, state.packetBit, lostFrom, markerZeros)) break;
      continue;
    }
    ++state.mbIndex;
    AdvanceMacroblock(state);
  }
  if (r.PastEnd()) state.damaged = true;
  ConcealRest(state);
  return true;
}

}  // namespace mivora::decoder
