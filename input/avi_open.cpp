// Open of the built-in AVI reader: loads the input module, walks the file's top-level chunks,
// parses the header list, reads the index and reopens the input for playing.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "input/avi_reader.h"
#include "input/avi_state.h"
#include "input/little_endian.h"
#include "platform/wide_string.h"

namespace mivora::avi {

namespace {

// Real header lists are a few kilobytes; a claimed size beyond this is damage, and refusing it
// keeps a corrupt size from turning into a huge allocation.
constexpr std::uint64_t kMaxHeaderList = 16u << 20;

// Input positions are 32-bit: a chunk reaching beyond that cannot be stepped over.
bool SeekTo(const InputIo& io, std::int64_t position) {
  if (position < 0 || position > INT32_MAX) return false;
  return io.seek(static_cast<std::int32_t>(position), 0) == position;
}

bool CheckHeader(const InputIo& io) {
  std::uint8_t header[12];
  return io.read(header, 12) == 12 && IsId(header, "RIFF") && IsId(header + 8, "AVI ");
}

// The top-level walk. Skips are absolute seeks from the tracked position (the same place as a
// relative skip, without trusting the module's idea of where a short read left it).
// hdrl: receives the last "hdrl" list body (malloc'd), or stays null.
bool WalkChunks(ReaderState& s, std::uint8_t*& hdrl, std::size_t& hdrlLength) {
  const InputIo& io = s.io;
  std::int64_t position = 12;
  while (true) {
    std::uint8_t chunk[8];
    if (io.read(chunk, 8) < 8) return true;  // end of file
    position += 8;
    const std::uint32_t size = ReadU32(chunk + 4);
    std::uint64_t body = std::uint64_t(size) + (size & 1u);
    if (IsId(chunk, "LIST")) {
      std::uint8_t type[4];
      if (io.read(type, 4) < 4) return false;
      position += 4;
      body = body >= 4 ? body - 4 : 0;
      if (IsId(type, "hdrl")) {
        std::free(hdrl);
        hdrl = nullptr;
        hdrlLength = 0;
        if (body > kMaxHeaderList) return false;
        hdrl = static_cast<std::uint8_t*>(std::malloc(body > 0 ? body : 1));
        if (hdrl == nullptr) return false;
        hdrlLength = static_cast<std::size_t>(body);
        if (io.read(hdrl, static_cast<std::int32_t>(body)) != static_cast<std::int32_t>(body)) {
          return false;
        }
        position += static_cast<std::int64_t>(body);
        continue;
      }
      if (IsId(type, "movi")) {
        const std::int32_t here = io.seek(0, 1);
        if (here < 0) return false;
        s.moviBase = here;
      }
    } else if (IsId(chunk, "idx1")) {
      // A later index replaces an earlier one (ReadIndex frees the old tables).
      const auto entries = static_cast<std::uint32_t>(body / 16);
      if (!ReadIndex(io, entries, s.moviBase, s.tables)) return false;
    }
    position += static_cast<std::int64_t>(body);
    if (!SeekTo(io, position)) return true;  // nothing readable lies beyond
  }
}

// Four times the average video bytes per frame, taking 4,000 audio bytes per second off the
// source's length. A rate of 0 leaves nothing to average: every frame then counts as large
// (0), which only costs the engine its skip-unchanged shortcut. A source shorter than one second
// counts as one second long.
std::int32_t LargeFrameBytes(double framesPerSecond, std::int32_t frameCount, std::int32_t length) {
  if (!(framesPerSecond > 0) || !std::isfinite(framesPerSecond)) return 0;
  const double spf = 1.0 / framesPerSecond;
  const double seconds = double(frameCount) * spf;
  std::int64_t d = seconds >= double(INT32_MAX) ? INT32_MAX : static_cast<std::int64_t>(seconds);
  if (d < 1) d = 1;
  const std::int64_t v = (std::int64_t(length) - d * 32000 / 8) / d;
  const double large = double(v) * spf * 4.0;
  if (!(large > 0)) return 0;
  return large >= double(INT32_MAX) ? INT32_MAX : static_cast<std::int32_t>(large);
}

// Stale fields of an earlier source are cleared so that a source without audio (or video)
// never inherits another's stream numbers or sizes.
void ClearSource(ReaderState& s) {
  s.info = MediaInfo{};
  s.streams = StreamChoice{};
  s.audioChunkCount = 0;
  s.audioChunk = 0;
  s.audioChunkOffset = 0;
  s.audioPosition.store(0, std::memory_order_relaxed);
  s.tables.Free();
  s.moviBase = 0;
  s.keyFrames = 0;
}

bool Parse(ReaderState& s) {
  const InputIo& io = s.io;
  if (!CheckHeader(io)) return false;
  std::uint8_t* hdrl = nullptr;
  std::size_t hdrlLength = 0;
  const bool walked = WalkChunks(s, hdrl, hdrlLength);
  if (walked) ParseHeaderList(hdrl, hdrlLength, s.info, s.streams);
  std::free(hdrl);
  if (!walked) return false;

  SeekTo(io, s.moviBase);
  io.close();
  const std::int32_t length = io.open(s.path, 0, 0, 4000000, s.cacheParameter);
  if (length == 0) return false;

  // The module reports the source's length; anything too small to hold an AVI header means it
  // does not know it, and only the 32-bit limits are applied then.
  s.info.audioBytes = FitIndexToLength(s.tables, length > 12 ? length : -1);
  s.audioChunkCount = s.tables.audio.count;
  for (std::int32_t i = 0; i < s.tables.video.count; ++i) {
    const VideoFrameEntry& v = s.tables.video.records[i];
    s.keyFrames += v.keyFrame;
    if (std::int32_t(v.size) > s.info.largestFrameBytes) s.info.largestFrameBytes = v.size;
  }
  s.info.largeFrameBytes = LargeFrameBytes(s.info.framesPerSecond, s.info.frameCount, length);
  // A stream header may promise more frames than the index holds (a damaged or cut file claims
  // two billion); every user of frameCount counts to it, so only indexed frames are promised.
  if (s.info.frameCount > s.tables.video.count) s.info.frameCount = s.tables.video.count;

  platform::Sleep(ReopenWait());
  SeekTo(io, s.moviBase);
  s.info.currentFrame = 0;
  return true;
}

}  // namespace

std::int32_t Open(const char16_t* path, std::int32_t mode, std::int32_t cacheParameter,
                  MediaInfo** info) {
  ReaderState& s = State();
  std::lock_guard<platform::RecursiveMutex> hold(s.lock);
  if (s.open) Close();  // a source left open is released, not leaked
  ClearSource(s);

  // The path must fit the 200-character copy; a shortened path would name another file.
  const std::size_t length = platform::WideLength(path);
  if (path == nullptr || length >= std::size_t(kPathCapacity)) return 0;
  std::memcpy(s.path, path, length * sizeof(char16_t));
  s.path[length] = 0;
  s.mode = mode;
  s.cacheParameter = cacheParameter;

  const InputIo& supplied = SuppliedInput();
  if (supplied.open != nullptr && supplied.read != nullptr && supplied.seek != nullptr &&
      supplied.close != nullptr) {
    s.io = supplied;
  } else {
    s.module = platform::LoadModule(mode != 0 ? u"InputMediaCache.dll" : u"InputMedia.dll");
    if (s.module == nullptr) return 0;
    s.io.read = platform::GetEntryPointAs<InputMediaReadFn>(s.module, u"InputMediaRead");
    s.io.seek = platform::GetEntryPointAs<InputMediaSeekFn>(s.module, u"InputMediaSeek");
    s.io.open = platform::GetEntryPointAs<InputMediaOpenFn>(s.module, u"InputMediaOpen");
    s.io.close = platform::GetEntryPointAs<InputMediaCloseFn>(s.module, u"InputMediaClose");
  }
  // A module without all four entry points, or one that cannot open the path, is not kept.
  if (s.io.read == nullptr || s.io.seek == nullptr || s.io.open == nullptr ||
      s.io.close == nullptr || s.io.open(path, 0, 0, -1, 1000000) == 0) {
    if (s.module != nullptr) platform::FreeModule(s.module);
    s.module = nullptr;
    s.io = InputIo{};
    return 0;
  }
  s.open = true;

  // A failed parse leaves the module loaded and the input open; the next Close releases them.
  const bool parsed = Parse(s);
  if (info != nullptr) *info = &s.info;
  return parsed ? 1 : 0;
}

}  // namespace mivora::avi
