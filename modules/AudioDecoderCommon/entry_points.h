// Defines the four exported entry points of an audio decoder module over the shared decoder.
// Each module's source file expands it once; a version script keeps every other symbol local.
#pragma once

#include <cstdint>
#include <type_traits>

#include "input/audio_decoder_module.h"
#include "modules/AudioDecoderCommon/audio_decoder.h"

#define MIVORA_AUDIO_DECODER_ENTRY_POINTS()                                                    \
  extern "C" {                                                                                 \
  __attribute__((visibility("default"))) std::int32_t Init(std::uint8_t equalizerOn,           \
                                                           const std::int8_t* bands) {         \
    return mivora::audio::DecoderInit(equalizerOn, bands);                                     \
  }                                                                                            \
  __attribute__((visibility("default"))) std::int32_t Exit() {                                 \
    return mivora::audio::DecoderExit();                                                       \
  }                                                                                            \
  __attribute__((visibility("default"))) std::int32_t GetHeaderInfo(const std::uint8_t* data,  \
                                                                    std::int32_t length,       \
                                                                    std::int32_t* sampleRate,  \
                                                                    std::int32_t* channels,    \
                                                                    std::int32_t* bitRate) {   \
    return mivora::audio::DecoderGetHeaderInfo(data, length, sampleRate, channels, bitRate);   \
  }                                                                                            \
  __attribute__((visibility("default"))) std::int32_t DecompressMp3(                           \
      const std::uint8_t* input, std::int32_t length, std::uint8_t* output, std::int32_t room, \
      std::int32_t* produced, std::int32_t* position) {                                        \
    return mivora::audio::DecoderDecompress(input, length, output, room, produced, position);  \
  }                                                                                            \
  }                                                                                            \
  static_assert(std::is_same_v<decltype(&Init), mivora::AudioInitFn>);                         \
  static_assert(std::is_same_v<decltype(&Exit), mivora::AudioExitFn>);                         \
  static_assert(std::is_same_v<decltype(&GetHeaderInfo), mivora::GetHeaderInfoFn>);            \
  static_assert(std::is_same_v<decltype(&DecompressMp3), mivora::DecompressMp3Fn>);
