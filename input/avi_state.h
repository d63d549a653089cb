// The AVI reader's one static instance, shared by its open and its read/seek operations.
#pragma once

#include <atomic>
#include <cstdint>

#include "input/avi_headers.h"
#include "input/avi_index.h"
#include "input/media_info.h"
#include "platform/module.h"
#include "platform/sync.h"

namespace mivora::avi {

inline constexpr std::int32_t kPathCapacity = 200;  // wide characters, terminator included

struct ReaderState {
  MediaInfo info;
  StreamChoice streams;
  std::int32_t audioChunkCount = 0;
  // Audio read position; changed only under the lock.
  std::int32_t audioChunk = 0;
  std::int32_t audioChunkOffset = 0;
  // Same position in bytes from the start of the audio, for the unlocked position query.
  std::atomic<std::int64_t> audioPosition{0};
  IndexTables tables;
  std::int64_t moviBase = 0;
  platform::RecursiveMutex lock;
  char16_t path[kPathCapacity] = {};
  std::int32_t mode = 0;
  std::int32_t cacheParameter = 0;
  platform::ModuleHandle module = nullptr;
  InputIo io;
  bool open = false;  // io is in use: from a loaded module or a caller's input
  std::int32_t keyFrames = 0;
};

ReaderState& State();

// Set by SetAviReaderInput: used in place of the module when complete.
InputIo& SuppliedInput();

// Operations of the table, defined in avi_open.cpp and avi_reader.cpp.
std::int32_t Open(const char16_t* path, std::int32_t mode, std::int32_t cacheParameter,
                  MediaInfo** info);
std::int32_t Close();
std::uint32_t ReopenWait();

}  // namespace mivora::avi
