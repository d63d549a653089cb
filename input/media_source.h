// The eight operations through which the engine reads every input, in slot order. Filled by the
// built-in AVI reader (InitializeAviReader) or by a reader module's "InitializeReader".
#pragma once

#include <cstdint>

#include "input/media_info.h"

namespace mivora {

struct MediaSource {
  // Nonzero when the source is open and described; *info then points at its MediaInfo, which
  // stays valid until Close. mode: 0 plain input, 1 stream, 2 cached.
  std::int32_t (*Open)(const char16_t* path, std::int32_t mode, std::int32_t cacheParameter,
                       MediaInfo** info) = nullptr;
  // Bytes delivered, fewer than count at the end.
  std::int32_t (*ReadAudio)(std::uint8_t* buffer, std::int32_t count) = nullptr;
  // Size of the compressed frame placed in the buffer. flag: 1 when the frame will not be shown.
  std::int32_t (*ReadVideoFrame)(std::uint8_t* buffer, std::int32_t flag) = nullptr;
  // Audio bytes remaining after the new position.
  std::int32_t (*SeekPercent)(std::int32_t percent) = nullptr;
  std::int32_t (*SyncAudioToVideo)() = nullptr;
  double (*GetPositionPercent)() = nullptr;
  std::int32_t (*Close)() = nullptr;
  std::int32_t (*IsKeyFrame)(std::int32_t frameIndex) = nullptr;
};

// The entry point a reader module exports as "InitializeReader".
using InitializeReaderFn = void (*)(MediaSource* table);

}  // namespace mivora
