// The "idx1" index of an AVI file, turned into the video and audio tables.
#pragma once

#include <cstdint>

#include "input/avi_tables.h"
#include "input/input_module.h"

namespace mivora::avi {

// The four entry points of the loaded input module.
struct InputIo {
  InputMediaOpenFn open = nullptr;
  InputMediaReadFn read = nullptr;
  InputMediaSeekFn seek = nullptr;
  InputMediaCloseFn close = nullptr;
};

struct IndexTables {
  EntryTable<VideoFrameEntry> video;
  EntryTable<AudioChunkEntry> audio;
  void Free() {
    video.Free();
    audio.Free();
  }
};

// Reads the index body (entryCount entries of 16 bytes) from the input's current position into
// fresh tables. A block that comes back short ends the reading early and keeps what came before.
// False only when the tables cannot be allocated or grown; both are then freed.
bool ReadIndex(const InputIo& io, std::uint32_t entryCount, std::int64_t moviBase,
               IndexTables& tables);

// Makes the tables safe to read through: entries that start outside a file of fileLength bytes
// get size 0, entries that run past its end are cut at it, and the audio starts are counted
// again so that their total stays a 32-bit value. fileLength < 0: length unknown, only the
// 32-bit limits apply. Returns the audio total.
std::int32_t FitIndexToLength(IndexTables& tables, std::int64_t fileLength);

}  // namespace mivora::avi
