#include "input/avi_headers.h"

#include "input/little_endian.h"

namespace mivora::avi {

namespace {
enum Kind { kNone = 0, kVideo = 1, kAudio = 2 };

// Offsets inside the stream header and format data that the reader uses.
constexpr std::size_t kStrhNeeded = 36;       // type, handler .. length at 32..35
constexpr std::size_t kVideoStrfNeeded = 12;  // width at 4, height at 8
constexpr std::size_t kAudioStrfNeeded = 2;   // format tag at 0
}  // namespace

void ParseHeaderList(const std::uint8_t* block, std::size_t length, MediaInfo& info,
                     StreamChoice& streams) {
  if (block == nullptr) return;
  Kind kind = kNone;
  std::int32_t streamCounter = 0;
  std::size_t pos = 0;
  while (pos + 8 <= length) {
    const std::uint8_t* chunk = block + pos;
    const std::uint32_t size = ReadU32(chunk + 4);
    if (IsId(chunk, "LIST")) {
      // The stream lists are not treated specially: step into their contents.
      if (length - pos < 12) break;
      pos += 12;
      continue;
    }
    const std::uint8_t* d = chunk + 8;
    // A chunk whose size runs past the block is only read as far as the block goes.
    const std::size_t available = length - pos - 8;
    const std::size_t dataLength = size < available ? size : available;
    if (IsId(chunk, "strh")) {
      const bool whole = dataLength >= kStrhNeeded;
      if (whole && IsId(d, "vids") && streams.videoStream < 0) {
        for (int i = 0; i < 4; ++i) info.fourcc[i] = static_cast<char>(d[4 + i]);
        info.fourcc[4] = 0;
        const std::uint32_t scale = ReadU32(d + 20);
        const std::uint32_t rate = ReadU32(d + 24);
        if (scale != 0) info.framesPerSecond = double(rate) / double(scale);
        // Unsigned in the file; the record keeps 32-bit signed values, so clamp rather than wrap.
        const std::uint32_t frames = ReadU32(d + 32);
        info.frameCount = frames > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(frames);
        streams.videoStream = streamCounter;
        kind = kVideo;
      } else if (whole && IsId(d, "auds") && streams.audioStream < 0) {
        const std::uint32_t bytes = ReadU32(d + 32);
        info.audioBytes = bytes > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(bytes);
        streams.audioStream = streamCounter;
        kind = kAudio;
      } else {
        kind = kNone;
      }
      ++streamCounter;
    } else if (IsId(chunk, "strf")) {
      if (kind == kVideo && dataLength >= kVideoStrfNeeded) {
        info.width = static_cast<std::int32_t>(ReadU32(d + 4));
        info.height = static_cast<std::int32_t>(ReadU32(d + 8));
      } else if (kind == kAudio && dataLength >= kAudioStrfNeeded) {
        info.audioFormatTag = ReadU16(d);
      }
      kind = kNone;
    } else {
      kind = kNone;
    }
    const std::size_t step = 8 + static_cast<std::size_t>(size) + (size & 1u);
    if (step > length - pos) break;
    pos += step;
  }
}

}  // namespace mivora::avi
