#include "shell/play_time.h"

namespace mivora {

std::u16string PlayingTimeText(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const std::int64_t h = seconds / 3600, m = (seconds - 3600 * h) / 60,
                     s = seconds - 3600 * h - 60 * m;
  std::string text;
  if (h > 0) text += std::to_string(h) + "hr ";
  if (m > 0) text += std::to_string(m) + "m ";
  text += std::to_string(s) + "s";
  return std::u16string(text.begin(), text.end());
}

}  // namespace mivora
