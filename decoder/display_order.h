// Streams with B pictures: the spare pictures B pictures are decoded into, and the order in which
// decoded pictures are handed out. Each B picture comes between its two reference pictures in
// display order but after both in the stream, so with B pictures every picture goes out one chunk
// late: a reference picture when the next one has been decoded, a B picture at once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/picture.h"

namespace mivora::decoder {

struct DisplayOrder {
  bool delayed = false;  // pictures go out one chunk late
  // Spare pictures of the store's layout: three that B pictures (or a reference picture whose
  // buffer is still on show) are decoded into.
  std::uint8_t* buffer = nullptr;
  std::size_t bytes = 0;
  Picture spare[3]{};
  // Decoded, waiting to be handed out, oldest first. At most two: a chunk that holds a reference
  // and a B picture adds both, and every chunk takes one.
  Picture waiting[2]{};
  int waitingCount = 0;
  Picture shown{};                // handed out last; its samples stay until another is
  bool referencePending = false;  // the store's reference picture has not been queued yet
  int anchors = 0;                // reference pictures decoded since the decoder was opened
  bool edgesReady = false;        // both reference pictures' borders are filled
  // Times of the two reference pictures in time-increment units, and the whole seconds their
  // headers counted, for the temporal distances of direct prediction.
  long long newerTime = 0, olderTime = 0;
  long long newerSeconds = 0, olderSeconds = 0;
  bool newerIntra = true;  // the newer reference is an I picture: co-located vectors are zero
};

// Allocates the spare pictures for the store's layout (cleared to black). False when memory runs
// out; the order then stays one picture in, the same picture out.
bool BeginDelayedOrder(DisplayOrder& order, const PictureStore& store);
void ReleaseDisplayOrder(DisplayOrder& order);

// Before a reference picture is decoded into store.current: a current buffer still on show or
// waiting is exchanged for a free spare holding the same samples, so nothing handed out changes.
void PrepareReferenceTarget(DisplayOrder& order, PictureStore& store);
// After a reference picture was decoded and the store's pictures exchanged: the reference before
// it (now store.current) waits to be handed out.
void QueueOlderReference(DisplayOrder& order, const PictureStore& store);
// A spare that is neither on show nor waiting (the oldest waiting one is dropped if none is).
Picture TakeSpare(DisplayOrder& order);
void Queue(DisplayOrder& order, const Picture& picture);
// Hands out the oldest waiting picture: y/u/v from it, the previous planes from the one shown
// before. False (frame untouched) when none waits.
bool HandOut(DisplayOrder& order, const PictureStore& store, DecodedFrame* frame);
// The end of the stream: the reference picture that no later one will push out goes to the queue.
void Flush(DisplayOrder& order, const PictureStore& store);

}  // namespace mivora::decoder
