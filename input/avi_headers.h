// The "hdrl" list of an AVI file, parsed in memory: the first video and the first audio stream.
#pragma once

#include <cstddef>
#include <cstdint>

#include "input/media_info.h"

namespace mivora::avi {

// Stream numbers count every "strh" from 0; -1 while no stream of the kind was found.
struct StreamChoice {
  std::int32_t videoStream = -1;
  std::int32_t audioStream = -1;
};

// Fills width, height, framesPerSecond, fourcc, frameCount, audioFormatTag and (provisionally)
// audioBytes from the block. Never reads outside [block, block + length).
void ParseHeaderList(const std::uint8_t* block, std::size_t length, MediaInfo& info,
                     StreamChoice& streams);

}  // namespace mivora::avi
