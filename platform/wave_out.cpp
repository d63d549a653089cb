#include "platform/wave_out.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/clock.h"
#include "platform/wave_device.h"

namespace mivora::platform {

namespace {

thread_local WaveDevice* tCompletionDevice = nullptr;

struct Totals {
  std::atomic<std::uint64_t> blocksPlayed{0};
  std::atomic<std::uint64_t> samplesPlayed{0};
  std::atomic<std::uint64_t> blocksReset{0};
};
Totals& TheTotals() {
  static Totals totals;
  return totals;
}

enum class Backend { Auto, Sdl, Null, Wav };

struct Wave {
  std::mutex mutex;  // guards everything below; taken before any device's mutex
  std::map<WaveDevice*, std::shared_ptr<WaveDevice>> open;
  Backend backend = Backend::Auto;
  std::string wavPath;
  bool autoFellBack = false;
  std::string active;
  std::function<bool(const WaveFormat&)> refuse;
  bool refuseAll = false;
  std::atomic<std::uint32_t> device0Volume{0xFFFFFFFFu};
};
Wave& TheWave() {
  static Wave wave;
  return wave;
}

std::shared_ptr<WaveDevice> Find(WaveOutHandle handle) {
  if (handle == nullptr) return nullptr;
  Wave& w = TheWave();
  std::lock_guard<std::mutex> hold(w.mutex);
  auto it = w.open.find(handle);
  return it == w.open.end() ? nullptr : it->second;
}

bool PlayableFormat(const WaveFormat& f) {
  return f.formatTag == 1 && f.bitsPerSample == 16 && f.channels >= 1 && f.channels <= 8 &&
         f.samplesPerSecond >= 1000 && f.samplesPerSecond <= 384000 &&
         f.blockAlign == f.channels * 2 &&
         f.averageBytesPerSecond == f.samplesPerSecond * f.blockAlign;
}

}  // namespace

namespace wave {

void ApplyGain(const std::uint8_t* source, std::uint8_t* target, std::size_t bytes, int channels,
               std::uint32_t volume) {
  const std::int32_t left = static_cast<std::int32_t>(volume & 0xFFFFu);
  const std::int32_t right = static_cast<std::int32_t>(volume >> 16);
  if (left == 0xFFFF && right == 0xFFFF) {
    if (source != target) std::memmove(target, source, bytes);
    return;
  }
  const std::size_t samples = bytes / 2;
  for (std::size_t i = 0; i < samples; ++i) {
    std::int16_t s;
    std::memcpy(&s, source + 2 * i, 2);
    const std::int32_t gain = (channels >= 2 && i % channels == 1) ? right : left;
    const std::int16_t out = static_cast<std::int16_t>(std::int32_t{s} * gain / 0xFFFF);
    std::memcpy(target + 2 * i, &out, 2);
  }
}

void CountPlayed(std::uint64_t blocks, std::uint64_t frames) {
  TheTotals().blocksPlayed += blocks;
  TheTotals().samplesPlayed += frames;
}
void CountReset(std::uint64_t blocks) {
  TheTotals().blocksReset += blocks;
}

}  // namespace wave

// ---- The device core ----

WaveDevice::WaveDevice(const WaveFormat& format, WaveCallback callback, std::uintptr_t instance,
                       std::uint32_t volume)
    : format_(format), volume_(volume), callback_(callback), instance_(instance) {}

WaveDevice::~WaveDevice() {
  if (thread_.joinable()) thread_.detach();
}

void WaveDevice::StartThread(std::shared_ptr<WaveDevice> self) {
  thread_ = std::thread([self] { self->Run(); });
}

void WaveDevice::JoinThread() {
  if (!thread_.joinable()) return;
  if (tCompletionDevice == this) {
    thread_.detach();  // closed from its own callback: the thread ends when the callback returns
  } else {
    thread_.join();
  }
}

void WaveDevice::Call(std::uint32_t message, WaveHeader* header) {
  if (callback_ != nullptr) callback_(this, message, instance_, header, 0);
}

void WaveDevice::Run() {
  tCompletionDevice = this;
  Call(kWaveOpenMessage, nullptr);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    AdvanceLocked();
    if (!completed_.empty()) {
      std::deque<WaveHeader*> batch;
      batch.swap(completed_);
      lock.unlock();
      for (WaveHeader* header : batch) Call(kWaveDoneMessage, header);
      lock.lock();
      handedCount_ += batch.size();
      changed_.notify_all();
      continue;
    }
    if (quit_) break;
    const std::uint64_t seen = generation_;
    auto changed = [&] { return generation_ != seen || !completed_.empty() || quit_; };
    std::int64_t deadline = 0;
    if (NextDeadlineLocked(&deadline)) {
      WaitUntilClockUs(lock, changed_, deadline, changed);
    } else {
      changed_.wait(lock, changed);
    }
  }
  lock.unlock();
  Call(kWaveCloseMessage, nullptr);
  tCompletionDevice = nullptr;
}

