// The frame supply of the presentation loop: queued mode, where a reader thread reads compressed
// frames ahead into a pool of 20 entries linked first in, first out, and direct mode, where each
// take reads the next frame from the source into one buffer.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/sync.h"

namespace mivora {

inline constexpr std::int32_t kQueuedDepth = 20;
inline constexpr std::int32_t kDirectDepth = 1;
inline constexpr std::int32_t kFrameBufferBytes = 48000;

struct QueuedFrame {
  std::atomic<std::int8_t> inUse{0};  // 1 from the reader's fill until the release
  std::vector<std::uint8_t> data;     // the compressed frame (capacity: FrameCapacity())
  std::int32_t size = 0;              // bytes the read returned
  std::int32_t large = 0;             // size > the source's largeFrameBytes
  std::int32_t frameIndex = 0;        // 0-based index in the video stream
  std::atomic<QueuedFrame*> next{nullptr};
};

// One taken frame.
struct TakenFrame {
  const std::uint8_t* data = nullptr;  // null: none
  std::int32_t size = 0;
  std::int32_t large = 0;
  std::int32_t frameIndex = 0;
};

// The installed supply (queued or direct), per item.
struct FrameSupply {
  TakenFrame (*TakeFrame)(std::int32_t readFlag) = nullptr;
  void (*ReleaseFrame)() = nullptr;
  void (*SkipFrames)() = nullptr;
};
FrameSupply& Supply();
void InstallQueuedSupply();
void InstallDirectSupply();

// Sizes the pool entries and the direct buffer for frames of up to bytes (at least 48,000).
// Called by the loading step while no thread of an item runs; false when memory runs out.
bool PrepareFrameBuffers(std::int32_t bytes);
std::int32_t FrameCapacity();
// The direct buffer, also used by fast forward and the paused capture.
std::uint8_t* DirectFrameBuffer();

void ReaderThread();
// Held by the reader while it fills and appends an entry; whoever empties the queue or reads the
// source beside it (flush, paused capture) holds it too, so frames keep their order.
std::mutex& ReaderFillLock();
void FlushQueue();
// Held by whoever takes from or empties the queue (the presentation loop, the paused capture on
// the user-interface thread, the flush), so a frame being decoded is never released and refilled
// under its decoder. Taken before ReaderFillLock and the decode lock.
platform::RecursiveMutex& TakeLock();

}  // namespace mivora
