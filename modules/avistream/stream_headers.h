// What the streaming AVI reader takes from the "hdrl" list: the first video and the first audio
// stream, with the sizes and rates it needs without an index.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mivora::avistream {

struct StreamHeaders {
  // Stream numbers count every "strh" from 0; -1 when there is no stream of the kind.
  std::int32_t videoStream = -1;
  std::int32_t audioStream = -1;
  char fourcc[4] = {};
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint32_t videoScale = 0;
  std::uint32_t videoRate = 0;
  std::uint32_t videoLength = 0;     // frames in the stream header
  std::uint32_t totalFrames = 0;     // the OpenDML header's count over every RIFF part, or 0
  std::uint32_t avihFrames = 0;      // the main header's count (first RIFF part only)
  std::uint32_t avihSuggested = 0;   // the main header's suggested buffer, for any chunk
  std::uint32_t videoSuggested = 0;  // the video header's: its largest frame, as writers give it
  std::uint16_t audioFormatTag = 0;
  std::uint32_t audioScale = 0;
  std::uint32_t audioRate = 0;
  std::uint32_t audioLength = 0;
  std::uint32_t audioSampleSize = 0;
  std::uint32_t audioBytesPerSecond = 0;
};

// Never reads outside [block, block + length).
void ParseStreamHeaders(const std::uint8_t* block, std::size_t length, StreamHeaders& out);

// Frames the headers promise: the OpenDML total when present, else the larger of the stream and
// main headers' counts.
std::int32_t HeaderFrameCount(const StreamHeaders& h);

// Compressed audio bytes the audio stream header describes: its length in samples for a stream
// of fixed sample size, else its duration at the format's average byte rate.
std::int64_t HeaderAudioBytes(const StreamHeaders& h);

}  // namespace mivora::avistream
