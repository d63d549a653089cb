// Decides when a network transfer has stopped making useful progress.
#pragma once

#include <cstdint>

namespace mivora::io {

// No byte for kStallMs ends a transfer (a silent or stalled server).
inline constexpr std::int64_t kStallMs = 4000;
// Fewer than kWindowBytes in a whole kWindowMs stretch ends it too (a server trickling bytes):
// 4 KiB/s is 32 kbit/s, the lowest bit rate anything the player plays needs.
inline constexpr std::int64_t kWindowMs = 4000;
inline constexpr std::int64_t kWindowBytes = 16 * 1024;

class ProgressWatch {
 public:
  // Waiting begins (again) at now_ms; time spent not waiting for the transfer never counts.
  void Restart(std::int64_t now_ms);
  // bytes arrived (0 for a response head, which still shows the server is alive).
  void Arrived(std::int64_t now_ms, std::int64_t bytes);
  // True once either limit above has been passed while waiting.
  bool Expired(std::int64_t now_ms);

 private:
  std::int64_t last_arrival_ms_ = 0;
  std::int64_t window_start_ms_ = 0;
  std::int64_t window_bytes_ = 0;
};

}  // namespace mivora::io