void WaveDevice::FinishFrontLocked(bool played) {
  WaveHeader* header = queue_.front();
  queue_.pop_front();
  if (played) {
    const std::uint64_t frames = header->bufferLength / format_.blockAlign;
    framesBeforeFront_ += frames;
    wave::CountPlayed(1, frames);
  } else {
    wave::CountReset(1);
  }
  header->flags = (header->flags & ~kWaveHeaderInQueue) | kWaveHeaderDone;
  frontOffset_ = 0;
  completed_.push_back(header);
  ++finishedCount_;
  ++generation_;
  changed_.notify_all();
}

std::uint32_t WaveDevice::Write(WaveHeader* header) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (quit_) return kWaveInvalidHandle;
  if ((header->flags & kWaveHeaderPrepared) == 0) return kWaveUnprepared;
  if ((header->flags & kWaveHeaderInQueue) != 0) return kWaveStillPlaying;
  AdvanceLocked();
  const bool wasIdle = queue_.empty();
  header->flags = (header->flags & ~kWaveHeaderDone) | kWaveHeaderInQueue;
  queue_.push_back(header);
  if (wasIdle) frontOffset_ = 0;
  OnWriteLocked(wasIdle);
  ++generation_;
  changed_.notify_all();
  return kWaveNoError;
}

std::uint32_t WaveDevice::Pause() {
  std::lock_guard<std::mutex> hold(mutex_);
  if (paused_) return kWaveNoError;
  AdvanceLocked();
  OnPauseLocked();
  paused_ = true;
  ++generation_;
  changed_.notify_all();
  return kWaveNoError;
}

std::uint32_t WaveDevice::Restart() {
  std::lock_guard<std::mutex> hold(mutex_);
  if (!paused_) return kWaveNoError;
  paused_ = false;
  OnRestartLocked();
  ++generation_;
  changed_.notify_all();
  return kWaveNoError;
}

std::uint32_t WaveDevice::Reset() {
  std::unique_lock<std::mutex> lock(mutex_);
  AdvanceLocked();
  OnResetLocked();
  while (!queue_.empty()) FinishFrontLocked(false);
  frontOffset_ = 0;
  framesBeforeFront_ = 0;
  ++generation_;
  changed_.notify_all();
  // Called from the device's own callback the blocks go back once the callback returns.
  if (tCompletionDevice == this) return kWaveNoError;
  const std::uint64_t target = finishedCount_;
  changed_.wait(lock, [&] { return handedCount_ >= target; });
  return kWaveNoError;
}

std::uint32_t WaveDevice::BeginClose() {
  std::lock_guard<std::mutex> hold(mutex_);
  AdvanceLocked();
  if (!queue_.empty() || !completed_.empty()) return kWaveStillPlaying;
  quit_ = true;
  changed_.notify_all();
  return kWaveNoError;
}

