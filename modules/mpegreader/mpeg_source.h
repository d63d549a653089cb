// The eight media source operations over one open MPEG file (one per process, as the engine
// opens one source at a time).
#pragma once

#include <cstdint>

#include "input/media_info.h"

namespace mivora::mpeg {

std::int32_t Open(const char16_t* path, std::int32_t mode, std::int32_t cacheParameter,
                  MediaInfo** info);
std::int32_t ReadAudio(std::uint8_t* buffer, std::int32_t count);
// Places the next picture's DecodedFrame at the start of buffer; its planes stay valid until the
// next read. Returns the record's size, 0 when there is no picture.
std::int32_t ReadVideoFrame(std::uint8_t* buffer, std::int32_t flag);
std::int32_t SeekPercent(std::int32_t percent);
std::int32_t SyncAudioToVideo();
double GetPositionPercent();
std::int32_t Close();
std::int32_t IsKeyFrame(std::int32_t frameIndex);

}  // namespace mivora::mpeg
