#include "shell/volume.h"

#include <algorithm>

#include "platform/wave_out.h"

namespace mivora {

std::uint32_t SteppedVolume(std::uint32_t volume, bool up) {
  // The percentage is read from the right channel's half, as the device reports both alike.
  std::int32_t p = static_cast<std::int32_t>(((volume >> 16) * 100u) / 65535u);
  p += up ? 15 : -15;
  p = std::clamp(p, 0, 100);
  const std::uint32_t half = static_cast<std::uint32_t>(p) * 65535u / 100u;
  return (half << 16) | half;
}

void ChangeVolume(bool up) {
  std::uint32_t volume = 0;
  platform::WaveOutGetVolume(nullptr, &volume);
  platform::WaveOutSetVolume(nullptr, SteppedVolume(volume, up));
}

}  // namespace mivora
