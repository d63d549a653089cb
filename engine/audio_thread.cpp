#include "engine/audio_thread.h"

#include <cstring>
#include <new>

#include "engine/player_state.h"
#include "engine/presentation.h"
#include "engine/shell_hooks.h"
#include "platform/module.h"
#include "shell/player_options.h"

namespace mivora {

namespace {

struct AudioPath {
  void* module = nullptr;
  AudioDecoderEntries entries;
  // Held around every call into the decoder module: the controls re-initialise it from the
  // user-interface thread while this thread decodes, and the module serves one caller at a time.
  std::mutex decoderLock;
  // Held while the device is opened or closed and around the controls' calls on it, so that no
  // control touches a device that is being closed.
  std::mutex deviceLock;
  // Set while the engine resets the device: blocks handed back unplayed say nothing of the clock.
  std::atomic<bool> resetting{false};
  std::atomic<bool> clockRunning{false};
  std::atomic<std::int32_t> sampleRate{0};
  std::atomic<double> startSeconds{0};
  // Counts the controls' restarts of the decoder (a seek): what the decoder held before one is
  // gone, so the thread starts afresh from the source's new position instead of taking the
  // empty decoder's answer for the end of the audio.
  std::atomic<std::uint32_t> restarts{0};
  // Set when this thread paused the device because the item opened paused: a resume that came
  // before the device was open could not restart it, so the thread restarts it once it sees the
  // player playing.
  std::atomic<bool> heldPause{false};
  std::uint8_t window[kAudioWindowBytes] = {};
};

AudioPath& Path() {
  static AudioPath path;
  return path;
}

void FreeBlock(AudioBlock* block) {
  delete block;
}

void WaveDone(platform::WaveOutHandle device, std::uint32_t message, std::uintptr_t /*instance*/,
              platform::WaveHeader* header, std::uintptr_t /*parameter*/) {
  if (message != platform::kWaveDoneMessage || header == nullptr) return;
  PlayerState& s = State();
  AudioPath& path = Path();
  NamedObjects named = OpenNamedObjects();
  const bool current = reinterpret_cast<AudioBlock*>(header)->restart == path.restarts.load();
  if (!path.resetting.load() && current) {
    std::lock_guard<std::mutex> hold(s.runLock);
    const std::int32_t bytes = s.audioBytesInRun.load();
    if (bytes > 0) {
      s.targetFrame = static_cast<std::int32_t>(
          std::int64_t(header->user) * std::int64_t(s.framesInRun.load()) / std::int64_t(bytes) +
          1);
    }
  }
  named.eventNextFrame->Set();
  platform::WaveOutUnprepareHeader(device, header, sizeof(platform::WaveHeader));
  // The header is the block's first member: the block is freed here and only here once written.
  FreeBlock(reinterpret_cast<AudioBlock*>(header));
  if (s.audioBuffersQueued.fetch_sub(1) - 1 == 50) named.eventAudio->Set();
}

void ReleaseHeldPause() {
  AudioPath& path = Path();
  if (path.heldPause.load() && !State().paused.load()) {
    path.heldPause = false;
    std::lock_guard<std::mutex> hold(path.deviceLock);
    if (auto device = State().waveDevice.load()) platform::WaveOutRestart(device);
  }
}

void QueueAudioBlock(AudioBlock* block, std::int32_t length, std::int32_t position,
                     platform::Event& eventAudio) {
  PlayerState& s = State();
  if (position == 0 || length <= 0) {
    FreeBlock(block);
    return;
  }
  if (s.audioBuffersQueued.load() > 50) {
    // Woken when the device has played down to 50 blocks, or by a stop.
    while (!eventAudio.Wait(100) && !s.stopRequested.load()) ReleaseHeldPause();
    eventAudio.Reset();
    if (s.stopRequested.load()) {
      FreeBlock(block);
      return;
    }
  }
  platform::WaveHeader& h = block->header;
  h.data = block->pcm;
  h.bufferLength = std::uint32_t(length);
  h.bytesRecorded = std::uint32_t(length);
  h.user = std::uintptr_t(std::uint32_t(position));
  h.flags = 0;
  h.loops = 0;
  const platform::WaveOutHandle device = s.waveDevice.load();
  s.audioBuffersQueued.fetch_add(1);
  if (platform::WaveOutPrepareHeader(device, &h, sizeof h) != platform::kWaveNoError ||
      platform::WaveOutWrite(device, &h, sizeof h) != platform::kWaveNoError) {
    platform::WaveOutUnprepareHeader(device, &h, sizeof h);
    s.audioBuffersQueued.fetch_sub(1);
    FreeBlock(block);
  }
}

AudioBlock* NewBlock(std::uint32_t restart) {
  AudioBlock* block = new (std::nothrow) AudioBlock;
  if (block != nullptr) block->restart = restart;
  return block;
}

std::int32_t Decompress(const std::uint8_t* input, std::int32_t length, AudioBlock* block,
                        std::int32_t& produced, std::int32_t& position) {
  AudioPath& path = Path();
  std::lock_guard<std::mutex> hold(path.decoderLock);
  produced = 0;
  position = 0;
  const std::int32_t r =
      path.entries.DecompressMp3(input, length, block->pcm, kAudioBlockBytes, &produced, &position);
  if (produced < 0 || produced > kAudioBlockBytes) produced = 0;  // never trust a module's count
  return r;
}

platform::WaveFormat FormatFor(std::int32_t rate, std::int32_t channels) {
  platform::WaveFormat f;
  f.formatTag = 1;
  f.channels = std::uint16_t(channels);
  f.samplesPerSecond = std::uint32_t(rate);
  f.blockAlign = std::uint16_t(channels * 16 / 8);
  f.averageBytesPerSecond = f.samplesPerSecond * f.blockAlign;
  f.bitsPerSample = 16;
  f.extraSize = 0;
  return f;
}

std::uint32_t OpenDevice(const platform::WaveFormat& format) {
  AudioPath& path = Path();
  std::lock_guard<std::mutex> hold(path.deviceLock);
  platform::WaveOutHandle device = nullptr;
  const std::uint32_t result =
      platform::WaveOutOpen(&device, platform::kWaveMapper, format, &WaveDone, 0,
                            platform::kWaveCallbackFunction | platform::kWaveAllowMapped);
  if (result == platform::kWaveNoError) {
    State().waveDevice = device;
    path.sampleRate = std::int32_t(format.samplesPerSecond);
  }
  return result;
}

void ResetDevice() {
  AudioPath& path = Path();
  std::lock_guard<std::mutex> hold(path.deviceLock);
  const platform::WaveOutHandle device = State().waveDevice.load();
  if (device == nullptr) return;
  path.resetting = true;
  platform::WaveOutReset(device);
  path.resetting = false;
}

void CloseDevice() {
  AudioPath& path = Path();
  std::lock_guard<std::mutex> hold(path.deviceLock);
  const platform::WaveOutHandle device = State().waveDevice.load();
  if (device == nullptr) return;
  if (platform::WaveOutClose(device) == platform::kWaveStillPlaying) {
    path.resetting = true;
    platform::WaveOutReset(device);
    path.resetting = false;
    platform::WaveOutClose(device);
  }
  State().waveDevice = nullptr;
  path.sampleRate = 0;
}

// Looks the four entry points up; false when one is missing.
bool LookUpEntries() {
  AudioPath& path = Path();
  std::lock_guard<std::mutex> hold(path.decoderLock);
  AudioDecoderEntries e;
  e.Init = platform::GetEntryPointAs<AudioInitFn>(path.module, u"Init");
  e.Exit = platform::GetEntryPointAs<AudioExitFn>(path.module, u"Exit");
  e.DecompressMp3 = platform::GetEntryPointAs<DecompressMp3Fn>(path.module, u"DecompressMp3");
  e.GetHeaderInfo = platform::GetEntryPointAs<GetHeaderInfoFn>(path.module, u"GetHeaderInfo");
  if (!e.Init || !e.Exit || !e.DecompressMp3 || !e.GetHeaderInfo) e = AudioDecoderEntries{};
  path.entries = e;
  if (e.Init == nullptr) return false;
  return true;
}

void CallInit(bool withBands) {
  AudioPath& path = Path();
  std::lock_guard<std::mutex> hold(path.decoderLock);
  if (path.entries.Init == nullptr) return;
  PlayerOptions& o = Options();
  path.entries.Init(ReadOption(o.EqualizerOn), withBands ? o.EqualizerBands : nullptr);
}

void CallExit() {
  AudioPath& path = Path();
  std::lock_guard<std::mutex> hold(path.decoderLock);
  if (path.entries.Exit != nullptr) path.entries.Exit();
}

std::int32_t HeaderInfo(std::int32_t& rate, std::int32_t& channels, std::int32_t& bitRate) {
  AudioPath& path = Path();
  std::lock_guard<std::mutex> hold(path.decoderLock);
  return path.entries.GetHeaderInfo(path.window, kAudioHeaderBytes, &rate, &channels, &bitRate);
}

// The end of the audio ends the run; blocks still queued play out unless a stop came.
void EndAudioThread(const NamedObjects& named, bool opened) {
  PlayerState& s = State();
  AudioPath& path = Path();
  if (opened) {
    RestartAudioDevice();
    while (!s.stopRequested.load() && s.audioBuffersQueued.load() > 0) platform::Sleep(10);
    if (s.stopRequested.load()) ResetDevice();
    CloseDevice();
  }
  path.clockRunning = false;
  CallExit();
  {
    // Nothing may call into the module once its thread is gone: it is unloaded with the item.
    std::lock_guard<std::mutex> hold(path.decoderLock);
    path.entries = AudioDecoderEntries{};
  }
  if (!s.stopRequested.load()) s.endOfStream = 1;
  s.stopRequested = 1;
  named.eventNextFrame->Set();
  named.eventAudioStopped->Set();
}

// Without a device (or decoder) the picture still plays, by the tick counter: the thread ends
// without ending the run.
void FallBackToWallClock(const NamedObjects& named) {
  AudioPath& path = Path();
  path.clockRunning = false;
  UseWallClock();
  CallExit();
  {
    // Nothing may call into the module once its thread is gone: it is unloaded with the item.
    std::lock_guard<std::mutex> hold(path.decoderLock);
    path.entries = AudioDecoderEntries{};
  }
  named.eventNextFrame->Set();
  named.eventAudioStopped->Set();
}

}  // namespace

void SetAudioDecoderModule(void* module) {
  Path().module = module;
}
void* AudioDecoderModule() {
  return Path().module;
}

void StartAudioThread(std::uint8_t startPlaying) {
  Path().clockRunning = true;  // until the thread knows better: the first frame waits for it
  StartEngineThread([startPlaying] { AudioThread(startPlaying); });
}

bool AudioClockRunning() {
  return Path().clockRunning.load();
}

// At the end of the stream: waits until the queued sound has played or a seek restarted the
// decoder (then true, once the seek's pause is over: reading goes on from the new position).
template <typename Restarted>
bool AwaitPlayOutOrRestart(const Restarted& restarted) {
  PlayerState& s = State();
  while (!s.stopRequested.load() && !restarted()) {
    if (s.audioBuffersQueued.load() == 0 && !s.paused.load()) return false;
    ReleaseHeldPause();
    platform::Sleep(5);
  }
  if (s.stopRequested.load()) return false;
  while (s.paused.load() && !s.stopRequested.load()) platform::Sleep(1);
  return !s.stopRequested.load();
}

void AudioThread(std::uint8_t startPlaying) {
  PlayerState& s = State();
  AudioPath& path = Path();
  s.audioBuffersQueued = 0;
  path.heldPause = false;
  NamedObjects named = OpenNamedObjects();
  if (path.module == nullptr || !LookUpEntries()) {
    FallBackToWallClock(named);
    return;
  }
  CallInit(true);
  std::uint8_t* window = path.window;
  std::memset(window, 0, sizeof path.window);
  std::int32_t first = s.source.ReadAudio(window, kAudioHeaderBytes);
  if (first < 0) first = 0;
  std::int32_t rate = 0, channels = 0, bitRate = 0;
  const std::int32_t found = HeaderInfo(rate, channels, bitRate);
  s.bitRate = bitRate;
  Hooks().Repaint(s.mainWindow.load());
  std::memmove(window + 1, window, kAudioHeaderBytes);
  s.audioBytesInRun = s.info.load()->audioBytes;

  std::uint32_t result = platform::kWaveBadDeviceId;
  if (found != 0 && rate > 0 && channels > 0 && channels <= 8) {
    result = OpenDevice(FormatFor(rate, channels));
    if (result == platform::kWaveBadFormat) {
      CallExit();
      CallInit(false);
      rate = rate == 48000 ? 44100 : 22050;
      HeaderInfo(rate, channels, bitRate);
      result = rate > 0 && channels > 0 ? OpenDevice(FormatFor(rate, channels))
                                        : platform::kWaveBadFormat;
    }
  }
  if (result != platform::kWaveNoError) {
    // Nothing may be written to a device that did not open; the picture goes on without sound.
    platform::ShowMessageBox(nullptr, u"Error in Audio", u"Wave Open Error");
    FallBackToWallClock(named);
    return;
  }
  // A pause that came while the device was opening holds too.
  if (startPlaying == 0 || s.paused.load()) {
    path.heldPause = true;
    PauseAudioDevice();
  }

  // The window holds `filled` bytes; after the first read they sit one place up, so the first
  // pass moves them back down.
  std::int32_t filled = first + 1;
  std::int32_t carry = filled;
  for (;;) {
    ReleaseHeldPause();
    const std::uint32_t restarts = path.restarts.load();
    const auto restarted = [&] { return path.restarts.load() != restarts; };
    if (carry > 0) {
      carry -= 1;
      // The bytes not consumed are the last ones of the data actually in the window.
      if (carry > filled) carry = filled;
      std::memmove(window, window + (filled - carry), std::size_t(carry));
    }
    std::int32_t n = s.source.ReadAudio(window + carry, kAudioWindowBytes - carry);
    if (n <= 0) {
      if (!AwaitPlayOutOrRestart(restarted)) break;
      carry = 0;
      filled = 0;
      continue;
    }
    filled = n + carry;
    AudioBlock* block = NewBlock(restarts);
    if (block == nullptr) break;
    std::int32_t produced = 0, position = 0;
    std::int32_t r = Decompress(window, filled, block, produced, position);
    QueueAudioBlock(block, produced, position, *named.eventAudio);
    while (r == 0 && !s.stopRequested.load() && !restarted()) {
      if (s.paused.load()) {
        platform::Sleep(1);
        continue;
      }
      ReleaseHeldPause();
      block = NewBlock(restarts);
      if (block == nullptr) break;
      r = Decompress(nullptr, 0, block, produced, position);
      QueueAudioBlock(block, produced, position, *named.eventAudio);
    }
    if (s.stopRequested.load()) break;
    if (restarted() || r <= 0) {
      // The data read before a restart belongs to the old position; at the end of the stream a
      // seek may still bring more.
      if (!restarted() && !AwaitPlayOutOrRestart(restarted)) break;
      while (s.paused.load() && !s.stopRequested.load()) platform::Sleep(1);
      carry = 0;
      filled = 0;
      continue;
    }
    carry = r > kAudioWindowBytes ? kAudioWindowBytes : r;
  }
  EndAudioThread(named, true);
}

void PauseAudioDevice() {
  std::lock_guard<std::mutex> hold(Path().deviceLock);
  if (auto device = State().waveDevice.load()) platform::WaveOutPause(device);
}

void RestartAudioDevice() {
  std::lock_guard<std::mutex> hold(Path().deviceLock);
  if (auto device = State().waveDevice.load()) platform::WaveOutRestart(device);
}

void ResetAudioDevice() {
  ResetDevice();
}

void ExitAudioDecoder() {
  Path().restarts.fetch_add(1);
  CallExit();
}
void InitAudioDecoder(bool withBands) {
  CallInit(withBands);
}

bool AudioDecoderActive() {
  AudioPath& path = Path();
  std::lock_guard<std::mutex> hold(path.decoderLock);
  return path.entries.Init != nullptr;
}

AudioClockBase CurrentAudioClockBase() {
  return AudioClockBase{Path().startSeconds.load(), Path().sampleRate.load()};
}

void SetAudioClockStart(double seconds) {
  Path().startSeconds = seconds;
}

std::uint64_t AudioDevicePosition() {
  std::lock_guard<std::mutex> hold(Path().deviceLock);
  std::uint64_t samples = 0;
  if (auto device = State().waveDevice.load())
    platform::WaveOutGetPositionSamples(device, &samples);
  return samples;
}

}  // namespace mivora
