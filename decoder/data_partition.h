// Data-partitioned video packets: modes, vectors and DCs first, then patterns, then coefficients,
// with a marker between the first two parts.
#pragma once

#include "decoder/decoder_state.h"

namespace mivora::decoder {

inline constexpr std::uint32_t kDcMarker = 0x6B001;      // 19 bits, I pictures
inline constexpr std::uint32_t kMotionMarker = 0x1F001;  // 17 bits, P pictures

// Decodes the packet whose first macroblock is state.mbIndex and leaves the position after its
// last one. False when a part fails (an invalid code, the marker missing, more macroblocks than
// the picture has left); the caller conceals.
bool DecodePartitionedPacket(DecoderState& state);

}  // namespace mivora::decoder
