// The two operations every video decoder of the player offers: decore (open with a picture size
// and output type, or release) and decore_frame (decode one compressed frame).
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/decoded_frame.h"

namespace mivora {

inline constexpr std::uint32_t kDecoreInit = 0x8000;
inline constexpr std::uint32_t kDecoreRelease = 0x10000;

// Handed to decore with kDecoreInit: five 32-bit words.
struct DecoderParams {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t reserved = 0;
  std::int32_t outputType = 5;  // 5, 7, 8 or 9 selects the colour converter
  std::int32_t cleanVideo = 0;  // the "Clean Video" option byte; unused by the built-in decoder
};
static_assert(offsetof(DecoderParams, width) == 0);
static_assert(offsetof(DecoderParams, height) == 4);
static_assert(offsetof(DecoderParams, reserved) == 8);
static_assert(offsetof(DecoderParams, outputType) == 12);
static_assert(offsetof(DecoderParams, cleanVideo) == 16);
static_assert(sizeof(DecoderParams) == 20);

using DecoreFn = std::int32_t (*)(std::uintptr_t handle, std::uint32_t option, void* params,
                                  void* extra);
// length: bytes of compressed data at data. render and rowSkip are passed on by the engine.
using DecoreFrameFn = std::int32_t (*)(const std::uint8_t* data, std::int32_t length,
                                       DecodedFrame* frame, std::int32_t render,
                                       std::int32_t rowSkip);

}  // namespace mivora
