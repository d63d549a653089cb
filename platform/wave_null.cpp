// "null": no sound, paced by the platform clock.
#include "platform/wave_device.h"

namespace mivora::platform {
namespace {
class NullWaveDevice final : public PacedWaveDevice {
 public:
  using PacedWaveDevice::PacedWaveDevice;
  const char* Name() const override { return "null"; }
};
}  // namespace

namespace wave {
std::shared_ptr<WaveDevice> MakeNullDevice(const WaveFormat& format, WaveCallback callback,
                                           std::uintptr_t instance, std::uint32_t volume) {
  return std::make_shared<NullWaveDevice>(format, callback, instance, volume);
}
}  // namespace wave
}  // namespace mivora::platform
