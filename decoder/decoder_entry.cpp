#include "decoder/decoder_entry.h"

#include <algorithm>
#include <cstring>

#include "decoder/b_picture.h"
#include "decoder/decode_picture.h"
#include "decoder/headers.h"
#include "output/converter_select.h"

namespace mivora {
namespace {

using decoder::DecoderState;
using decoder::DisplayOrder;
using decoder::PictureStore;
using decoder::State;

// Picture sizes the decoder accepts at initialisation. The per-macroblock state is sized from the
// picture, so the limit only keeps allocations and offsets sane.
constexpr int kMinDimension = 16;
constexpr int kMaxDimension = 4096;

void DescribePrevious(const DecoderState& state, DecodedFrame* frame) {
  // The picture decoded last is `reference` (pictures are exchanged after each one). The next
  // picture is decoded into `current`, so that is what the previous planes name.
  if (!frame) return;
  const auto& p = state.pictures;
  frame->y = p.reference.y;
  frame->u = p.reference.u;
  frame->v = p.reference.v;
  frame->strideY = p.stride;
  frame->strideU = p.stride >> 1;
  frame->strideV = p.stride >> 1;
  frame->prevY = p.current.y;
  frame->prevU = p.current.u;
  frame->prevV = p.current.v;
}

std::int32_t Initialise(const DecoderParams* params) {
  DecoderState& state = State();
  decoder::ReleasePictures(state.pictures);
  decoder::ReleaseDisplayOrder(state.order);
  state.open = false;
  if (!params) return -1;
  const int width = params->width, height = params->height;
  state.sequence.quantPrecision = 5;
  state.sequence.bitsPerPixel = 8;
  if (width < kMinDimension || height < kMinDimension || width > kMaxDimension ||
      height > kMaxDimension) {
    return -1;
  }
  if (!decoder::AllocatePictures(state.pictures, width, height)) return -1;
  decoder::SizeMacroblockState(state, width, height);
  state.open = true;
  SelectConverter(params->reserved, params->outputType);
  return 0;
}

DecodeStatus Finish(DecoderState& state, DecodeStatus status) {
  state.report.status = status;
  // The bytes the decoder used, so a caller can tell trailing data from a truncated picture.
  const std::size_t used = (state.reader.BitsConsumed() + 7) / 8;
  state.report.bytes = static_cast<int>(std::min(used, state.reader.Size()));
  return status;
}

// Without B pictures: the picture decoded last again. With them: the oldest waiting picture, or,
// when none waits (the first chunk), the one shown before, as Delayed.
DecodeStatus HandOutOrHold(DecoderState& state, DecodedFrame* frame, DecodeStatus status) {
  DisplayOrder& order = state.order;
  if (!order.delayed) {
    DescribePrevious(state, frame);
    return status;
  }
  if (HandOut(order, state.pictures, frame)) return status;
  // A picture not coded, with nothing waiting (not a placeholder after a packed chunk): it repeats
  // the newest reference picture, which in display order comes before it. That one still goes out
  // again when the next reference pushes it, unchanged.
  if (status == DecodeStatus::NotCoded && order.referencePending &&
      order.shown.y != state.pictures.reference.y) {
    const decoder::Picture before = order.shown.y ? order.shown : state.pictures.reference;
    order.shown = state.pictures.reference;
    if (frame) {
      decoder::FillDecodedFrame(state.pictures, frame);  // y/u/v from current, strides
      frame->y = order.shown.y;
      frame->u = order.shown.u;
      frame->v = order.shown.v;
      frame->prevY = before.y;
      frame->prevU = before.u;
      frame->prevV = before.v;
    }
    return status;
  }
  // Nothing shown yet (the stream's first chunk, or the first after the decoder was opened again):
  // the reference picture just decoded stands in rather than a black one; it is handed out again
  // with the next chunk, as the picture shown before, so nothing on screen changes then.
  if (!order.shown.y)
    order.shown = order.referencePending ? state.pictures.reference : state.pictures.current;
  if (frame) {
    const auto& p = state.pictures;
    frame->y = frame->prevY = order.shown.y;
    frame->u = frame->prevU = order.shown.u;
    frame->v = frame->prevV = order.shown.v;
    frame->strideY = p.stride;
    frame->strideU = frame->strideV = p.stride >> 1;
  }
  return status == DecodeStatus::Ok ? DecodeStatus::Delayed : status;
}

// A reference picture's time, and the seconds its header counted, for the distances of direct
// prediction in the B pictures that follow it.
void NoteReferenceTime(DecoderState& state) {
  DisplayOrder& o = state.order;
  const long long resolution = std::max(state.sequence.timeResolution, 1);
  o.olderTime = o.newerTime;
  o.olderSeconds = o.newerSeconds;
  o.newerSeconds += state.picture.moduloTimeBase;
  o.newerTime = o.newerSeconds * resolution + state.picture.timeIncrement;
  o.newerIntra = state.picture.pictureType == 0;
  ++o.anchors;
}

DecodeStatus DecodeB(DecoderState& state) {
  DisplayOrder& order = state.order;
  PictureStore& store = state.pictures;
  // A stream whose layer did not announce B pictures: from here on in display order.
  if (!order.delayed && !BeginDelayedOrder(order, store)) {
    state.unsupported = "B pictures (out of memory)";
    return DecodeStatus::Unsupported;
  }
  if (!order.edgesReady) {
    ExtendPictureEdges(store, store.current);
    ExtendPictureEdges(store, store.reference);
    order.edgesReady = true;
  }
  decoder::BReferences refs;
  refs.forward = store.current;
  refs.backward = store.reference;
  refs.backwardIntra = order.newerIntra;
  const long long resolution = std::max(state.sequence.timeResolution, 1);
  const long long time = (order.olderSeconds + state.picture.moduloTimeBase) * resolution +
                         state.picture.timeIncrement;
  const long long trd = order.newerTime - order.olderTime, trb = time - order.olderTime;
  // Distances that cannot be (a damaged or missing time): the B picture halfway between.
  if (trd > 0 && trb > 0 && trb < trd && trd < (1 << 20)) {
    refs.trd = static_cast<int>(trd);
    refs.trb = static_cast<int>(trb);
  }
  const decoder::Picture target = TakeSpare(order);
  store.current = target;  // macroblocks are written through store.current
  const bool decoded = decoder::DecodeBPicture(state, refs);
  store.current = refs.forward;
  if (!decoded) return DecodeStatus::Unsupported;
  Queue(order, target);
  state.report.concealedMacroblocks += state.concealed;
  return state.damaged ? DecodeStatus::Damaged : DecodeStatus::Ok;
}

// One coded picture after its header. With B pictures in the stream it joins the queue; without,
// the frame describes it at once.
DecodeStatus DecodeOnePicture(DecoderState& state, DecodedFrame* frame) {
  if (state.picture.pictureType == 2) return DecodeB(state);
  DisplayOrder& order = state.order;
  if (order.delayed) PrepareReferenceTarget(order, state.pictures);
  if (!decoder::DecodePicture(state)) return DecodeStatus::Unsupported;
  NoteReferenceTime(state);
  state.report.concealedMacroblocks += state.concealed;
  if (!order.delayed && frame) decoder::FillDecodedFrame(state.pictures, frame);
  decoder::SwapPictures(state.pictures);
  if (order.delayed) {
    order.edgesReady = false;
    QueueOlderReference(order, state.pictures);
  }
  return state.damaged ? DecodeStatus::Damaged : DecodeStatus::Ok;
}

}  // namespace

std::int32_t decore(std::uintptr_t, std::uint32_t option, void* params, void*) {
  if (option == kDecoreInit) return Initialise(static_cast<const DecoderParams*>(params));
  if (option == kDecoreRelease) {
    DecoderState& state = State();
    decoder::ReleasePictures(state.pictures);
    decoder::ReleaseDisplayOrder(state.order);
    state.open = false;
  }
  return 0;
}

std::int32_t decore_frame(const std::uint8_t* data, std::int32_t length, DecodedFrame* frame,
                          std::int32_t, std::int32_t) {
  DecoderState& state = State();
  FrameReport& report = state.report;
  report = FrameReport{};
  if (!state.open || !state.pictures.buffer) {
    state.reader.Reset(nullptr, 0);
    return static_cast<std::int32_t>(Finish(state, DecodeStatus::NotInitialised));
  }
  state.damaged = state.lost = false;
  state.unsupported = nullptr;
  DisplayOrder& order = state.order;
  if (!data && order.delayed) {
    // The end of the stream: what still waits goes out, one picture per call.
    state.reader.Reset(nullptr, 0);
    Flush(order, state.pictures);
    const DecodeStatus status = HandOutOrHold(state, frame, DecodeStatus::Ok);
    return static_cast<std::int32_t>(
        Finish(state, status == DecodeStatus::Delayed ? DecodeStatus::NoPicture : status));
  }
  state.reader.Reset(data, length > 0 ? static_cast<std::size_t>(length) : 0);

  decoder::HeaderResult headers = decoder::ReadFrameHeaders(state);
  // Layers that say B pictures may follow put the pictures in display order from the start.
  if (state.sequence.lowDelay == 0 && !order.delayed) BeginDelayedOrder(order, state.pictures);
  if (headers == decoder::HeaderResult::NoPicture) {
    return static_cast<std::int32_t>(
        Finish(state, HandOutOrHold(state, frame, DecodeStatus::NoPicture)));
  }
  state.pictures.quarterSample = state.sequence.quarterSample;
  DecodeStatus status = DecodeStatus::Ok;
  // A chunk may hold more than one picture (a reference and a B picture, as DivX 5 packs them);
  // a few at most, so a damaged chunk of tiny pictures costs no more than that.
  constexpr int kPicturesPerChunk = 4;
  for (int n = 0; n < kPicturesPerChunk; ++n) {
    report.pictureType = state.picture.pictureType;
    if (headers == decoder::HeaderResult::Unsupported) {
      report.feature = state.unsupported;
      status = DecodeStatus::Unsupported;
      break;
    }
    report.quantiser = state.picture.quantiser;
    // Not coded: the previous picture again, and the pictures are not exchanged, so the next
    // picture predicts from the right one. After a picture in the same chunk: a placeholder.
    if (!state.picture.pictureCoded) {
      if (n == 0) status = DecodeStatus::NotCoded;
      break;
    }
    const DecodeStatus one = DecodeOnePicture(state, frame);
    if (one == DecodeStatus::Unsupported) {
      report.feature = state.unsupported;
      status = one;
      break;
    }
    if (one == DecodeStatus::Damaged) status = one;
    if (!decoder::NextPictureInChunk(state)) {
      // Without B pictures the frame already describes the picture.
      if (!order.delayed) return static_cast<std::int32_t>(Finish(state, status));
      break;
    }
    headers =
        state.unsupported ? decoder::HeaderResult::Unsupported : decoder::HeaderResult::Picture;
  }
  return static_cast<std::int32_t>(Finish(state, HandOutOrHold(state, frame, status)));
}

void SetPacketConcealment(bool on) {
  State().packetConcealment = on;
}

void SetBackwardTexture(bool on) {
  State().backwardTexture = on;
}

std::int32_t PassThroughDecore(std::uintptr_t, std::uint32_t, void*, void*) {
  return 0;
}

std::int32_t PassThroughDecoreFrame(const std::uint8_t* data, std::int32_t, DecodedFrame* frame,
                                    std::int32_t, std::int32_t) {
  if (data && frame) std::memcpy(frame, data, sizeof(DecodedFrame));
  return 0;
}

}  // namespace mivora