std::uint64_t WaveDevice::PositionSamples() {
  std::lock_guard<std::mutex> hold(mutex_);
  AdvanceLocked();
  std::uint64_t front = queue_.empty() ? 0 : FrontPlayedBytesLocked();
  return framesBeforeFront_ + front / format_.blockAlign;
}

std::uint32_t WaveDevice::Volume() {
  std::lock_guard<std::mutex> hold(mutex_);
  return volume_;
}

void WaveDevice::SetVolume(std::uint32_t volume) {
  std::lock_guard<std::mutex> hold(mutex_);
  volume_ = volume;
}

// ---- The API ----

std::uint32_t WaveOutOpen(WaveOutHandle* device, std::uint32_t deviceId, const WaveFormat& format,
                          WaveCallback callback, std::uintptr_t instance, std::uint32_t flags) {
  if (device == nullptr) return kWaveError;
  *device = nullptr;
  Wave& w = TheWave();
  std::unique_lock<std::mutex> lock(w.mutex);
  if (w.refuseAll) return kWaveBadDeviceId;
  if (deviceId != kWaveMapper && deviceId != 0) return kWaveBadDeviceId;
  if (!PlayableFormat(format)) return kWaveBadFormat;
  if (w.refuse && w.refuse(format)) return kWaveBadFormat;
  if ((flags & 0x70000u) != kWaveCallbackFunction) callback = nullptr;
  const std::uint32_t volume = w.device0Volume.load();

  std::shared_ptr<WaveDevice> made;
  std::uint32_t result = kWaveNoError;
  auto start = [&](std::shared_ptr<WaveDevice> candidate) {
    if (!candidate) return false;
    result = candidate->StartBackend();
    if (result != kWaveNoError) return false;
    made = std::move(candidate);
    return true;
  };
  switch (w.backend) {
    case Backend::Null:
      start(wave::MakeNullDevice(format, callback, instance, volume));
      break;
    case Backend::Wav:
      start(wave::MakeWavDevice(w.wavPath, format, callback, instance, volume));
      break;
    case Backend::Sdl: {
      std::string reason;
      if (!start(wave::MakeSdlDevice(format, callback, instance, volume, &reason)) &&
          result == kWaveNoError)
        result = kWaveBadDeviceId;
      break;
    }
    case Backend::Auto: {
      if (!w.autoFellBack) {
        std::string reason;
        if (!start(wave::MakeSdlDevice(format, callback, instance, volume, &reason))) {
          if (reason.empty()) reason = "the output device did not open";
          std::fprintf(stderr, "mivora: no sound device (%s); playing without sound\n",
                       reason.c_str());
          w.autoFellBack = true;
        }
      }
      if (!made) {
        result = kWaveNoError;
        start(wave::MakeNullDevice(format, callback, instance, volume));
      }
      break;
    }
  }
  if (!made) return result == kWaveNoError ? kWaveError : result;
  w.open.emplace(made.get(), made);
  w.active = made->Name();
  *device = made.get();
  made->StartThread(made);
  return kWaveNoError;
}

std::uint32_t WaveOutPrepareHeader(WaveOutHandle device, WaveHeader* header, std::uint32_t) {
  auto d = Find(device);
  if (!d) return kWaveInvalidHandle;
  if (header == nullptr || header->data == nullptr) return kWaveError;
  std::lock_guard<std::mutex> hold(d->Mutex());
  if ((header->flags & kWaveHeaderInQueue) != 0) return kWaveStillPlaying;
  header->flags |= kWaveHeaderPrepared;
  return kWaveNoError;
}

std::uint32_t WaveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header, std::uint32_t) {
  auto d = Find(device);
  if (!d) return kWaveInvalidHandle;
  if (header == nullptr) return kWaveError;
  std::lock_guard<std::mutex> hold(d->Mutex());
  if ((header->flags & kWaveHeaderInQueue) != 0) return kWaveStillPlaying;
  header->flags &= ~kWaveHeaderPrepared;
  return kWaveNoError;
}

