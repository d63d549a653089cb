// The built-in decoder's two operations, and the pass-through pair for decoder modules that hand
// over a finished picture description themselves.
#pragma once

#include <cstdint>

#include "decoder/decoded_frame.h"
#include "decoder/decoder_status.h"
#include "decoder/decore.h"

namespace mivora {

// kDecoreInit with DecoderParams: open for that picture size (0 on success, -1 when the size
// cannot be held or memory runs out; the decoder is then closed). kDecoreRelease: close.
// Any other option: nothing. Always 0 except for a refused initialisation.
std::int32_t decore(std::uintptr_t handle, std::uint32_t option, void* params, void* extra);
// Decodes the frame of length bytes at data into frame; returns a DecodeStatus value. Never reads
// outside data..data+length. render and rowSkip are not used.
std::int32_t decore_frame(const std::uint8_t* data, std::int32_t length, DecodedFrame* frame,
                          std::int32_t render, std::int32_t rowSkip);

// On (the default): a damaged video packet costs only its own macroblocks. Off: a damage
// conceals the rest of its picture from the reference, as in pictures without packets.
void SetPacketConcealment(bool on);
// On (the default): a damaged texture part in the reversible codes is read backward from its end
// as well, keeping the macroblocks at the packet's end. Off: it is read forward only.
void SetBackwardTexture(bool on);

std::int32_t PassThroughDecore(std::uintptr_t handle, std::uint32_t option, void* params,
                               void* extra);
// Copies the DecodedFrame at data to frame.
std::int32_t PassThroughDecoreFrame(const std::uint8_t* data, std::int32_t length,
                                    DecodedFrame* frame, std::int32_t render, std::int32_t rowSkip);

}  // namespace mivora
