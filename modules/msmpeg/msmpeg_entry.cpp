// The two exported entry points, called exactly as the built-in decoder's pair.
#include <type_traits>

#include "decoder/decore.h"
#include "modules/msmpeg/msmpeg_decoder.h"

extern "C" {

__attribute__((visibility("default"))) std::int32_t decore(std::uintptr_t, std::uint32_t option,
                                                           void* params, void*) {
  mivora::msmpeg::MsmpegDecoder& decoder = mivora::msmpeg::TheDecoder();
  if (option == mivora::kDecoreInit) {
    const auto* p = static_cast<const mivora::DecoderParams*>(params);
    if (p == nullptr) {
      decoder.Close();
      return -1;
    }
    return decoder.Open(p->width, p->height) ? 0 : -1;
  }
  if (option == mivora::kDecoreRelease) decoder.Close();
  return 0;
}

__attribute__((visibility("default"))) std::int32_t decore_frame(const std::uint8_t* data,
                                                                 std::int32_t length,
                                                                 mivora::DecodedFrame* frame,
                                                                 std::int32_t, std::int32_t) {
  return static_cast<std::int32_t>(mivora::msmpeg::TheDecoder().Decode(data, length, frame));
}
}

static_assert(std::is_same_v<decltype(&decore), mivora::DecoreFn>);
static_assert(std::is_same_v<decltype(&decore_frame), mivora::DecoreFrameFn>);
