// "sdl": SDL2 audio. SDL's audio thread takes the bytes from the queued blocks (volume applied),
// silence when the queue is empty or the device paused; a block SDL has taken to its end goes to
// the device's completion thread, which hands it back. The position counts what SDL has taken.
#include "platform/wave_device.h"

#ifdef MIVORA_HAVE_SDL2
#include <SDL.h>

#include <algorithm>
#include <cstring>
#endif

namespace mivora::platform {

#ifdef MIVORA_HAVE_SDL2
namespace {

// Initialises SDL's audio once per process; the reason when it failed.
bool SdlAudioReady(std::string* reason) {
  static std::mutex mutex;
  static int state = 0;  // 0 not tried, 1 ready, -1 failed
  static std::string failure;
  std::lock_guard<std::mutex> hold(mutex);
  if (state == 0) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
      state = 1;
      // SDL keeps its driver's state until it is shut down; done at exit, after every device
      // has been closed.
      std::atexit([] { SDL_QuitSubSystem(SDL_INIT_AUDIO); });
    } else {
      state = -1;
      failure = SDL_GetError();
    }
  }
  if (state < 0 && reason != nullptr) *reason = "SDL audio: " + failure;
  return state > 0;
}

class SdlWaveDevice final : public WaveDevice {
 public:
  using WaveDevice::WaveDevice;
  const char* Name() const override { return "sdl"; }

  std::string failure;

  std::uint32_t StartBackend() override {
    if (device_ != 0) return kWaveNoError;
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format_.samplesPerSecond);
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(format_.channels);
    want.samples = 1024;
    want.callback = &SdlWaveDevice::Fill;
    want.userdata = this;
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
      failure = std::string("SDL audio device: ") + SDL_GetError();
      return kWaveBadDeviceId;
    }
    SDL_PauseAudioDevice(device_, 0);
    return kWaveNoError;
  }

  void StopBackend() override {
    if (device_ != 0) SDL_CloseAudioDevice(device_);
    device_ = 0;
  }

 private:
  static void Fill(void* self, Uint8* stream, int length) {
    static_cast<SdlWaveDevice*>(self)->FillStream(stream, static_cast<std::size_t>(length));
  }

  void FillStream(Uint8* stream, std::size_t length) {
    std::lock_guard<std::mutex> hold(mutex_);
    std::size_t done = 0;
    while (!paused_ && done < length && !queue_.empty()) {
      WaveHeader* front = queue_.front();
      const std::size_t left = front->bufferLength - frontOffset_;
      const std::size_t take = std::min(left, length - done);
      wave::ApplyGain(front->data + frontOffset_, stream + done, take, format_.channels, volume_);
      done += take;
      frontOffset_ += static_cast<std::uint32_t>(take);
      if (frontOffset_ >= front->bufferLength) FinishFrontLocked(true);
    }
    if (done < length) std::memset(stream + done, 0, length - done);
  }

  SDL_AudioDeviceID device_ = 0;
};

}  // namespace
#endif

namespace wave {
std::shared_ptr<WaveDevice> MakeSdlDevice(const WaveFormat& format, WaveCallback callback,
                                          std::uintptr_t instance, std::uint32_t volume,
                                          std::string* reason) {
#ifdef MIVORA_HAVE_SDL2
  if (!SdlAudioReady(reason)) return nullptr;
  auto device = std::make_shared<SdlWaveDevice>(format, callback, instance, volume);
  // Opened here so that the reason of a failure can be told.
  if (device->StartBackend() != kWaveNoError) {
    if (reason != nullptr) *reason = device->failure;
    return nullptr;
  }
  return device;
#else
  (void)format, (void)callback, (void)instance, (void)volume;
  if (reason != nullptr) *reason = "built without SDL2";
  return nullptr;
#endif
}
}  // namespace wave
}  // namespace mivora::platform
