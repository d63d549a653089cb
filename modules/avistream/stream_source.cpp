#include "modules/avistream/stream_source.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "modules/ReaderCommon/byte_stream.h"
#include "modules/ReaderCommon/input_loader.h"
#include "modules/ReaderCommon/open_through.h"
#include "modules/avistream/key_frame.h"
#include "modules/avistream/movi_walker.h"
#include "modules/avistream/riff.h"
#include "modules/avistream/stream_headers.h"

namespace mivora::avistream {

namespace {

constexpr std::int32_t kDefaultFrameCapacity = 48000;
// Header lists are a few kilobytes; more is damage and is not allocated.
constexpr std::uint32_t kMaxHeaderList = 16u << 20;
// Largest frame buffer the reader asks the engine for: the engine keeps 21 of them.
constexpr std::int64_t kMaxFrameBuffer = 8 << 20;
// What one stream may hold in its queue while the other is read. Past this the oldest audio is
// dropped (nobody reads it: audio is off) and the oldest frames lose their data (they would be
// far too late to show anyway); frames keep their place so the frame count stays right.
constexpr std::int64_t kAudioQueueBytes = 4 << 20;
constexpr std::int64_t kVideoQueueBytes = 64 << 20;
// Entries either queue may hold whatever their sizes: a file of tiny chunks must not turn into
// millions of records. Frames past this are forgotten but still counted.
constexpr std::size_t kMaxQueuedChunks = 1u << 16;
// Frame positions kept for exact seeks within what was already read.
constexpr std::size_t kMaxKnownFrames = 4u << 20;

struct QueuedVideo {
  std::vector<std::uint8_t> data;
  std::uint32_t size = 0;  // as in the file; data is empty when it was too large or dropped
  bool key = false;
  std::int64_t position = 0;
};

struct QueuedAudio {
  std::vector<std::uint8_t> data;
  std::size_t offset = 0;
  std::int64_t position = 0;
};

struct Source {
  MediaInfo info;
  StreamHeaders headers;
  reader::InputLoader loader;
  reader::InputIo io;
  reader::ByteStream stream;
  MoviWalker walker;
  std::recursive_mutex lock;
  bool open = false;
  bool ended = false;
  std::int64_t moviStart = 0;
  std::int32_t capacity = kDefaultFrameCapacity;
  std::deque<QueuedVideo> video;
  std::int64_t videoQueued = 0;
  std::deque<QueuedAudio> audio;
  std::int64_t audioQueued = 0;
  std::atomic<std::int64_t> audioPassed{0};  // audio bytes delivered or dropped
  std::int64_t lastVideoPosition = 0;
  std::int64_t lostFrames = 0;  // forgotten frames, older than every queued one
  // Key flags by frame index, for the frames handed out so far.
  std::vector<std::uint8_t> keyFlags;
  // Chunk positions of frames 0, 1, ... while the frame numbers are exact (from the start, no
  // estimated seek since), and the number of frames the stream has yielded in that run.
  std::vector<std::int64_t> knownPositions;
  bool exactNumbers = true;
  std::int32_t nextChunkFrame = 0;
};

Source& S() {
  static Source source;
  return source;
}

using Hold = std::lock_guard<std::recursive_mutex>;

std::atomic_ref<std::int32_t> CurrentFrame(Source& s) {
  return std::atomic_ref<std::int32_t>(s.info.currentFrame);
}

void ClearQueues(Source& s) {
  s.video.clear();
  s.audio.clear();
  s.videoQueued = s.audioQueued = 0;
  s.lostFrames = 0;
}

std::int32_t Remaining(const Source& s) {
  const std::int64_t left = std::int64_t(s.info.audioBytes) - s.audioPassed.load();
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(left, 0, INT32_MAX));
}

// Four times the average video bytes per frame, with 4,000 audio bytes a second taken off the
// source's length; 0 (every frame large) when there is no rate or length to average over.
std::int32_t LargeFrameBytes(double fps, std::int32_t frames, std::int64_t length) {
  if (!(fps > 0) || frames <= 0 || length <= 0) return 0;
  const double seconds = double(frames) / fps;
  const std::int64_t d = seconds < 1 ? 1 : seconds > 1e9 ? 1000000000 : std::int64_t(seconds);
  const std::int64_t perSecond = (length - d * 4000) / d;
  const double large = double(perSecond) / fps * 4.0;
  return large > 0 ? static_cast<std::int32_t>(std::min(large, double(INT32_MAX))) : 0;
}

// Frame buffers the engine is asked for. The video header's suggested size is the largest frame
// as writers record it; without one, a raw 4:2:0 picture (a compressed frame larger than its raw
// picture is damage), held to the main header's suggestion, which writers often set to a round
// figure for every chunk.
std::int32_t FrameBufferBytes(const StreamHeaders& h) {
  std::int64_t bytes = h.videoSuggested;
  if (bytes == 0) {
    const bool sized = h.width > 0 && h.height > 0 && h.width <= 8192 && h.height <= 8192;
    const std::int64_t raw = sized ? std::int64_t(h.width) * h.height * 3 / 2 : 0;
    bytes = raw > 0 && h.avihSuggested > 0 ? std::min<std::int64_t>(raw, h.avihSuggested)
                                           : std::max<std::int64_t>(raw, h.avihSuggested);
  }
  return static_cast<std::int32_t>(std::min(bytes, kMaxFrameBuffer));
}

bool ReadHeaders(Source& s) {
  std::uint8_t riff[12];
  if (s.stream.Read(riff, 12) != 12 || !IsId(riff, "RIFF") || !IsId(riff + 8, "AVI ")) {
    return false;
  }
  for (;;) {
    std::uint8_t h[12];
    std::int32_t available = 0;
    const std::uint8_t* p = s.stream.Peek(12, &available);
    if (p == nullptr || available < 12) return false;  // no movi list
    std::memcpy(h, p, 12);
    if (!PlausibleId(h)) return false;
    const std::uint32_t size = U32(h + 4);
    const std::int64_t body = std::int64_t(size) + (size & 1u);
    if (IsId(h, "LIST") && IsId(h + 8, "movi")) {
      s.stream.Skip(12);
      s.moviStart = s.stream.Position();
      return true;
    }
    if (IsId(h, "LIST") && IsId(h + 8, "hdrl")) {
      if (size < 4 || size > kMaxHeaderList) return false;
      s.stream.Skip(12);
      std::vector<std::uint8_t> block(size - 4);
      const auto got = s.stream.Read(block.data(), static_cast<std::int32_t>(block.size()));
      if (got != static_cast<std::int32_t>(block.size())) return false;
      if (size & 1u) s.stream.Skip(1);
      s.headers = StreamHeaders{};
      ParseStreamHeaders(block.data(), block.size(), s.headers);
      continue;
    }
    if (!s.stream.Skip(8 + body)) return false;
  }
}

void Describe(Source& s) {
  const StreamHeaders& h = s.headers;
  MediaInfo& info = s.info;
  if (h.videoStream >= 0) {
    std::memcpy(info.fourcc, h.fourcc, 4);
    info.width = h.width;
    info.height = h.height;
    if (h.videoScale != 0) info.framesPerSecond = double(h.videoRate) / double(h.videoScale);
    info.frameCount = HeaderFrameCount(h);
  }
  if (h.audioStream >= 0) {
    info.audioFormatTag = h.audioFormatTag;
    info.audioBytes = static_cast<std::int32_t>(HeaderAudioBytes(h));
  }
  info.largestFrameBytes = FrameBufferBytes(h);
  s.capacity = std::max(kDefaultFrameCapacity, info.largestFrameBytes);
  info.largeFrameBytes = LargeFrameBytes(info.framesPerSecond, info.frameCount, s.stream.Length());
}

void LimitQueues(Source& s) {
  while ((s.audioQueued > kAudioQueueBytes || s.audio.size() > kMaxQueuedChunks) &&
         !s.audio.empty()) {
    const QueuedAudio& a = s.audio.front();
    const auto left = static_cast<std::int64_t>(a.data.size() - a.offset);
    s.audioQueued -= left;
    s.audioPassed += left;
    s.audio.pop_front();
  }
  for (auto it = s.video.begin(); s.videoQueued > kVideoQueueBytes && it != s.video.end(); ++it) {
    s.videoQueued -= static_cast<std::int64_t>(it->data.size());
    it->data.clear();
    it->data.shrink_to_fit();
    it->key = false;
  }
  while (s.video.size() > kMaxQueuedChunks) {
    s.videoQueued -= static_cast<std::int64_t>(s.video.front().data.size());
    s.video.pop_front();
    ++s.lostFrames;
  }
}

// Reads one chunk of either stream into its queue; false at the end of the source.
bool Pump(Source& s) {
  if (s.ended) return false;
  const MediaChunk chunk = s.walker.Next();
  if (chunk.kind == ChunkKind::End) {
    s.ended = true;
    return false;
  }
  const bool wanted = chunk.kind == ChunkKind::Video ? s.info.frameCount > 0 : true;
  const bool fits = chunk.kind != ChunkKind::Video || chunk.size <= std::uint32_t(s.capacity);
  if (!wanted || !fits) {
    s.stream.Skip(chunk.size);
  }
  std::vector<std::uint8_t> data;
  if (wanted && fits) {
    data.resize(chunk.size);
    data.resize(std::size_t(s.stream.Read(data.data(), static_cast<std::int32_t>(chunk.size))));
  }
  s.walker.Finish(chunk);
  if (chunk.kind == ChunkKind::Audio) {
    if (!data.empty()) {
      s.audioQueued += static_cast<std::int64_t>(data.size());
      s.audio.push_back(QueuedAudio{std::move(data), 0, chunk.position});
    }
  } else if (wanted) {
    QueuedVideo frame;
    frame.key = IsKeyFramePayload(s.headers.fourcc, data.data(), data.size());
    frame.size = fits ? static_cast<std::uint32_t>(data.size()) : chunk.size;
    frame.position = chunk.position;
    s.videoQueued += static_cast<std::int64_t>(data.size());
    frame.data = std::move(data);
    if (s.exactNumbers && s.knownPositions.size() == std::size_t(s.nextChunkFrame) &&
        s.knownPositions.size() < kMaxKnownFrames) {
      s.knownPositions.push_back(chunk.position);
    }
    ++s.nextChunkFrame;
    s.video.push_back(std::move(frame));
  }
  LimitQueues(s);
  return true;
}

void NoteKeyFlag(Source& s, std::int32_t index, bool key) {
  if (index < 0 || std::size_t(index) >= kMaxKnownFrames) return;
  if (std::size_t(index) >= s.keyFlags.size()) s.keyFlags.resize(std::size_t(index) + 1, 0);
  s.keyFlags[std::size_t(index)] = key ? 1 : 0;
}

std::int32_t ReadVideoFrame(std::uint8_t* buffer, std::int32_t /*flag: every frame is read*/) {
  Source& s = S();
  Hold hold(s.lock);
  if (!s.open || s.info.frameCount <= 0) return 0;
  while (s.video.empty() && s.lostFrames == 0 && Pump(s)) {
  }
  const std::int32_t index = CurrentFrame(s).load();
  if (s.lostFrames > 0) {
    --s.lostFrames;
    NoteKeyFlag(s, index, false);
    if (index < INT32_MAX) CurrentFrame(s).store(index + 1);
    return 0;
  }
  if (s.video.empty()) {
    // Past the last frame a read delivers nothing but still counts, so a reader thread that
    // counts to frameCount ends.
    if (index < s.info.frameCount) CurrentFrame(s).store(index + 1);
    return 0;
  }
  QueuedVideo frame = std::move(s.video.front());
  s.video.pop_front();
  s.videoQueued -= static_cast<std::int64_t>(frame.data.size());
  NoteKeyFlag(s, index, frame.key);
  if (index < INT32_MAX) CurrentFrame(s).store(index + 1);
  s.lastVideoPosition = frame.position;
  if (buffer == nullptr || frame.data.empty() || frame.data.size() != frame.size) return 0;
  std::memcpy(buffer, frame.data.data(), frame.data.size());
  return static_cast<std::int32_t>(frame.data.size());
}

std::int32_t ReadAudio(std::uint8_t* buffer, std::int32_t count) {
  Source& s = S();
  Hold hold(s.lock);
  if (!s.open || buffer == nullptr || count < 1 || s.headers.audioStream < 0) return 0;
  std::int32_t total = 0;
  while (total < count) {
    if (s.audio.empty()) {
      if (!Pump(s)) break;
      continue;
    }
    QueuedAudio& a = s.audio.front();
    const std::size_t n =
        std::min<std::size_t>(std::size_t(count - total), a.data.size() - a.offset);
    std::memcpy(buffer + total, a.data.data() + a.offset, n);
    a.offset += n;
    total += static_cast<std::int32_t>(n);
    s.audioQueued -= static_cast<std::int64_t>(n);
    s.audioPassed += static_cast<std::int64_t>(n);
    if (a.offset == a.data.size()) s.audio.pop_front();
  }
  return total;
}

// The frame number of a chunk at position: exact when it was read in this run, else estimated
// from its place among the bytes.
std::int32_t FrameAt(const Source& s, std::int64_t position, double fraction) {
  const auto& known = s.knownPositions;
  if (s.exactNumbers && !known.empty() && position <= known.back()) {
    const auto it = std::lower_bound(known.begin(), known.end(), position);
    if (it != known.end() && *it == position) return static_cast<std::int32_t>(it - known.begin());
  }
  const auto frame = static_cast<std::int64_t>(double(s.info.frameCount) * fraction);
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(frame, 0, s.info.frameCount - 1));
}

