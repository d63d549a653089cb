#include "platform/display_memory.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace mivora::platform {

namespace {

// The display in force is one immutable record behind an atomic pointer, so a reader on any
// thread sees memory and geometry of the same moment without a lock. Records and buffers are
// retired, never freed: a change happens when an item opens or its mode changes, a handful of
// times per item, and the buffers only grow.
struct DisplayRecord {
  std::uint16_t* memory;
  std::int64_t capacity;
  DisplayGeometry geometry;
};

std::uint16_t gHandheldDisplay[kDisplayPixels];  // zero-initialised: black
const DisplayRecord gFirstRecord{gHandheldDisplay, kDisplayPixels, kHandheldGeometry};
std::atomic<const DisplayRecord*> gCurrent{&gFirstRecord};

std::mutex& ChangeLock() {
  static std::mutex lock;
  return lock;
}
struct Retired {
  std::vector<std::unique_ptr<std::uint16_t[]>> buffers;
  std::vector<std::unique_ptr<DisplayRecord>> records;
};
Retired& Kept() {
  static Retired* kept = new Retired;  // lives as long as the process: readers may still hold them
  return *kept;
}

constexpr std::int64_t kMaxPixels = std::int64_t(kMaxDisplayWidth) * kMaxDisplayHeight;

// Publishes a new record; the caller holds ChangeLock.
void Publish(std::uint16_t* memory, std::int64_t capacity, const DisplayGeometry& geometry) {
  auto record = std::make_unique<DisplayRecord>(DisplayRecord{memory, capacity, geometry});
  gCurrent.store(record.get(), std::memory_order_release);
  Kept().records.push_back(std::move(record));
}

// Grows the memory to hold pixels; the caller holds ChangeLock. The old pixels are copied so the
// picture on show stays while a larger item takes over.
bool Grow(std::int64_t pixels, const DisplayRecord& now, std::uint16_t*& memory,
          std::int64_t& capacity) {
  memory = now.memory;
  capacity = now.capacity;
  if (pixels <= capacity) return true;
  if (pixels > kMaxPixels) return false;
  std::unique_ptr<std::uint16_t[]> buffer(new (std::nothrow) std::uint16_t[std::size_t(pixels)]());
  if (!buffer) return false;
  std::copy(now.memory, now.memory + now.capacity, buffer.get());
  memory = buffer.get();
  capacity = pixels;
  Kept().buffers.push_back(std::move(buffer));
  return true;
}

}  // namespace

DisplaySnapshot CurrentDisplay() {
  const DisplayRecord* r = gCurrent.load(std::memory_order_acquire);
  return {r->memory, r->geometry, r->capacity};
}

DisplayGeometry CurrentDisplayGeometry() {
  return gCurrent.load(std::memory_order_acquire)->geometry;
}

bool ValidDisplayGeometry(const DisplayGeometry& g) {
  return g.width >= 1 && g.height >= 1 && g.width <= g.pitch && g.width <= kMaxDisplayWidth &&
         g.height <= kMaxDisplayHeight && g.pitch <= 2 * kMaxDisplayWidth &&
         g.Pixels() <= kMaxPixels;
}

bool ReserveDisplayMemory(std::int64_t pixels) {
  std::lock_guard<std::mutex> hold(ChangeLock());
  const DisplayRecord& now = *gCurrent.load(std::memory_order_acquire);
  std::uint16_t* memory;
  std::int64_t capacity;
  if (!Grow(pixels, now, memory, capacity)) return false;
  if (memory != now.memory) Publish(memory, capacity, now.geometry);
  return true;
}

bool SetDisplayGeometry(const DisplayGeometry& geometry) {
  if (!ValidDisplayGeometry(geometry)) return false;
  std::lock_guard<std::mutex> hold(ChangeLock());
  const DisplayRecord& now = *gCurrent.load(std::memory_order_acquire);
  if (now.geometry == geometry) return true;
  std::uint16_t* memory;
  std::int64_t capacity;
  if (!Grow(geometry.Pixels(), now, memory, capacity)) return false;
  Publish(memory, capacity, geometry);
  return true;
}

std::uint16_t* DisplayMemory() {
  return gCurrent.load(std::memory_order_acquire)->memory;
}

std::int64_t DisplayPixels() {
  return gCurrent.load(std::memory_order_acquire)->geometry.Pixels();
}

std::uint16_t* DisplayDestination(std::int32_t startOffset) {
  const DisplayRecord* r = gCurrent.load(std::memory_order_acquire);
  if (startOffset < 0 || startOffset >= r->geometry.Pixels()) return nullptr;
  return r->memory + startOffset;
}

void ClearDisplayMemory() {
  const DisplayRecord* r = gCurrent.load(std::memory_order_acquire);
  std::fill(r->memory, r->memory + r->capacity, 0);
}

}  // namespace mivora::platform
