// Inside the wave output (wave_out.cpp and the backends): the device core every backend shares,
// the paced core of "null" and "wav", and the backends' factories.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/wave_out.h"

namespace mivora::platform {

namespace wave {
// Applies volume (low 16 bits left, high 16 bits right, 0xFFFF unity) to bytes of 16-bit PCM
// with the given channels, from source to target (which may be the same; no alignment needed).
void ApplyGain(const std::uint8_t* source, std::uint8_t* target, std::size_t bytes, int channels,
               std::uint32_t volume);
void CountPlayed(std::uint64_t blocks, std::uint64_t frames);
void CountReset(std::uint64_t blocks);
}  // namespace wave

// One open device. The handle the API hands out is a pointer to it; every call looks it up in the
// table of open devices first, so a stale handle is refused rather than followed.
struct WaveDevice {
 public:
  WaveDevice(const WaveFormat& format, WaveCallback callback, std::uintptr_t instance,
             std::uint32_t volume);
  virtual ~WaveDevice();
  WaveDevice(const WaveDevice&) = delete;
  WaveDevice& operator=(const WaveDevice&) = delete;

  virtual const char* Name() const = 0;
  // Called once before the completion thread starts; a failure ends the open with its code.
  virtual std::uint32_t StartBackend() { return kWaveNoError; }
  // Called once at close with no lock held, before the completion thread is joined.
  virtual void StopBackend() {}

  // Starts the completion thread (self keeps the device alive while it runs).
  void StartThread(std::shared_ptr<WaveDevice> self);
  void JoinThread();

  std::uint32_t Write(WaveHeader* header);
  std::uint32_t Pause();
  std::uint32_t Restart();
  std::uint32_t Reset();
  // kWaveStillPlaying while blocks are queued or not handed back, else marks the device closing.
  std::uint32_t BeginClose();
  std::uint64_t PositionSamples();
  std::uint32_t Volume();
  void SetVolume(std::uint32_t volume);
  std::mutex& Mutex() { return mutex_; }

 protected:
  // Backend hooks, all called with mutex_ held.
  virtual void OnWriteLocked(bool /*wasIdle*/) {}
  virtual void OnPauseLocked() {}
  virtual void OnRestartLocked() {}
  // Before a reset hands every queued block back.
  virtual void OnResetLocked() {}
  // Moves blocks whose time has come to the completed list (paced backends).
  virtual void AdvanceLocked() {}
  // When the paced front block ends in clock time; false when nothing is timed.
  virtual bool NextDeadlineLocked(std::int64_t* /*deadlineUs*/) { return false; }
  // Bytes of the front block played so far.
  virtual std::uint64_t FrontPlayedBytesLocked() { return frontOffset_; }

  // Hands the front block back: played to its end, or cut off by a reset.
  void FinishFrontLocked(bool played);

  const WaveFormat format_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<WaveHeader*> queue_;  // written and not yet finished; the front one plays
  std::uint32_t frontOffset_ = 0;  // bytes of the front block already played
  bool paused_ = false;
  std::uint64_t framesBeforeFront_ = 0;  // frames of blocks finished since the open or reset
  std::uint32_t volume_;
  std::uint64_t generation_ = 0;  // bumped on every change the completion thread must notice

 private:
  void Run();
  void Call(std::uint32_t message, WaveHeader* header);

  WaveCallback callback_;
  std::uintptr_t instance_;
  std::deque<WaveHeader*> completed_;  // finished, not yet handed to the callback
  std::uint64_t finishedCount_ = 0;    // blocks moved to completed_
  std::uint64_t handedCount_ = 0;      // blocks whose callback has returned
  bool quit_ = false;
  std::thread thread_;
};

// "null" and "wav": played at the format's real rate by the platform clock.
class PacedWaveDevice : public WaveDevice {
 public:
  using WaveDevice::WaveDevice;
  // Latency of an idle device: a block written to it starts this much clock time later.
  static constexpr std::int64_t kLatencyUs = 20000;

 protected:
  void OnWriteLocked(bool wasIdle) override;
  void OnPauseLocked() override;
  void OnRestartLocked() override;
  void OnResetLocked() override;
  void AdvanceLocked() override;
  bool NextDeadlineLocked(std::int64_t* deadlineUs) override;
  std::uint64_t FrontPlayedBytesLocked() override;
  // What was played, in order (wav writes it); called with mutex_ held.
  virtual void PlayedLocked(const std::uint8_t* /*data*/, std::size_t /*bytes*/) {}

 private:
  std::int64_t DurationUs(std::uint64_t bytes) const;
  std::uint64_t BytesIn(std::int64_t us) const;

  std::int64_t frontStartUs_ = 0;   // clock time at which the front block's remainder starts
  std::int64_t latencyLeftUs_ = 0;  // latency still to run when paused before the start
};

namespace wave {
std::shared_ptr<WaveDevice> MakeNullDevice(const WaveFormat& format, WaveCallback callback,
                                           std::uintptr_t instance, std::uint32_t volume);
std::shared_ptr<WaveDevice> MakeWavDevice(const std::string& path, const WaveFormat& format,
                                          WaveCallback callback, std::uintptr_t instance,
                                          std::uint32_t volume);
// The next wav open of path starts the file afresh (SelectWaveBackend).
void ForgetWavFile(const std::string& path);
// Null (with *reason set) when SDL audio cannot be used; built without SDL, always null.
std::shared_ptr<WaveDevice> MakeSdlDevice(const WaveFormat& format, WaveCallback callback,
                                          std::uintptr_t instance, std::uint32_t volume,
                                          std::string* reason);
}  // namespace wave

}  // namespace mivora::platform
