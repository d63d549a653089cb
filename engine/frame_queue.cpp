#include "engine/frame_queue.h"

#include <array>
#include <mutex>

#include "engine/player_state.h"
#include "engine/presentation.h"

namespace mivora {

namespace {

std::array<QueuedFrame, kQueuedDepth>& Pool() {
  static std::array<QueuedFrame, kQueuedDepth> pool;
  return pool;
}
std::vector<std::uint8_t>& DirectBuffer() {
  static std::vector<std::uint8_t> buffer(kFrameBufferBytes);
  return buffer;
}
// Set when an entry is released or the queue emptied: a reader with a full queue waits on it
// (bounded, so a pause or a stop is seen soon) instead of polling every millisecond.
platform::Event& Room() {
  static platform::Event room;
  return room;
}

std::int32_t& Capacity() {
  static std::int32_t capacity = kFrameBufferBytes;
  return capacity;
}

bool IsLarge(std::int32_t size) {
  const MediaInfo* info = State().info.load();
  return info != nullptr && size > info->largeFrameBytes;
}

void Append(QueuedFrame* entry, platform::RecursiveMutex& bufferEmpty) {
  PlayerState& s = State();
  // Always under the lock the taking side releases under. Linking behind the last entry while a
  // release takes it off the queue would leave the head empty and this entry unreachable: a
  // frame neither shown nor counted as dropped (seen under ThreadSanitizer's slowness).
  std::lock_guard<platform::RecursiveMutex> hold(bufferEmpty);
  if (s.queueHead.load() != nullptr) {
    s.queueTail.load()->next.store(entry);
  } else {
    s.queueHead.store(entry);
  }
  s.queueTail.store(entry);
}

TakenFrame TakeQueued(std::int32_t /*readFlag*/) {
  PlayerState& s = State();
  // Yield while the reader is about to deliver; a queue that stays empty (the reader pauses with
  // the player) is polled each millisecond instead of spinning a core.
  // A paused reader delivers nothing more: an empty queue then yields no frame.
  for (int spins = 0; s.queuedFrames.load() == 0 && !s.stopRequested.load(); ++spins) {
    if (s.paused.load() && spins >= 200) return {};
    platform::Sleep(spins < 200 ? 0 : 1);
  }
  if (s.stopRequested.load()) return {};
  QueuedFrame* head = s.queueHead.load();
  if (head == nullptr) return {};
  return TakenFrame{head->data.data(), head->size, head->large, head->frameIndex};
}

void ReleaseQueued() {
  PlayerState& s = State();
  auto bufferEmpty = OpenNamedObjects().eventBufferEmpty;
  // The reader may be appending behind this very entry; a lock it holds too long is not waited
  // for without end.
  const bool locked = bufferEmpty->Lock(1000);
  QueuedFrame* head = s.queueHead.load();
  if (head != nullptr) {
    s.queueHead.store(head->next.load());
    head->next.store(nullptr);
    head->inUse.store(0);
  }
  if (locked) bufferEmpty->Unlock();
  if (head != nullptr) s.queuedFrames.fetch_sub(1);
  Room().Set();
}

TakenFrame TakeDirect(std::int32_t readFlag) {
  PlayerState& s = State();
  std::uint8_t* buffer = DirectBuffer().data();
  const std::int32_t size = s.source.ReadVideoFrame(buffer, readFlag);
  if (size <= 0) return {};
  const MediaInfo* info = s.info.load();
  const std::int32_t index =
      info != nullptr
          ? std::atomic_ref<std::int32_t>(const_cast<MediaInfo*>(info)->currentFrame).load() - 1
          : 0;
  return TakenFrame{buffer, size, IsLarge(size) ? 1 : 0, index};
}

void ReleaseDirect() {}

}  // namespace

FrameSupply& Supply() {
  static FrameSupply supply;
  return supply;
}

void InstallQueuedSupply() {
  Supply() = FrameSupply{&TakeQueued, &ReleaseQueued, &SkipFramesQueued};
  State().queueDepth = kQueuedDepth;
}

void InstallDirectSupply() {
  Supply() = FrameSupply{&TakeDirect, &ReleaseDirect, &SkipFramesDirect};
  State().queueDepth = kDirectDepth;
}

bool PrepareFrameBuffers(std::int32_t bytes) {
  const std::int32_t capacity = bytes > kFrameBufferBytes ? bytes : kFrameBufferBytes;
  bool sized = capacity == Capacity() && DirectBuffer().size() == std::size_t(capacity);
  for (const QueuedFrame& entry : Pool())
    sized = sized && entry.data.size() == std::size_t(capacity);
  if (sized) return true;
  try {
    for (QueuedFrame& entry : Pool()) entry.data.assign(std::size_t(capacity), 0);
    DirectBuffer().assign(std::size_t(capacity), 0);
  } catch (const std::bad_alloc&) {
    for (QueuedFrame& entry : Pool()) entry.data.assign(std::size_t(kFrameBufferBytes), 0);
    DirectBuffer().assign(std::size_t(kFrameBufferBytes), 0);
    Capacity() = kFrameBufferBytes;
    return false;
  }
  Capacity() = capacity;
  return true;
}

std::int32_t FrameCapacity() {
  return Capacity();
}

std::uint8_t* DirectFrameBuffer() {
  return DirectBuffer().data();
}

void ReaderThread() {
  PlayerState& s = State();
  NamedObjects named = OpenNamedObjects();
  // The loading step clears readerStopRequested before it starts this thread: a stop asked for
  // before the thread got going still holds.
  auto& pool = Pool();
  MediaInfo* info = s.info.load();
  while (std::atomic_ref<std::int32_t>(info->currentFrame).load(std::memory_order_relaxed) <
         info->frameCount) {
    if (s.paused.load()) {
      platform::Sleep(1);
    } else if (s.queuedFrames.load() >= s.queueDepth.load()) {
      Room().Reset();
      if (s.queuedFrames.load() >= s.queueDepth.load()) Room().Wait(20);
    } else {
      QueuedFrame* entry = nullptr;
      for (auto& candidate : pool) {
        if (candidate.inUse.load() == 0) {
          entry = &candidate;
          break;
        }
      }
      std::lock_guard<std::mutex> hold(ReaderFillLock());
      if (entry != nullptr && !s.paused.load()) {
        entry->inUse.store(1);
        const std::int32_t size = s.source.ReadVideoFrame(entry->data.data(), 0);
        entry->size = size > 0 ? size : 0;
        entry->large = IsLarge(size) ? 1 : 0;
        entry->frameIndex =
            std::atomic_ref<std::int32_t>(info->currentFrame).load(std::memory_order_relaxed) - 1;
        entry->next.store(nullptr);
        Append(entry, *named.eventBufferEmpty);
        s.queuedFrames.fetch_add(1);
      }
    }
    if (s.readerStopRequested.load()) break;
  }
  named.eventReadStopped->Set();
  s.readerThreadId = 0;
}

std::mutex& ReaderFillLock() {
  static std::mutex lock;
  return lock;
}

platform::RecursiveMutex& TakeLock() {
  static platform::RecursiveMutex lock;
  return lock;
}

void FlushQueue() {
  PlayerState& s = State();
  std::lock_guard<platform::RecursiveMutex> taking(TakeLock());
  // A reader that saw the player playing just before a pause may still be filling an entry.
  std::lock_guard<std::mutex> hold(ReaderFillLock());
  const bool decoding = s.presentationThreadId.load() != 0;
  for (QueuedFrame* entry = s.queueHead.load(); entry != nullptr;) {
    if (decoding) DecodeAndShow(entry->data.data(), entry->size, nullptr, 0, 0, 1);
    QueuedFrame* next = entry->next.load();
    entry->next.store(nullptr);
    entry->inUse.store(0);
    s.queueHead.store(next);
    entry = next;
  }
  s.queueTail.store(nullptr);
  s.queuedFrames.store(0);
  Room().Set();
}

}  // namespace mivora
