#include "tools/play/play_report.h"

#include <sys/resource.h>

#include <cmath>
#include <cstdio>

#include "engine/player_state.h"
#include "platform/wave_out.h"

namespace mivora::play {

void PlayReport::FrameShown(bool measured, double offsetMs) {
  std::lock_guard<std::mutex> hold(mutex_);
  ++framesShown_;
  if (!measured) return;
  ++measured_;
  sumMs_ += offsetMs;
  sumAbsMs_ += std::fabs(offsetMs);
  if (std::fabs(offsetMs) > maxAbsMs_) maxAbsMs_ = std::fabs(offsetMs);
}

std::uint64_t PlayReport::FramesShown() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return framesShown_;
}

void PlayReport::Print(std::ostream& out, const std::vector<std::string>& messages) const {
  std::lock_guard<std::mutex> hold(mutex_);
  const PlayerState& s = State();
  const platform::WaveTotals wave = platform::GetWaveTotals();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  char line[64];
  out << "framesShown=" << framesShown_ << "\n";
  out << "framesDropped=" << s.framesDecodedUnshown.load() << "\n";
  out << "framesSkipped=" << s.framesSkippedToKey.load() << "\n";
  out << "audioBlocksPlayed=" << wave.blocksPlayed << "\n";
  out << "audioSamplesPlayed=" << wave.samplesPlayed << "\n";
  out << "audioBackend=" << platform::ActiveWaveBackend() << "\n";
  std::snprintf(line, sizeof line, "%.1f", measured_ ? sumAbsMs_ / double(measured_) : 0.0);
  out << "avOffsetMeanMs=" << line << "\n";
  std::snprintf(line, sizeof line, "%.1f", measured_ ? sumMs_ / double(measured_) : 0.0);
  out << "avOffsetSignedMeanMs=" << line << "\n";
  std::snprintf(line, sizeof line, "%.1f", maxAbsMs_);
  out << "avOffsetMaxMs=" << line << "\n";
  std::snprintf(line, sizeof line, "%.3f", cpu);
  out << "cpuSeconds=" << line << "\n";
  out << "peakMemoryKiB=" << usage.ru_maxrss << "\n";
  out << "messages=" << messages.size() << "\n";
  for (std::size_t i = 0; i < messages.size(); ++i)
    out << "message" << i + 1 << "=" << messages[i] << "\n";
}

}  // namespace mivora::play
