// The audio path: a thread decodes the item's compressed audio through the audio decoder module
// and queues PCM blocks on the wave-output device; each played block sets the frame the clock
// wants on screen.
#pragma once

#include <cstdint>
#include <mutex>

#include "input/audio_decoder_module.h"
#include "platform/wave_out.h"

namespace mivora {

// A PCM block as it goes to the device: the wave header, then room for 4,800 bytes.
struct AudioBlock {
  platform::WaveHeader header;
  std::uint8_t pcm[kAudioBlockBytes];
  // The decoder restart it was decoded after: a block from before a seek says nothing of the
  // clock after it, however late it comes back from the device.
  std::uint32_t restart = 0;
};

// The audio decoder module's entry points, looked up when the thread starts. Init is null while
// no audio thread decodes, which tells the controls there is nothing to re-initialise.
struct AudioDecoderEntries {
  AudioInitFn Init = nullptr;
  AudioExitFn Exit = nullptr;
  DecompressMp3Fn DecompressMp3 = nullptr;
  GetHeaderInfoFn GetHeaderInfo = nullptr;
};

// The module loaded for the item (the loading step sets it; null when none).
void SetAudioDecoderModule(void* module);
void* AudioDecoderModule();

// Starts the audio thread of the run; startPlaying 0 opens the device paused.
void StartAudioThread(std::uint8_t startPlaying);
void AudioThread(std::uint8_t startPlaying);
// True while the audio thread drives the run's clock.
bool AudioClockRunning();

// Device and module calls of the controls (user-interface thread), made so that they never meet
// the audio thread's own opening, closing or decoding of the same device or module.
void PauseAudioDevice();
void RestartAudioDevice();
void ResetAudioDevice();
// "Exit" then, with restart, "Init"(EqualizerOn, null): decoding starts again from a new position.
void ExitAudioDecoder();
void InitAudioDecoder(bool withBands);
// True when an audio thread has its decoder active (Init looked up).
bool AudioDecoderActive();

// Where the played sound stands, for measurements: the media time (seconds) the device's
// position 0 stands for, and the sample rate it plays at (0 while no device is open).
struct AudioClockBase {
  double startSeconds = 0;
  std::int32_t sampleRate = 0;
};
AudioClockBase CurrentAudioClockBase();
void SetAudioClockStart(double seconds);
// Sample frames the open device has played since its open or last reset (0 without a device).
std::uint64_t AudioDevicePosition();

}  // namespace mivora
