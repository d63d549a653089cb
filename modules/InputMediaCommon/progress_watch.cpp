#include "modules/InputMediaCommon/progress_watch.h"

namespace mivora::io {

void ProgressWatch::Restart(std::int64_t now_ms) {
  last_arrival_ms_ = now_ms;
  window_start_ms_ = now_ms;
  window_bytes_ = 0;
}

void ProgressWatch::Arrived(std::int64_t now_ms, std::int64_t bytes) {
  last_arrival_ms_ = now_ms;
  window_bytes_ += bytes;
}

bool ProgressWatch::Expired(std::int64_t now_ms) {
  if (now_ms - last_arrival_ms_ >= kStallMs) return true;
  while (now_ms - window_start_ms_ >= kWindowMs) {
    if (window_bytes_ < kWindowBytes) return true;
    window_start_ms_ += kWindowMs;
    window_bytes_ = 0;
  }
  return false;
}

}  // namespace mivora::io
