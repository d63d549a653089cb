#include "decoder/display_order.h"

#include <cstring>
#include <new>

namespace mivora::decoder {
namespace {

constexpr std::uint8_t kBlackY = 16;
constexpr std::uint8_t kBlackChroma = 128;
constexpr int kSlots = 3;  // the spares

std::size_t PlaneBytes(const PictureStore& store) {
  return static_cast<std::size_t>(store.stride) * static_cast<std::size_t>(store.paddedHeight);
}

// The first byte of each plane of a picture of the store's layout, border included.
struct PlaneStarts {
  std::uint8_t *y, *u, *v;
};

PlaneStarts Starts(const PictureStore& store, const Picture& p) {
  const std::ptrdiff_t s = store.stride, c = store.stride / 2;
  return {p.y - kLumaBorder * s - kLumaBorder, p.u - kChromaBorder * c - kChromaBorder,
          p.v - kChromaBorder * c - kChromaBorder};
}

bool Same(const Picture& a, const Picture& b) {
  return a.y == b.y;
}

bool Busy(const DisplayOrder& order, const Picture& p) {
  if (Same(order.shown, p)) return true;
  for (int i = 0; i < order.waitingCount; ++i)
    if (Same(order.waiting[i], p)) return true;
  return false;
}

void DropOldest(DisplayOrder& order) {
  if (order.waitingCount == 0) return;
  order.waiting[0] = order.waiting[1];
  --order.waitingCount;
}

}  // namespace

bool BeginDelayedOrder(DisplayOrder& order, const PictureStore& store) {
  if (order.delayed) return true;
  if (!store.buffer) return false;
  const std::size_t d = PlaneBytes(store);
  const std::size_t slot = d + d / 2;
  auto* buffer = new (std::nothrow) std::uint8_t[kSlots * slot];
  if (!buffer) return false;
  delete[] order.buffer;
  order.buffer = buffer;
  order.bytes = kSlots * slot;
  const std::size_t s = static_cast<std::size_t>(store.stride);
  Picture slots[kSlots];
  for (int i = 0; i < kSlots; ++i) {
    std::uint8_t* base = buffer + i * slot;
    std::memset(base, kBlackY, d);
    std::memset(base + d, kBlackChroma, d / 2);
    slots[i] = {base + 32 * s + 32, base + d + 8 * s + 16, base + d + d / 4 + 8 * s + 16};
  }
  for (int i = 0; i < kSlots; ++i) order.spare[i] = slots[i];
  order.delayed = true;
  order.waitingCount = 0;
  order.shown = Picture{};
  return true;
}

void ReleaseDisplayOrder(DisplayOrder& order) {
  delete[] order.buffer;
  order = DisplayOrder{};
}

Picture TakeSpare(DisplayOrder& order) {
  for (;;) {
    for (const Picture& p : order.spare)
      if (!Busy(order, p)) return p;
    // Only a stream that never lets the queue drain gets here; its oldest picture is lost.
    if (order.waitingCount == 0) return order.spare[0];
    DropOldest(order);
  }
}

void PrepareReferenceTarget(DisplayOrder& order, PictureStore& store) {
  if (!order.delayed || !Busy(order, store.current)) return;
  const Picture spare = TakeSpare(order);
  // The target must keep its samples: macroblocks not coded in two reference pictures in a row are
  // left as they are.
  const std::size_t d = PlaneBytes(store);
  const PlaneStarts from = Starts(store, store.current), to = Starts(store, spare);
  std::memcpy(to.y, from.y, d);
  std::memcpy(to.u, from.u, d / 4);
  std::memcpy(to.v, from.v, d / 4);
  for (Picture& p : order.spare)
    if (Same(p, spare)) p = store.current;
  store.current = spare;
}

void Queue(DisplayOrder& order, const Picture& picture) {
  if (order.waitingCount == 2) DropOldest(order);
  order.waiting[order.waitingCount++] = picture;
}

void QueueOlderReference(DisplayOrder& order, const PictureStore& store) {
  if (order.referencePending) Queue(order, store.current);
  order.referencePending = true;
}

bool HandOut(DisplayOrder& order, const PictureStore& store, DecodedFrame* frame) {
  if (order.waitingCount == 0) return false;
  const Picture next = order.waiting[0];
  DropOldest(order);
  const Picture before = order.shown.y ? order.shown : next;
  order.shown = next;
  if (!frame) return true;
  frame->y = next.y;
  frame->u = next.u;
  frame->v = next.v;
  frame->strideY = store.stride;
  frame->strideU = store.stride >> 1;
  frame->strideV = store.stride >> 1;
  frame->prevY = before.y;
  frame->prevU = before.u;
  frame->prevV = before.v;
  return true;
}

void Flush(DisplayOrder& order, const PictureStore& store) {
  if (!order.referencePending) return;
  order.referencePending = false;
  Queue(order, store.reference);
}

}  // namespace mivora::decoder