std::uint32_t WaveOutWrite(WaveOutHandle device, WaveHeader* header, std::uint32_t) {
  auto d = Find(device);
  if (!d) return kWaveInvalidHandle;
  if (header == nullptr) return kWaveError;
  return d->Write(header);
}

std::uint32_t WaveOutPause(WaveOutHandle device) {
  auto d = Find(device);
  return d ? d->Pause() : kWaveInvalidHandle;
}

std::uint32_t WaveOutRestart(WaveOutHandle device) {
  auto d = Find(device);
  return d ? d->Restart() : kWaveInvalidHandle;
}

std::uint32_t WaveOutReset(WaveOutHandle device) {
  auto d = Find(device);
  return d ? d->Reset() : kWaveInvalidHandle;
}

std::uint32_t WaveOutClose(WaveOutHandle device) {
  std::shared_ptr<WaveDevice> d;
  {
    Wave& w = TheWave();
    std::lock_guard<std::mutex> hold(w.mutex);
    auto it = device == nullptr ? w.open.end() : w.open.find(device);
    if (it == w.open.end()) return kWaveInvalidHandle;
    const std::uint32_t result = it->second->BeginClose();
    if (result != kWaveNoError) return result;
    d = it->second;
    w.open.erase(it);
  }
  d->StopBackend();
  d->JoinThread();
  return kWaveNoError;
}

std::uint32_t WaveOutGetVolume(WaveOutHandle device, std::uint32_t* volume) {
  if (volume == nullptr) return kWaveError;
  if (device == nullptr) {
    *volume = TheWave().device0Volume.load();
    return kWaveNoError;
  }
  auto d = Find(device);
  if (!d) return kWaveInvalidHandle;
  *volume = d->Volume();
  return kWaveNoError;
}

std::uint32_t WaveOutSetVolume(WaveOutHandle device, std::uint32_t volume) {
  if (device == nullptr) {
    // Device 0 is the output every open device plays through: they all follow it.
    Wave& w = TheWave();
    std::lock_guard<std::mutex> hold(w.mutex);
    w.device0Volume = volume;
    for (auto& entry : w.open) entry.second->SetVolume(volume);
    return kWaveNoError;
  }
  auto d = Find(device);
  if (!d) return kWaveInvalidHandle;
  d->SetVolume(volume);
  return kWaveNoError;
}

std::uint32_t WaveOutGetPositionSamples(WaveOutHandle device, std::uint64_t* samples) {
  if (samples == nullptr) return kWaveError;
  auto d = Find(device);
  if (!d) return kWaveInvalidHandle;
  *samples = d->PositionSamples();
  return kWaveNoError;
}

bool SelectWaveBackend(std::string_view choice) {
  Wave& w = TheWave();
  std::lock_guard<std::mutex> hold(w.mutex);
  if (choice == "auto") {
    w.backend = Backend::Auto;
  } else if (choice == "sdl") {
    w.backend = Backend::Sdl;
  } else if (choice == "null") {
    w.backend = Backend::Null;
  } else if (choice.substr(0, 4) == "wav:" && choice.size() > 4) {
    w.backend = Backend::Wav;
    w.wavPath = std::string(choice.substr(4));
    wave::ForgetWavFile(w.wavPath);
  } else {
    return false;
  }
  return true;
}

std::string ActiveWaveBackend() {
  Wave& w = TheWave();
  std::lock_guard<std::mutex> hold(w.mutex);
  return w.active;
}

void SetWaveFormatFilter(std::function<bool(const WaveFormat&)> refuse) {
  Wave& w = TheWave();
  std::lock_guard<std::mutex> hold(w.mutex);
  w.refuse = std::move(refuse);
}

void RefuseAllWaveOpens(bool refuse) {
  Wave& w = TheWave();
  std::lock_guard<std::mutex> hold(w.mutex);
  w.refuseAll = refuse;
}

WaveTotals GetWaveTotals() {
  Totals& t = TheTotals();
  return WaveTotals{t.blocksPlayed.load(), t.samplesPlayed.load(), t.blocksReset.load()};
}

}  // namespace mivora::platform
