// The four entry points of the audio decoder modules ("MP3LibCE.dll", "MP12LibCE.dll"), looked up
// by the audio thread by these exact names: "Init", "Exit", "DecompressMp3", "GetHeaderInfo".
#pragma once

#include <cstdint>

namespace mivora {

// Output room the engine hands to DecompressMp3 each call, and the input window it keeps.
inline constexpr std::int32_t kAudioBlockBytes = 4800;
inline constexpr std::int32_t kAudioWindowBytes = 8192;
inline constexpr std::int32_t kAudioHeaderBytes = 8191;

// Starts a decoding run: stream positions count from here. equalizerOn: the option byte;
// bands: the equalizer band values of the options record, or null to keep the bands set before.
using AudioInitFn = std::int32_t (*)(std::uint8_t equalizerOn, const std::int8_t* bands);
// Ends a decoding run.
using AudioExitFn = std::int32_t (*)();
// Reads the first valid frame header in data (ID3v2 tags and junk skipped). *sampleRate in: 0 for
// the stream's own rate, or the output rate wanted (the module then resamples to it, until the
// next call); out: the output rate. *channels: output channels. *bitRate: bits per second (the
// average of a VBR stream from its Xing/VBRI header). Nonzero when a header was found.
using GetHeaderInfoFn = std::int32_t (*)(const std::uint8_t* data, std::int32_t length,
                                         std::int32_t* sampleRate, std::int32_t* channels,
                                         std::int32_t* bitRate);
// Decodes from input (length bytes of the engine's window; null and 0 to continue) into output
// (room bytes). *produced: PCM bytes written (16-bit, interleaved); *position: compressed bytes
// since Init up to the end of the last frame whose samples are in this output (0 when none).
// Result r > 0: the last r - 1 bytes of input were not consumed and come again at the start of
// the next call's input; r = 0: more output is pending, call again with null input; r < 0: stop.
using DecompressMp3Fn = std::int32_t (*)(const std::uint8_t* input, std::int32_t length,
                                         std::uint8_t* output, std::int32_t room,
                                         std::int32_t* produced, std::int32_t* position);

}  // namespace mivora
