#include "modules/mp3reader/mp3_source.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <mutex>

#include "modules/ReaderCommon/byte_stream.h"
#include "modules/ReaderCommon/input_loader.h"
#include "modules/ReaderCommon/open_through.h"
#include "modules/mp3reader/frame_header.h"
#include "modules/mp3reader/tags.h"
#include "modules/mp3reader/vbr_header.h"

namespace mivora::mp3 {

namespace {

constexpr std::int32_t kMpegLayer3Tag = 85;
// How far leading junk, or the bytes after a seek target, are searched for a frame.
constexpr std::int64_t kSearchBytes = 4 << 20;
// Enough of the end of the file for an ID3v1 tag behind an APE footer, or the other way round.
constexpr std::int32_t kTailBytes = 128 + 32 + 128;

struct Source {
  MediaInfo info;
  reader::InputLoader loader;
  reader::InputIo io;
  reader::ByteStream stream;
  std::recursive_mutex lock;
  std::atomic<bool> open{false};  // read without the lock by the position query
  FrameHeader first;
  VbrHeader vbr;
  Mp3Layout layout;
  std::atomic<std::int64_t> position{0};  // next audio byte, from the start of the file
};

Source& S() {
  static Source source;
  return source;
}

using Hold = std::lock_guard<std::recursive_mutex>;

// A frame starts at p when its header is good and the next frame's header (when the window
// holds it) belongs to the same stream; one at the very end of the audio needs no successor.
bool FrameAt(const std::uint8_t* p, std::int32_t available, std::int64_t bytesToEnd,
             const FrameHeader* like, FrameHeader& out) {
  if (available < 4 || !ParseFrameHeader(p, out)) return false;
  if (like != nullptr && !SameStream(*like, out)) return false;
  const std::int32_t next = out.frameBytes;
  if (bytesToEnd >= 0 && next == bytesToEnd) return true;
  if (next + 4 > available) return bytesToEnd >= 0 && next <= bytesToEnd && available >= bytesToEnd;
  FrameHeader second;
  return ParseFrameHeader(p + next, second) && SameStream(out, second);
}

// Leaves the stream at the next frame within kSearchBytes; false when there is none.
bool FindFrame(Source& s, const FrameHeader* like, std::int64_t end, FrameHeader& found) {
  std::int64_t searched = 0;
  while (searched < kSearchBytes) {
    std::int32_t available = 0;
    const std::uint8_t* p = s.stream.Peek(reader::ByteStream::kWindowBytes, &available);
    if (p == nullptr || available < 4) return false;
    const std::int64_t here = s.stream.Position();
    // Headers are found only where a second one can be checked behind them, or at the end.
    const std::int32_t last =
        available == reader::ByteStream::kWindowBytes ? available - 4 - 2 * 1441 : available - 4;
    for (std::int32_t i = 0; i <= last; ++i) {
      if (p[i] != 0xFF) continue;
      const std::int64_t toEnd = end >= 0 ? end - (here + i) : -1;
      if (FrameAt(p + i, available - i, toEnd, like, found)) {
        s.stream.Skip(i);
        return true;
      }
    }
    const std::int32_t step = last > 0 ? last + 1 : available;
    searched += step;
    if (!s.stream.Skip(step)) return false;
  }
  return false;
}

void SkipId3v2(Source& s) {
  for (;;) {
    std::int32_t available = 0;
    const std::uint8_t* p = s.stream.Peek(10, &available);
    const std::int64_t bytes = p != nullptr ? Id3v2TagBytes(p, std::size_t(available)) : 0;
    if (bytes == 0 || !s.stream.Skip(bytes)) return;
  }
}

// The end of the audio: the length less the tags found there. A source that cannot be read at
// its end (a server without Range) keeps them: the decoder steps over tags anyway.
std::int64_t AudioEnd(Source& s) {
  const std::int64_t length = s.stream.Length();
  if (length < 0) return -1;
  const std::int64_t here = s.stream.Position();
  const std::int64_t tailStart = std::max<std::int64_t>(here, length - kTailBytes);
  std::uint8_t tail[kTailBytes];
  if (tailStart >= length || !s.stream.JumpTo(tailStart)) return length;
  const auto got = s.stream.Read(tail, static_cast<std::int32_t>(length - tailStart));
  const std::int64_t tags = TrailingTagBytes(tail, std::size_t(got));
  s.stream.JumpTo(here);
  return std::max(here, length - tags);
}

double DurationSeconds(const Source& s) {
  const FrameHeader& h = s.first;
  const std::int64_t bytes = s.layout.audioEnd - s.layout.audioStart;
  if (s.vbr.found && s.vbr.frames > 0) {
    return double(s.vbr.frames) * h.samplesPerFrame / h.sampleRate;
  }
  return h.bitRate > 0 ? double(bytes) * 8.0 / h.bitRate : 0.0;
}

std::int32_t OpenLoaded(Source& s, const char16_t* path, std::int32_t cacheParameter,
                        MediaInfo** info) {
  const std::int32_t length = s.io.open(path, 0, 0, 4000000, cacheParameter);
  if (length == 0) return 0;
  s.stream.Attach(s.io, 0, length > 1 ? length : -1);
  SkipId3v2(s);
  std::int64_t end = AudioEnd(s);
  if (!FindFrame(s, nullptr, end, s.first)) {
    s.io.close();
    s.stream.Detach();
    return 0;
  }
  s.layout.audioStart = s.stream.Position();
  if (end < 0) end = INT32_MAX;
  s.layout.audioEnd = std::max(end, s.layout.audioStart);
  std::int32_t available = 0;
  const std::uint8_t* p = s.stream.Peek(s.first.frameBytes, &available);
  s.vbr = ParseVbrHeader(s.first, p, std::size_t(std::min(available, s.first.frameBytes)));
  s.layout.durationSeconds = DurationSeconds(s);
  s.layout.sampleRate = s.first.sampleRate;
  s.layout.channels = s.first.channels;
  s.layout.vbrHeader = s.vbr.found;
  s.layout.seekTable = s.vbr.hasToc;
  s.position = s.layout.audioStart;

  std::memcpy(s.info.fourcc, "divx", 5);
  s.info.audioFormatTag = kMpegLayer3Tag;
  s.info.audioBytes = static_cast<std::int32_t>(
      std::min<std::int64_t>(s.layout.audioEnd - s.layout.audioStart, INT32_MAX));
  s.open = true;
  if (info != nullptr) *info = &s.info;
  return 1;
}

std::int32_t Remaining(const Source& s) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(s.layout.audioEnd - s.position.load(), 0, INT32_MAX));
}

