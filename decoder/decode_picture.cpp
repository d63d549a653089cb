#include "decoder/decode_picture.h"

#include "decoder/macroblock.h"

namespace mivora::decoder {
namespace {

void ConcealRest(DecoderState& state) {
  while (state.mbY < state.mbHeight) {
    SkipMacroblock(state);
    AdvanceMacroblock(state);
  }
}

}  // namespace

bool DecodePicture(DecoderState& state) {
  state.mbIndex = 0;
  state.mbX = 0;
  state.mbY = 0;
  if (state.picture.pictureType != 0) ExtendReferenceEdges(state.pictures);
  const bool resyncPossible = !state.sequence.resyncMarkerDisable;
  const int markerZeros = state.picture.pictureType == 0 ? 16 : 15 + state.picture.fcode;
  BitReader& r = state.reader;
  const bool predicted = state.picture.pictureType != 0;
  while (state.mbIndex < state.mbCount) {
    if (state.mbIndex > 0 && r.ZerosAfterStuffing()) {
      if (r.StuffedStartCodeAhead()) {
        state.damaged = true;  // the picture's data ends before its last macroblock
        break;
      }
      // Layers may allow resynchronisation markers without writing any; only a marker that
      // actually stands here is refused.
      if (resyncPossible && r.ResyncMarkerAhead(markerZeros)) {
        state.unsupported = "resync markers";
        return false;
      }
    }
    // Not coded: the common case in still scenes, taken here without the macroblock call.
    if (predicted && r.ShowBits(1)) {
      r.Consume(1);
      SkipMacroblock(state);
      ++state.mbIndex;
      AdvanceMacroblock(state);
      continue;
    }
    const bool ok = DecodeMacroblock(state);
    if (state.unsupported) return false;
    if (!ok) {
      state.damaged = true;
      break;
    }
    ++state.mbIndex;
    AdvanceMacroblock(state);
  }
  if (r.PastEnd()) state.damaged = true;
  ConcealRest(state);
  return true;
}

}  // namespace mivora::decoder
