// Read, seek, position and close operations of the built-in AVI reader. They work on the index
// tables alone; every seek-plus-read pair and every change of a read position runs under the
// source lock, because the engine calls them from several threads over one input handle.
#include "input/avi_reader.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "input/avi_state.h"

namespace mivora {

namespace avi {

namespace {

std::atomic<std::int32_t> g_frameCapacity{kDefaultFrameCapacity};
std::atomic<std::int64_t> g_reopenWait{-1};  // -1: not yet decided

constexpr std::uint32_t kWholeChunkRereadBytes = 1000;

using Hold = std::lock_guard<platform::RecursiveMutex>;

// The engine reads currentFrame directly while the reader advances it on another thread.
std::atomic_ref<std::int32_t> CurrentFrame(ReaderState& s) {
  return std::atomic_ref<std::int32_t>(s.info.currentFrame);
}

// Reads count bytes at position through the input; the bytes really delivered (0 when the
// seek fails).
std::int32_t ReadAt(const ReaderState& s, std::uint32_t position, std::uint8_t* buffer,
                    std::int32_t count) {
  if (count <= 0) return 0;
  if (s.io.seek(static_cast<std::int32_t>(position), 0) != std::int32_t(position)) return 0;
  const std::int32_t got = s.io.read(buffer, count);
  if (got < 0) return 0;
  return got > count ? count : got;
}

void NoteAudioPosition(ReaderState& s) {
  std::int64_t position = 0;
  if (s.tables.audio.Has(s.audioChunk)) {
    position = std::int64_t(s.tables.audio.records[s.audioChunk].start) + s.audioChunkOffset;
  }
  s.audioPosition.store(position, std::memory_order_relaxed);
}

// Chunk lo becomes the current one: the last chunk that starts at or before b. Chunks of
// 1,000 bytes or less are re-read from their first byte. Called under the lock.
std::int32_t SeekAudioToByte(ReaderState& s, std::int64_t b) {
  // An audio stream header without audio index entries leaves nothing to position in.
  if (s.audioChunkCount <= 0 || s.tables.audio.records == nullptr) return -1;
  if (b < 0) b = 0;
  std::int32_t lo = 0;
  std::int32_t hi = s.audioChunkCount;
  while (lo < hi - 1) {
    const std::int32_t mid = lo + (hi - lo) / 2;
    if (s.tables.audio.records[mid].start > b) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  const AudioChunkEntry& chunk = s.tables.audio.records[lo];
  s.audioChunk = lo;
  if (chunk.size > kWholeChunkRereadBytes) {
    // b may lie beyond the last chunk's end; the offset never passes its chunk's size.
    const std::int64_t offset = b - chunk.start;
    s.audioChunkOffset = static_cast<std::int32_t>(offset < chunk.size ? offset : chunk.size);
  } else {
    s.audioChunkOffset = 0;
  }
  NoteAudioPosition(s);
  return 0;
}

// Steps 4 and 5 of a seek: the audio byte that matches currentFrame. Under the lock.
std::int32_t SyncAudioLocked(ReaderState& s, std::int64_t h) {
  const std::int64_t audioBytes = s.info.audioBytes;
  if (h < 0) h = 0;
  if (h > audioBytes) h = audioBytes;
  // The remainder is added, not subtracted (5 gives 6): kept as the player always did it.
  const std::int64_t a = h + (h % 4);
  SeekAudioToByte(s, a);
  const std::int64_t remaining = audioBytes - a;
  return static_cast<std::int32_t>(remaining > 0 ? remaining : 0);
}

std::int64_t AudioByteForFrame(const ReaderState& s, std::int32_t frame) {
  if (s.info.frameCount <= 0) return 0;
  const double h = double(frame) / double(s.info.frameCount) * double(s.info.audioBytes);
  return static_cast<std::int64_t>(h);
}

// A source has audio when an audio stream header was found (stream numbers count from 0, so
// an audio-only file's audio is stream 0).
bool HasAudio(const ReaderState& s) {
  return s.streams.audioStream >= 0;
}

std::int32_t ReadAudio(std::uint8_t* buffer, std::int32_t count) {
  if (count < 1 || buffer == nullptr) return 0;
  ReaderState& s = State();
  // Held for the whole call: the position must not move under a seek between two pieces.
  Hold hold(s.lock);
  if (!s.open || !s.tables.audio.Has(s.audioChunk)) return 0;
  std::int32_t total = 0;
  while (count > 0) {
    const AudioChunkEntry& chunk = s.tables.audio.records[s.audioChunk];
    const std::int64_t left = std::int64_t(chunk.size) - s.audioChunkOffset;
    if (left <= 0) {
      if (s.audioChunk >= s.audioChunkCount - 1) break;
      ++s.audioChunk;
      s.audioChunkOffset = 0;
      continue;
    }
    const std::int32_t n = static_cast<std::int32_t>(left < count ? left : count);
    const std::int32_t got = ReadAt(
        s, chunk.position + static_cast<std::uint32_t>(s.audioChunkOffset), buffer + total, n);
    s.audioChunkOffset += got;
    total += got;
    count -= got;
    // The input delivered less than the index promised: report only what arrived, and resume
    // from there next time.
    if (got < n) break;
  }
  NoteAudioPosition(s);
  return total;
}

std::int32_t ReadVideoFrame(std::uint8_t* buffer, std::int32_t /*flag: not used here*/) {
  ReaderState& s = State();
  Hold hold(s.lock);
  const std::int32_t frame = CurrentFrame(s).load(std::memory_order_relaxed);
  // Past the table (the stream header may promise more frames than the index holds) a read
  // delivers nothing but still advances, so a reader that counts to frameCount ends.
  const std::int32_t end =
      s.info.frameCount > s.tables.video.count ? s.info.frameCount : s.tables.video.count;
  if (frame < end) CurrentFrame(s).store(frame + 1, std::memory_order_relaxed);
  if (!s.open || buffer == nullptr || !s.tables.video.Has(frame)) return 0;
  const VideoFrameEntry& entry = s.tables.video.records[frame];
  if (entry.size > std::uint32_t(AviReaderFrameCapacity())) return 0;  // would overrun
  return ReadAt(s, entry.position, buffer, static_cast<std::int32_t>(entry.size));
}

// First key frame at or after f; when none follows, the last one before f; when the index has
// no key frame at all, f itself (held inside the table).
std::int32_t KeyFrameFrom(const ReaderState& s, std::int32_t f) {
  const auto& video = s.tables.video;
  for (std::int32_t i = f; i < video.count; ++i) {
    if (video.records[i].keyFrame != 0) return i;
  }
  for (std::int32_t i = (f < video.count ? f : video.count) - 1; i >= 0; --i) {
    if (video.records[i].keyFrame != 0) return i;
  }
  return f < video.count ? f : video.count;
}

std::int32_t SeekPercent(std::int32_t percent) {
  ReaderState& s = State();
  Hold hold(s.lock);
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  // 64-bit: frameCount × percent overflows 32 bits beyond 21 million frames.
  const auto f = static_cast<std::int32_t>(std::int64_t(s.info.frameCount) * percent / 100);
  const std::int32_t frame = KeyFrameFrom(s, f);
  CurrentFrame(s).store(frame, std::memory_order_relaxed);
  if (!HasAudio(s)) return 1;
  // Without video the percentage places the audio directly.
  const std::int64_t h = s.info.frameCount > 0 ? AudioByteForFrame(s, frame)
                                               : std::int64_t(s.info.audioBytes) * percent / 100;
  return SyncAudioLocked(s, h);
}

// Without an audio stream nothing is moved and nothing remains: 0.
std::int32_t SyncAudioToVideo() {
  ReaderState& s = State();
  Hold hold(s.lock);
  if (!HasAudio(s)) return 0;
  if (s.info.frameCount <= 0) {
    // No video to follow: the audio stays where it is.
    const std::int64_t remaining =
        s.info.audioBytes - s.audioPosition.load(std::memory_order_relaxed);
    return static_cast<std::int32_t>(remaining > 0 ? remaining : 0);
  }
  return SyncAudioLocked(s, AudioByteForFrame(s, CurrentFrame(s).load(std::memory_order_relaxed)));
}

// Without video the audio position gives the percentage, so the slider still moves.
double GetPositionPercent() {
  ReaderState& s = State();
  if (s.info.frameCount > 0) {
    return CurrentFrame(s).load(std::memory_order_relaxed) * 100.0 / s.info.frameCount;
  }
  if (s.info.audioBytes > 0) {
    return double(s.audioPosition.load(std::memory_order_relaxed)) * 100.0 / s.info.audioBytes;
  }
  return 0.0;
}

std::int32_t IsKeyFrame(std::int32_t frameIndex) {
  const ReaderState& s = State();
  return s.tables.video.Has(frameIndex) ? s.tables.video.records[frameIndex].keyFrame : 0;
}

std::int32_t OpenOperation(const char16_t* path, std::int32_t mode, std::int32_t cacheParameter,
                           MediaInfo** info) {
  return Open(path, mode, cacheParameter, info);
}

std::int32_t CloseOperation() {
  return Close();
}

}  // namespace

ReaderState& State() {
  static ReaderState state;
  return state;
}

InputIo& SuppliedInput() {
  static InputIo io;
  return io;
}

std::int32_t Close() {
  ReaderState& s = State();
  Hold hold(s.lock);
  if (!s.open) return 1;
  s.io.close();
  s.tables.Free();
  s.audioChunkCount = 0;
  s.keyFrames = 0;
  if (s.module != nullptr) platform::FreeModule(s.module);
  s.module = nullptr;
  s.io = InputIo{};
  s.open = false;
  return 1;
}

std::uint32_t ReopenWait() {
  std::int64_t wait = g_reopenWait.load();
  if (wait < 0) {
    wait = 1000;
    if (const char* text = std::getenv("MIVORA_AVI_REOPEN_WAIT_MS")) {
      char* end = nullptr;
      const long value = std::strtol(text, &end, 10);
      if (end != text && value >= 0 && value <= 60000) wait = value;
    }
    std::int64_t undecided = -1;
    g_reopenWait.compare_exchange_strong(undecided, wait);
    wait = g_reopenWait.load();
  }
  return static_cast<std::uint32_t>(wait);
}

}  // namespace avi

void InitializeAviReader(MediaSource* table) {
  if (table == nullptr) return;
  table->Open = avi::OpenOperation;
  table->ReadAudio = avi::ReadAudio;
  table->ReadVideoFrame = avi::ReadVideoFrame;
  table->SeekPercent = avi::SeekPercent;
  table->SyncAudioToVideo = avi::SyncAudioToVideo;
  table->GetPositionPercent = avi::GetPositionPercent;
  table->Close = avi::CloseOperation;
  table->IsKeyFrame = avi::IsKeyFrame;
}

void SetAviReaderFrameCapacity(std::int32_t bytes) {
  avi::g_frameCapacity.store(bytes >= 1 ? bytes : kDefaultFrameCapacity);
}

std::int32_t AviReaderFrameCapacity() {
  return avi::g_frameCapacity.load();
}

void SetAviReaderReopenWait(std::uint32_t milliseconds) {
  avi::g_reopenWait.store(milliseconds);
}

void SetAviReaderInput(InputMediaOpenFn open, InputMediaReadFn read, InputMediaSeekFn seek,
                       InputMediaCloseFn close) {
  avi::ReaderState& s = avi::State();
  std::lock_guard<platform::RecursiveMutex> hold(s.lock);
  avi::SuppliedInput() = avi::InputIo{open, read, seek, close};
}

AviReaderCounts GetAviReaderCounts() {
  avi::ReaderState& s = avi::State();
  std::lock_guard<platform::RecursiveMutex> hold(s.lock);
  AviReaderCounts counts;
  if (!s.open) return counts;
  counts.videoEntries = s.tables.video.count;
  counts.keyFrames = s.keyFrames;
  counts.audioChunks = s.audioChunkCount;
  counts.largestFrameBytes = s.info.largestFrameBytes;
  return counts;
}

}  // namespace mivora
