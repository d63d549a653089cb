// Loads an audio decoder module by its player name and runs the engine's decoding loop over it:
// Init, the first 8,191 bytes, GetHeaderInfo, the shift up by one, then the 8,192-byte
// window with its carry until the input ends or the module says stop.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/audio_decoder_module.h"

namespace mivora::test {

struct AudioDecoderModule {
  explicit AudioDecoderModule(const char16_t* name);
  ~AudioDecoderModule();
  bool ok() const {
    return init != nullptr && exit != nullptr && decompress != nullptr && header != nullptr;
  }

  void* handle = nullptr;
  AudioInitFn init = nullptr;
  AudioExitFn exit = nullptr;
  DecompressMp3Fn decompress = nullptr;
  GetHeaderInfoFn header = nullptr;
};

struct DriveOptions {
  std::uint8_t equalizerOn = 0;
  const std::int8_t* bands = nullptr;
  // Nonzero: after the first GetHeaderInfo the engine's bad-format retry asks for this rate
  // (Exit, Init(equalizerOn, null), GetHeaderInfo over the shifted window).
  std::int32_t retryRate = 0;
  // Call Init(equalizerOn, laterBands) without Exit after this many decoder calls (0: never),
  // as the Equalizer dialog does while the audio thread runs.
  int laterInitAfterCalls = 0;
  const std::int8_t* laterBands = nullptr;
  // Skip GetHeaderInfo and the first read (a restart after a seek: Exit, Init(eq, null), then
  // the loop from wherever the input stands).
  bool restartOnly = false;
};

struct DriveResult {
  std::int32_t headerFound = 0;
  std::int32_t sampleRate = 0;
  std::int32_t channels = 0;
  std::int32_t bitRate = 0;
  std::vector<std::int16_t> pcm;
  std::vector<std::int32_t> positions;  // of every block with samples, in order
  std::int64_t bytesRead = 0;           // what the loop read (the engine's audio byte count)
  int calls = 0;
  int lastResult = 0;
  bool positionsMonotonic = true;
  bool zeroPositionWithSamples = false;
  bool blockTooLarge = false;
  bool unalignedBlock = false;
};

// Runs the loop over input (read in pieces as ReadAudio would give them).
DriveResult Drive(const AudioDecoderModule& module, const std::vector<std::uint8_t>& input,
                  const DriveOptions& options = {});

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

}  // namespace mivora::test
