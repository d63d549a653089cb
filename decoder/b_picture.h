// B pictures: each macroblock predicted from the older reference picture (forward), the newer one
// (backward), both (interpolated), or by vectors scaled from the newer picture's co-located
// macroblock (direct).
#pragma once

#include "decoder/decoder_state.h"

namespace mivora::decoder {

// The B picture's view of its two references and the time distances direct prediction scales by.
struct BReferences {
  Picture forward, backward;   // older and newer reference picture
  bool backwardIntra = false;  // co-located vectors are all zero
  int trb = 1, trd = 2;        // B to older reference, newer to older reference (> 0)
};

// Zero bits of a B picture's resynchronisation marker (a one follows).
inline int BResyncMarkerZeros(int fcode, int fcodeBackward) {
  const int f = fcode > fcodeBackward ? fcode : fcodeBackward;
  return f + 15 > 17 ? f + 15 : 17;
}

// The direct-mode vectors of one co-located vector: forward and backward, per component.
void DirectVectors(MotionVector colocated, MotionVector delta, int trb, int trd,
                   MotionVector& forward, MotionVector& backward);

// Decodes the picture after its header into state.pictures.current, which must be neither
// reference. Damage is concealed from the forward reference. Sets state.unsupported and returns
// false for a feature this decoder does not decode.
bool DecodeBPicture(DecoderState& state, const BReferences& refs);

}  // namespace mivora::decoder
