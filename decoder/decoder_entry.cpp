#include "decoder/decoder_entry.h"

#include <algorithm>
#include <cstring>

#include "decoder/decode_picture.h"
#include "decoder/headers.h"
#include "output/converter_select.h"

namespace mivora {
namespace {

using decoder::DecoderState;
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

}  // namespace

std::int32_t decore(std::uintptr_t, std::uint32_t option, void* params, void*) {
  if (option == kDecoreInit) return Initialise(static_cast<const DecoderParams*>(params));
  if (option == kDecoreRelease) {
    DecoderState& state = State();
    decoder::ReleasePictures(state.pictures);
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
  state.reader.Reset(data, length > 0 ? static_cast<std::size_t>(length) : 0);

  const decoder::HeaderResult headers = decoder::ReadFrameHeaders(state);
  if (headers == decoder::HeaderResult::NoPicture) {
    DescribePrevious(state, frame);
    return static_cast<std::int32_t>(Finish(state, DecodeStatus::NoPicture));
  }
  report.pictureType = state.picture.pictureType;
  if (headers == decoder::HeaderResult::Unsupported) {
    report.feature = state.unsupported;
    DescribePrevious(state, frame);
    return static_cast<std::int32_t>(Finish(state, DecodeStatus::Unsupported));
  }
  report.quantiser = state.picture.quantiser;
  if (!state.picture.pictureCoded) {
    // Repeats the previous picture without exchanging the pictures, so the next picture predicts
    // from the right one.
    DescribePrevious(state, frame);
    return static_cast<std::int32_t>(Finish(state, DecodeStatus::NotCoded));
  }
  if (!decoder::DecodePicture(state)) {
    report.feature = state.unsupported;
    DescribePrevious(state, frame);
    return static_cast<std::int32_t>(Finish(state, DecodeStatus::Unsupported));
  }
  report.concealedMacroblocks = state.concealed;
  if (frame) decoder::FillDecodedFrame(state.pictures, frame);
  decoder::SwapPictures(state.pictures);
  return static_cast<std::int32_t>(
      Finish(state, state.damaged ? DecodeStatus::Damaged : DecodeStatus::Ok));
}

void SetPacketConcealment(bool on) {
  State().packetConcealment = on;
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
