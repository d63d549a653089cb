// What mivora-play measures while it plays and prints at the end as name=value lines.
#pragma once

#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace mivora::play {

class PlayReport {
 public:
  // A shown frame and how far its media time was ahead (+) or behind (-) the sound played.
  void FrameShown(bool measured, double offsetMs);
  std::uint64_t FramesShown() const;
  void Print(std::ostream& out, const std::vector<std::string>& messages) const;

 private:
  mutable std::mutex mutex_;
  std::uint64_t framesShown_ = 0;
  std::uint64_t measured_ = 0;
  double sumAbsMs_ = 0;
  double sumMs_ = 0;
  double maxAbsMs_ = 0;
};

}  // namespace mivora::play