std::int32_t ReadAudio(std::uint8_t* buffer, std::int32_t count) {
  Source& s = S();
  Hold hold(s.lock);
  if (!s.open || buffer == nullptr || count < 1) return 0;
  const std::int64_t left = s.layout.audioEnd - s.stream.Position();
  if (left <= 0) return 0;
  const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(count, left));
  const std::int32_t got = s.stream.Read(buffer, n);
  s.position = s.stream.Position();
  return got;
}

// No video: nothing is ever placed in the buffer.
std::int32_t ReadVideoFrame(std::uint8_t*, std::int32_t) {
  return 0;
}

// The byte where percent p of the playing time starts: from the Xing table when there is one,
// else in proportion to the bytes.
std::int64_t TargetFor(const Source& s, std::int32_t percent) {
  const std::int64_t bytes = s.layout.audioEnd - s.layout.audioStart;
  if (s.vbr.hasToc && percent < 100) {
    const std::int64_t total = s.vbr.bytes > 0 ? std::min<std::int64_t>(s.vbr.bytes, bytes) : bytes;
    return s.layout.audioStart + std::int64_t(s.vbr.toc[percent]) * total / 256;
  }
  return s.layout.audioStart + bytes * percent / 100;
}

// Lands on the first frame at or after the target. A source that cannot seek, or that has no
// frame after the target, stays where it is.
std::int32_t SeekPercent(std::int32_t percent) {
  Source& s = S();
  Hold hold(s.lock);
  if (!s.open) return 0;
  percent = std::clamp(percent, 0, 100);
  const std::int64_t before = s.stream.Position();
  const std::int64_t target = TargetFor(s, percent);
  if (target >= s.layout.audioEnd) {
    if (s.stream.JumpTo(s.layout.audioEnd) || s.layout.audioEnd == s.stream.Length()) {
      // The end itself: nothing more to play.
    }
    return Remaining(s);
  }
  if (!s.stream.JumpTo(target)) return Remaining(s);
  FrameHeader found;
  if (target != s.layout.audioStart && !FindFrame(s, &s.first, s.layout.audioEnd, found)) {
    s.stream.JumpTo(before);
    return Remaining(s);
  }
  if (s.stream.Position() >= s.layout.audioEnd) {
    s.stream.JumpTo(before);
    return Remaining(s);
  }
  s.position = s.stream.Position();
  return Remaining(s);
}

