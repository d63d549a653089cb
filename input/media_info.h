// The description of an open source. Reader modules lay out their own record the same way, so
// the offsets are fixed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mivora {

struct MediaInfo {
  std::int32_t width = 0;           // 0
  std::int32_t height = 0;          // 4
  double framesPerSecond = 0;       // 8
  char fourcc[5] = {};              // 16: four 8-bit characters and a NUL
  std::uint8_t reserved21[7] = {};  // 21
  std::int32_t frameCount = 0;      // 28: 0 = no video
  std::int32_t reserved32 = 0;      // 32
  std::int32_t currentFrame = 0;    // 36: index of the frame the next ReadVideoFrame returns
  std::int32_t audioFormatTag = 0;  // 40: 85 = MPEG layer 3
  std::int32_t reserved44 = 0;      // 44
  std::int32_t audioBytes = 0;      // 48: 0 = no audio
  // Bytes 52..511 belong to the source. The built-in AVI reader keeps the size of its largest
  // video frame at 52 so that the engine can size its frame buffers; 0 means unknown.
  std::int32_t largestFrameBytes = 0;  // 52
  std::uint8_t sourceOwned[456] = {};  // 56..511
  std::int32_t largeFrameBytes = 0;    // 512
  // The double makes the record 8-byte aligned; the tail is spelled out so that sizeof is exact.
  std::uint8_t tail516[4] = {};  // 516..519
};

static_assert(offsetof(MediaInfo, width) == 0);
static_assert(offsetof(MediaInfo, height) == 4);
static_assert(offsetof(MediaInfo, framesPerSecond) == 8);
static_assert(offsetof(MediaInfo, fourcc) == 16);
static_assert(offsetof(MediaInfo, frameCount) == 28);
static_assert(offsetof(MediaInfo, currentFrame) == 36);
static_assert(offsetof(MediaInfo, audioFormatTag) == 40);
static_assert(offsetof(MediaInfo, audioBytes) == 48);
static_assert(offsetof(MediaInfo, largestFrameBytes) == 52);
static_assert(offsetof(MediaInfo, largeFrameBytes) == 512);
static_assert(sizeof(MediaInfo) == 520);  // at least the 516 bytes the engine relies on

}  // namespace mivora
