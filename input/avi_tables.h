// The two index tables of the AVI reader: one record per video frame, one per audio chunk.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace mivora::avi {

struct VideoFrameEntry {
  std::uint32_t position;  // first byte of the frame's data in the file
  std::uint32_t size;
  std::uint8_t keyFrame;  // 1 or 0
};

struct AudioChunkEntry {
  std::uint32_t position;  // first byte of the chunk's data in the file
  std::uint32_t size;
  std::uint32_t start;  // audio bytes in all earlier chunks
};

// One heap block of records that grows in steps of 100,000 records and is shrunk to the exact
// count once the index is read. Allocation failures are reported, never thrown.
template <typename Entry>
struct EntryTable {
  static constexpr std::int32_t kStep = 100000;

  Entry* records = nullptr;
  std::int32_t count = 0;
  std::int32_t room = 0;

  bool Reserve(std::int32_t wanted) {
    void* grown = std::realloc(records, sizeof(Entry) * static_cast<std::size_t>(wanted));
    if (grown == nullptr) return false;
    records = static_cast<Entry*>(grown);
    room = wanted;
    return true;
  }
  bool Append(const Entry& entry) {
    if (count == room && (count > INT32_MAX - kStep || !Reserve(count + kStep))) return false;
    records[count++] = entry;
    return true;
  }
  void Shrink() {
    if (count > 0 && count < room) Reserve(count);  // a failed shrink keeps the larger block
  }
  void Free() {
    std::free(records);
    records = nullptr;
    count = room = 0;
  }
  bool Has(std::int32_t i) const { return records != nullptr && i >= 0 && i < count; }
};

}  // namespace mivora::avi
