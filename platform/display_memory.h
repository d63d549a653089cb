// The display memory the converters write into: 640 x 240 RGB 5-6-5 pixels, rows of 640. On the
// handheld it sits at a fixed address; here one process-wide buffer stands in its place.
#pragma once

#include <cstdint>

namespace mivora::platform {

inline constexpr int kDisplayWidth = 640;
inline constexpr int kDisplayHeight = 240;
inline constexpr int kDisplayPixels = kDisplayWidth * kDisplayHeight;
// Where the handheld's display memory lies; kept for reference, never dereferenced.
inline constexpr std::uint32_t kDeviceDisplayAddress = 0x82200000u;

// The first pixel of the display buffer (black at program start).
std::uint16_t* DisplayMemory();
// The display position startOffset pixels from the start (the byte address is the start plus
// 2 * startOffset); null when startOffset lies outside the display.
std::uint16_t* DisplayDestination(std::int32_t startOffset);
// Sets every pixel to black.
void ClearDisplayMemory();

}  // namespace mivora::platform
