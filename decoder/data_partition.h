// Data-partitioned video packets: modes, vectors and DCs first, then patterns, then coefficients,
// with a marker between the first two parts.
#pragma once

#include "decoder/decoder_state.h"

namespace mivora::decoder {

inline constexpr std::uint32_t kDcMarker = 0x6B001;      // 19 bits, I pictures
inline constexpr std::uint32_t kMotionMarker = 0x1F001;  // 17 bits, P pictures

enum class PartitionResult {
  kDecoded,     // the position is after the packet's last macroblock
  kLost,        // the first part failed (an invalid code, the marker missing, more macroblocks
                // than the picture has left): the caller conceals the packet
  kMotionKept,  // a later part failed: the macroblocks from there on keep their motion
                // prediction, and the caller looks for the next packet
};
// Decodes the packet whose first macroblock is state.mbIndex.
PartitionResult DecodePartitionedPacket(DecoderState& state);

}  // namespace mivora::decoder
