#include "input/avi_index.h"

#include "input/little_endian.h"

namespace mivora::avi {

namespace {
constexpr std::uint32_t kBlockEntries = 1000;
constexpr std::uint32_t kKeyFrameFlag = 0x10;

// Positions are handed to a 32-bit seek, so anything beyond that limit cannot be read.
std::uint32_t DataPosition(std::int64_t moviBase, std::uint32_t offset, std::uint32_t& size) {
  const std::int64_t position = moviBase + std::int64_t(offset) + 4;
  if (position < 0 || position > INT32_MAX) {
    size = 0;
    return 0;
  }
  return static_cast<std::uint32_t>(position);
}
}  // namespace

bool ReadIndex(const InputIo& io, std::uint32_t entryCount, std::int64_t moviBase,
               IndexTables& tables) {
  tables.Free();
  if (!tables.video.Reserve(EntryTable<VideoFrameEntry>::kStep) ||
      !tables.audio.Reserve(EntryTable<AudioChunkEntry>::kStep)) {
    tables.Free();
    return false;
  }
  std::uint8_t block[kBlockEntries * 16];
  std::uint32_t left = entryCount;
  while (true) {
    const std::uint32_t inBlock = left < kBlockEntries ? left : kBlockEntries;
    const std::int32_t wanted = static_cast<std::int32_t>(inBlock * 16);
    if (io.read(block, wanted) != wanted) break;  // short block: its entries are dropped
    for (std::uint32_t e = 0; e < inBlock; ++e) {
      const std::uint8_t* entry = block + e * 16;
      std::uint32_t size = ReadU32(entry + 12);
      if (entry[2] == 'd') {
        const std::uint32_t position = DataPosition(moviBase, ReadU32(entry + 8), size);
        const std::uint8_t key = (ReadU32(entry + 4) & kKeyFrameFlag) != 0 ? 1 : 0;
        if (!tables.video.Append({position, size, key})) {
          tables.Free();
          return false;
        }
      } else if (entry[2] == 'w' && entry[3] == 'b') {
        const std::uint32_t position = DataPosition(moviBase, ReadU32(entry + 8), size);
        // start is counted by FitIndexToLength, which every open calls.
        if (!tables.audio.Append({position, size, 0})) {
          tables.Free();
          return false;
        }
      }
    }
    left -= inBlock;
    if (left == 0) break;
  }
  tables.video.Shrink();
  tables.audio.Shrink();
  return true;
}

std::int32_t FitIndexToLength(IndexTables& tables, std::int64_t fileLength) {
  auto fit = [fileLength](std::uint32_t position, std::uint32_t& size) {
    if (fileLength < 0) return;
    if (position >= fileLength) {
      size = 0;
    } else if (std::int64_t(position) + size > fileLength) {
      size = static_cast<std::uint32_t>(fileLength - position);
    }
  };
  for (std::int32_t i = 0; i < tables.video.count; ++i) {
    VideoFrameEntry& v = tables.video.records[i];
    fit(v.position, v.size);
    if (v.size > INT32_MAX) v.size = 0;  // a frame size must fit the 32-bit result
  }
  std::int64_t total = 0;
  for (std::int32_t i = 0; i < tables.audio.count; ++i) {
    AudioChunkEntry& a = tables.audio.records[i];
    fit(a.position, a.size);
    if (total + a.size > INT32_MAX) a.size = 0;  // audioBytes is a 32-bit value
    a.start = static_cast<std::uint32_t>(total);
    total += a.size;
  }
  return static_cast<std::int32_t>(total);
}

}  // namespace mivora::avi