// Jumps by byte position to the next key frame (or, without video, the next audio chunk). A
// source that cannot seek, or one without a seek point after the place, keeps its position:
// the result is then the audio left from where it stands.
std::int32_t SeekPercent(std::int32_t percent) {
  Source& s = S();
  Hold hold(s.lock);
  if (!s.open) return 0;
  percent = std::clamp(percent, 0, 100);
  const bool hasVideo = s.info.frameCount > 0;
  const std::int64_t end = s.stream.Length();
  if ((!hasVideo && s.info.audioBytes <= 0) || end <= s.moviStart) return Remaining(s);
  const std::int64_t before = s.stream.Position();
  const std::int64_t target = s.moviStart + (end - s.moviStart) * percent / 100;
  if (!s.stream.JumpTo(target)) return Remaining(s);
  if (!s.walker.FindSeekPoint(!hasVideo)) {
    s.stream.JumpTo(before);
    return Remaining(s);
  }
  const std::int64_t landing = s.stream.Position();
  const double fraction = double(landing - s.moviStart) / double(end - s.moviStart);
  ClearQueues(s);
  s.ended = false;
  if (hasVideo) {
    const std::int32_t frame = FrameAt(s, landing, fraction);
    const bool exact = s.exactNumbers && !s.knownPositions.empty() &&
                       std::size_t(frame) < s.knownPositions.size() &&
                       s.knownPositions[std::size_t(frame)] == landing;
    s.exactNumbers = exact;
    s.nextChunkFrame = frame;
    if (!exact) s.knownPositions.clear();
    CurrentFrame(s).store(frame);
    s.lastVideoPosition = landing;
    s.audioPassed = std::int64_t(double(s.info.audioBytes) * frame / s.info.frameCount);
  } else {
    s.audioPassed = std::int64_t(double(s.info.audioBytes) * fraction);
  }
  return Remaining(s);
}

