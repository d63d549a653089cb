#include "decoder/picture.h"

#include <cstring>
#include <new>
#include <utility>

#include "decoder/dsp.h"

namespace mivora::decoder {
namespace {

// Larger pictures than any stream this player meets; keeps every offset well inside int.
constexpr int kMaxDimension = 8192;

// Black in the studio range the converters expect.
constexpr std::uint8_t kBlackY = 16;
constexpr std::uint8_t kBlackChroma = 128;

}  // namespace

bool AllocatePictures(PictureStore& store, int width, int height) {
  ReleasePictures(store);
  if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension) return false;
  const int stride = (width + 71) & ~7;
  const int paddedHeight = (height + 71) & ~7;
  const std::size_t d = static_cast<std::size_t>(stride) * static_cast<std::size_t>(paddedHeight);
  const std::size_t bytes = 3 * d;
  auto* buffer = new (std::nothrow) std::uint8_t[bytes];
  if (!buffer) return false;
  // The buffer's contents before the first I picture are ours to choose: a stream that starts with
  // a P picture then predicts from black instead of stale memory.
  for (std::size_t half = 0; half < 2; ++half) {
    std::uint8_t* base = buffer + half * (d + d / 2);
    std::memset(base, kBlackY, d);
    std::memset(base + d, kBlackChroma, d / 2);
  }
  const std::size_t s = static_cast<std::size_t>(stride);
  store.buffer = buffer;
  store.bytes = bytes;
  store.width = width;
  store.height = height;
  store.stride = stride;
  store.paddedHeight = paddedHeight;
  store.current = {buffer + 32 * s + 32, buffer + d + 8 * s + 16, buffer + d + d / 4 + 8 * s + 16};
  store.reference = {buffer + d + d / 2 + 32 * s + 32, buffer + 2 * d + d / 2 + 8 * s + 16,
                     buffer + 2 * d + 3 * d / 4 + 8 * s + 16};
  return true;
}

void ReleasePictures(PictureStore& store) {
  delete[] store.buffer;
  store = PictureStore{};
}

void ExtendReferenceEdges(PictureStore& store) {
  ExtendPictureEdges(store, store.reference);
}

void ExtendPictureEdges(const PictureStore& store, const Picture& picture) {
  if (!store.buffer) return;
  const auto& dsp = Dsp();
  const int s = store.stride, h = store.paddedHeight;
  const int cs = s / 2;
  dsp.extendEdges(picture.y - kLumaBorder * s - kLumaBorder, s, h, kLumaBorder);
  dsp.extendEdges(picture.u - kChromaBorder * cs - kChromaBorder, cs, h / 2, kChromaBorder);
  dsp.extendEdges(picture.v - kChromaBorder * cs - kChromaBorder, cs, h / 2, kChromaBorder);
}

void FillDecodedFrame(const PictureStore& store, DecodedFrame* frame) {
  if (!frame) return;
  frame->y = store.current.y;
  frame->u = store.current.u;
  frame->v = store.current.v;
  frame->strideY = store.stride;
  frame->strideU = store.stride >> 1;
  frame->strideV = store.stride >> 1;
  frame->prevY = store.reference.y;
  frame->prevU = store.reference.u;
  frame->prevV = store.reference.v;
}

void SwapPictures(PictureStore& store) {
  std::swap(store.current, store.reference);
}

}  // namespace mivora::decoder