std::int32_t SyncAudioToVideo() {
  return Remaining(S());
}

// With a Xing table the byte position is turned back into time through it.
double GetPositionPercent() {
  Source& s = S();
  const std::int64_t bytes = s.layout.audioEnd - s.layout.audioStart;
  if (!s.open || bytes <= 0) return 0.0;
  const std::int64_t at =
      std::clamp<std::int64_t>(s.position.load() - s.layout.audioStart, 0, bytes);
  if (!s.vbr.hasToc) return double(at) * 100.0 / double(bytes);
  const std::int64_t total = s.vbr.bytes > 0 ? std::min<std::int64_t>(s.vbr.bytes, bytes) : bytes;
  const double scaled = double(at) * 256.0 / double(total);
  int i = 0;
  while (i < 99 && s.vbr.toc[i + 1] <= scaled) ++i;
  const double from = s.vbr.toc[i];
  const double to = i < 99 ? s.vbr.toc[i + 1] : 256.0;
  const double within = to > from ? (scaled - from) / (to - from) : 0.0;
  return std::clamp(i + within, 0.0, 100.0);
}

std::int32_t IsKeyFrame(std::int32_t) {
  return 0;
}

std::int32_t Close() {
  Source& s = S();
  Hold hold(s.lock);
  if (!s.open) {
    s.loader.Unload();
    return 1;
  }
  s.io.close();
  s.stream.Detach();
  s.loader.Unload();
  s.io = reader::InputIo{};
  s.open = false;
  return 1;
}

void Reset(Source& s) {
  s.info = MediaInfo{};
  s.first = FrameHeader{};
  s.vbr = VbrHeader{};
  s.layout = Mp3Layout{};
  s.position = 0;
}

std::int32_t Open(const char16_t* path, std::int32_t mode, std::int32_t cacheParameter,
                  MediaInfo** info) {
  Source& s = S();
  Hold hold(s.lock);
  Close();
  Reset(s);
  return reader::OpenThroughModule(s.loader, s.io, path, mode,
                                   [&] { return OpenLoaded(s, path, cacheParameter, info); });
}

}  // namespace

std::int32_t OpenWithInput(const reader::InputIo& io, const char16_t* path,
                           std::int32_t cacheParameter, MediaInfo** info) {
  Source& s = S();
  Hold hold(s.lock);
  Close();
  Reset(s);
  return reader::OpenThroughInput(io, s.io, path,
                                  [&] { return OpenLoaded(s, path, cacheParameter, info); });
}

Mp3Layout GetLayout() {
  Source& s = S();
  Hold hold(s.lock);
  return s.open ? s.layout : Mp3Layout{};
}

void FillTable(MediaSource* table) {
  if (table == nullptr) return;
  table->Open = &Open;
  table->ReadAudio = &ReadAudio;
  table->ReadVideoFrame = &ReadVideoFrame;
  table->SeekPercent = &SeekPercent;
  table->SyncAudioToVideo = &SyncAudioToVideo;
  table->GetPositionPercent = &GetPositionPercent;
  table->Close = &Close;
  table->IsKeyFrame = &IsKeyFrame;
}

}  // namespace mivora::mp3