// Audio read ahead of the picture (fast forward reads frames only) is dropped up to the frame
// now shown; the audio left is what the frame position leaves of the total.
std::int32_t SyncAudioToVideo() {
  Source& s = S();
  Hold hold(s.lock);
  if (!s.open || s.headers.audioStream < 0) return 0;
  while (!s.audio.empty() && s.audio.front().position < s.lastVideoPosition) {
    const QueuedAudio& a = s.audio.front();
    s.audioQueued -= static_cast<std::int64_t>(a.data.size() - a.offset);
    s.audio.pop_front();
  }
  if (s.info.frameCount > 0) {
    s.audioPassed =
        std::int64_t(double(s.info.audioBytes) * CurrentFrame(s).load() / s.info.frameCount);
  }
  return Remaining(s);
}

double GetPositionPercent() {
  Source& s = S();
  if (s.info.frameCount > 0) return CurrentFrame(s).load() * 100.0 / s.info.frameCount;
  if (s.info.audioBytes > 0) return double(s.audioPassed.load()) * 100.0 / s.info.audioBytes;
  return 0.0;
}

// Frames not yet read are not known to be key frames.
std::int32_t IsKeyFrame(std::int32_t frameIndex) {
  Source& s = S();
  Hold hold(s.lock);
  if (frameIndex < 0 || std::size_t(frameIndex) >= s.keyFlags.size()) return 0;
  return s.keyFlags[std::size_t(frameIndex)];
}

