#include "modules/avistream/stream_headers.h"

#include <climits>
#include <cmath>

#include "modules/avistream/riff.h"

namespace mivora::avistream {

namespace {
enum Kind { kNone, kVideo, kAudio };
constexpr std::size_t kStrhNeeded = 40;  // type .. suggested buffer size at 36..39
}  // namespace

void ParseStreamHeaders(const std::uint8_t* block, std::size_t length, StreamHeaders& out) {
  if (block == nullptr) return;
  Kind kind = kNone;
  std::int32_t counter = 0;
  std::size_t pos = 0;
  while (pos + 8 <= length) {
    const std::uint8_t* chunk = block + pos;
    const std::uint32_t size = U32(chunk + 4);
    if (IsId(chunk, "LIST")) {
      if (length - pos < 12) break;
      pos += 12;  // the stream lists' contents follow their type
      continue;
    }
    const std::uint8_t* d = chunk + 8;
    const std::size_t available = length - pos - 8;
    const std::size_t n = size < available ? size : available;
    Kind next = kNone;
    if (IsId(chunk, "avih") && n >= 40) {
      out.avihFrames = U32(d + 16);
      out.avihSuggested = U32(d + 28);
    } else if (IsId(chunk, "dmlh") && n >= 4) {
      out.totalFrames = U32(d);
    } else if (IsId(chunk, "strh")) {
      if (n >= kStrhNeeded && IsId(d, "vids") && out.videoStream < 0) {
        for (int i = 0; i < 4; ++i) out.fourcc[i] = static_cast<char>(d[4 + i]);
        out.videoScale = U32(d + 20);
        out.videoRate = U32(d + 24);
        out.videoLength = U32(d + 32);
        out.videoSuggested = U32(d + 36);
        out.videoStream = counter;
        next = kVideo;
      } else if (n >= kStrhNeeded && IsId(d, "auds") && out.audioStream < 0) {
        out.audioScale = U32(d + 20);
        out.audioRate = U32(d + 24);
        out.audioLength = U32(d + 32);
        out.audioSampleSize = n >= 48 ? U32(d + 44) : 0;
        out.audioStream = counter;
        next = kAudio;
      }
      ++counter;
    } else if (IsId(chunk, "strf")) {
      if (kind == kVideo && n >= 12) {
        out.width = static_cast<std::int32_t>(U32(d + 4));
        out.height = static_cast<std::int32_t>(U32(d + 8));
      } else if (kind == kAudio && n >= 12) {
        out.audioFormatTag = U16(d);
        out.audioBytesPerSecond = U32(d + 8);
      } else if (kind == kAudio && n >= 2) {
        out.audioFormatTag = U16(d);
      }
    }
    kind = next;
    const std::size_t step = 8 + static_cast<std::size_t>(size) + (size & 1u);
    if (step > length - pos) break;
    pos += step;
  }
}

std::int32_t HeaderFrameCount(const StreamHeaders& h) {
  if (h.videoStream < 0) return 0;
  std::uint32_t frames = h.totalFrames;
  if (frames == 0) frames = h.videoLength > h.avihFrames ? h.videoLength : h.avihFrames;
  return frames > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(frames);
}

std::int64_t HeaderAudioBytes(const StreamHeaders& h) {
  if (h.audioStream < 0) return 0;
  double bytes = 0;
  if (h.audioSampleSize > 0) {
    bytes = double(h.audioLength) * double(h.audioSampleSize);
  } else if (h.audioRate > 0) {
    bytes = double(h.audioLength) * double(h.audioScale) / double(h.audioRate) *
            double(h.audioBytesPerSecond);
  }
  if (!(bytes > 0)) return 0;
  return bytes >= double(INT32_MAX) ? INT32_MAX : static_cast<std::int64_t>(std::llround(bytes));
}

}  // namespace mivora::avistream
