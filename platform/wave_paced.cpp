// The paced device core of "null" and "wav": the front block plays from frontStartUs_ for its
// duration at the format's real rate in platform clock time; blocks follow back to back; a block
// written to an idle device starts kLatencyUs later, as on a real card.
#include <algorithm>

#include "platform/clock.h"
#include "platform/wave_device.h"

namespace mivora::platform {

std::int64_t PacedWaveDevice::DurationUs(std::uint64_t bytes) const {
  const std::uint64_t rate = format_.averageBytesPerSecond;
  return static_cast<std::int64_t>((bytes * 1000000u + rate - 1) / rate);
}

std::uint64_t PacedWaveDevice::BytesIn(std::int64_t us) const {
  if (us <= 0) return 0;
  const std::uint64_t bytes =
      static_cast<std::uint64_t>(us) * format_.averageBytesPerSecond / 1000000u;
  return bytes - bytes % format_.blockAlign;
}

void PacedWaveDevice::OnWriteLocked(bool wasIdle) {
  if (!wasIdle) return;
  if (paused_) {
    latencyLeftUs_ = kLatencyUs;
  } else {
    frontStartUs_ = ClockNowUs() + kLatencyUs;
  }
}

void PacedWaveDevice::OnPauseLocked() {
  if (queue_.empty()) return;
  const std::int64_t now = ClockNowUs();
  if (now < frontStartUs_) {
    latencyLeftUs_ = frontStartUs_ - now;
  } else {
    frontOffset_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        queue_.front()->bufferLength, frontOffset_ + BytesIn(now - frontStartUs_)));
    latencyLeftUs_ = 0;
  }
}

void PacedWaveDevice::OnRestartLocked() {
  if (queue_.empty()) return;
  frontStartUs_ = ClockNowUs() + latencyLeftUs_;
  latencyLeftUs_ = 0;
}

void PacedWaveDevice::OnResetLocked() {
  if (queue_.empty()) return;
  // The part of the front block already heard is kept (wav); the rest is discarded.
  const std::uint64_t played = FrontPlayedBytesLocked();
  if (played > 0) {
    PlayedLocked(queue_.front()->data, static_cast<std::size_t>(played));
    wave::CountPlayed(0, played / format_.blockAlign);
  }
  latencyLeftUs_ = 0;
}

void PacedWaveDevice::AdvanceLocked() {
  if (paused_) return;
  const std::int64_t now = ClockNowUs();
  while (!queue_.empty()) {
    WaveHeader* front = queue_.front();
    const std::int64_t end = frontStartUs_ + DurationUs(front->bufferLength - frontOffset_);
    if (now < end) break;
    PlayedLocked(front->data, front->bufferLength);
    FinishFrontLocked(true);
    frontStartUs_ = end;  // the next block follows at once
  }
}

bool PacedWaveDevice::NextDeadlineLocked(std::int64_t* deadlineUs) {
  if (paused_ || queue_.empty()) return false;
  *deadlineUs = frontStartUs_ + DurationUs(queue_.front()->bufferLength - frontOffset_);
  return true;
}

std::uint64_t PacedWaveDevice::FrontPlayedBytesLocked() {
  if (queue_.empty()) return 0;
  if (paused_) return frontOffset_;
  const std::int64_t now = ClockNowUs();
  return std::min<std::uint64_t>(queue_.front()->bufferLength,
                                 frontOffset_ + BytesIn(now - frontStartUs_));
}

}  // namespace mivora::platform
