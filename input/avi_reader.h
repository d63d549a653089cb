// The built-in AVI reader: a MediaSource over RIFF AVI files with an "idx1" index, read through
// the input I/O module ("InputMedia.dll" for mode 0, "InputMediaCache.dll" otherwise).
#pragma once

#include <cstdint>

#include "input/input_module.h"
#include "input/media_source.h"

namespace mivora {

// Stores the reader's eight operations into the table in slot order.
void InitializeAviReader(MediaSource* table);

// How many bytes ReadVideoFrame may place in the caller's buffer; 48,000 (the engine's frame
// buffers) until changed. A frame larger than this is not read: ReadVideoFrame returns 0 for it
// and still moves on to the next frame, so the buffer is never overrun. An engine that sizes
// its buffers from MediaInfo's largestFrameBytes hands that size here to play such frames.
// Values below 1 restore the default. Kept across sources.
inline constexpr std::int32_t kDefaultFrameCapacity = 48000;
void SetAviReaderFrameCapacity(std::int32_t bytes);
std::int32_t AviReaderFrameCapacity();

// Open waits this long after reopening the input (1,000 ms by default; the environment
// variable MIVORA_AVI_REOPEN_WAIT_MS, read once at the first open, sets another default).
// Tests and tools set 0.
void SetAviReaderReopenWait(std::uint32_t milliseconds);

// Tests and fuzzers: every open reads through these four entry points (an input in memory, say)
// instead of loading the input module, until called again with nulls. Kept across sources.
void SetAviReaderInput(InputMediaOpenFn open, InputMediaReadFn read, InputMediaSeekFn seek,
                       InputMediaCloseFn close);

// What the open source's index holds (all 0 while nothing is open).
struct AviReaderCounts {
  std::int32_t videoEntries = 0;
  std::int32_t keyFrames = 0;
  std::int32_t audioChunks = 0;
  std::int32_t largestFrameBytes = 0;
};
AviReaderCounts GetAviReaderCounts();

}  // namespace mivora
