#include "decoder/decoder_status.h"

#include "decoder/decoder_state.h"

namespace mivora {

const FrameReport& LastFrameReport() {
  return decoder::State().report;
}

const char* DescribeStatus(DecodeStatus status) {
  switch (status) {
    case DecodeStatus::Ok:
      return "picture decoded";
    case DecodeStatus::NotCoded:
      return "picture not coded, previous picture repeated";
    case DecodeStatus::Damaged:
      return "invalid codes in the picture, decoded as far as possible";
    case DecodeStatus::Unsupported:
      return "the stream uses a feature this decoder does not decode";
    case DecodeStatus::NoPicture:
      return "no picture header in the frame";
    case DecodeStatus::NotInitialised:
      return "decoder not initialised";
    case DecodeStatus::Delayed:
      return "picture decoded, shown with the next chunk";
  }
  return "unknown status";
}

}  // namespace mivora
