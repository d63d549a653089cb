// The volume keys: the wave device's volume moved by 15 % of full scale, both channels alike.
#pragma once

#include <cstdint>

namespace mivora {

// From a device volume (left channel in the low 16 bits, right in the high) to the next one.
std::uint32_t SteppedVolume(std::uint32_t volume, bool up);
// Reads the volume of device 0, steps it and sets it.
void ChangeVolume(bool up);

}  // namespace mivora