std::int32_t Close() {
  Source& s = S();
  Hold hold(s.lock);
  if (!s.open) return 1;
  if (s.io.close != nullptr) s.io.close();
  s.stream.Detach();
  s.loader.Unload();
  s.io = reader::InputIo{};
  ClearQueues(s);
  s.keyFlags.clear();
  s.keyFlags.shrink_to_fit();
  s.knownPositions.clear();
  s.knownPositions.shrink_to_fit();
  s.open = false;
  return 1;
}

void Reset(Source& s) {
  s.info = MediaInfo{};
  s.headers = StreamHeaders{};
  s.ended = false;
  s.moviStart = 0;
  s.capacity = kDefaultFrameCapacity;
  ClearQueues(s);
  s.audioPassed = 0;
  s.lastVideoPosition = 0;
  s.keyFlags.clear();
  s.knownPositions.clear();
  s.exactNumbers = true;
  s.nextChunkFrame = 0;
}

std::int32_t OpenLoaded(Source& s, const char16_t* path, std::int32_t cacheParameter,
                        MediaInfo** info) {
  const std::int32_t length = s.io.open(path, 0, 0, 4000000, cacheParameter);
  if (length == 0) return 0;
  s.open = true;
  // Too short to hold an AVI header means the module does not know the length.
  s.stream.Attach(s.io, 0, length > 12 ? length : -1);
  if (!ReadHeaders(s)) {
    Close();
    return 0;
  }
  Describe(s);
  s.walker.Start(&s.stream, s.headers.videoStream, s.headers.audioStream, s.headers.fourcc);
  if (info != nullptr) *info = &s.info;
  return 1;
}

// A failed open keeps nothing: the record is valid only for an open source.
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

}  // namespace mivora::avistream
