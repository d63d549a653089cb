// The display memory the converters write into: RGB 5-6-5 pixels, `pitch` pixels from one row to
// the next. On the handheld it is 640 x 240 at a fixed address; here one process-wide buffer
// stands in its place, and its geometry can be set so a desktop display can show a whole picture.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mivora::platform {

struct DisplayGeometry {
  std::int32_t width = 640;   // pixels per row shown
  std::int32_t height = 240;  // rows
  std::int32_t pitch = 640;   // pixels from one row to the next (>= width)

  std::int64_t Pixels() const { return std::int64_t(pitch) * height; }
  friend bool operator==(const DisplayGeometry&, const DisplayGeometry&) = default;
};

// The handheld's screen: the default geometry.
inline constexpr DisplayGeometry kHandheldGeometry{640, 240, 640};
inline constexpr int kDisplayWidth = kHandheldGeometry.width;
inline constexpr int kDisplayHeight = kHandheldGeometry.height;
inline constexpr int kDisplayPixels = kDisplayWidth * kDisplayHeight;
// The largest display this machine's player makes.
inline constexpr int kMaxDisplayWidth = 3840;
inline constexpr int kMaxDisplayHeight = 2160;
// Where the handheld's display memory lies; kept for reference, never dereferenced.
inline constexpr std::uint32_t kDeviceDisplayAddress = 0x82200000u;

// The display as one consistent moment: its memory and the geometry in force.
struct DisplaySnapshot {
  std::uint16_t* memory = nullptr;
  DisplayGeometry geometry;
  std::int64_t capacity = 0;  // pixels the memory holds (>= geometry.Pixels())
};
DisplaySnapshot CurrentDisplay();
DisplayGeometry CurrentDisplayGeometry();

// A geometry is valid when 1 <= width <= pitch, 1 <= height, width and height within the maximum.
bool ValidDisplayGeometry(const DisplayGeometry& geometry);

// Makes the display memory hold at least `pixels` pixels. Called when an item opens, never while
// a picture is being converted: memory only grows, and an outgrown buffer is kept (not freed) so
// a painter that read the old address finishes on memory that still exists. New pixels are
// black. Returns false (nothing changed) for more than the largest display.
bool ReserveDisplayMemory(std::int64_t pixels);
// Puts a geometry in force, growing the memory when it needs more. Returns false for an invalid
// geometry (the one in force stays). Pixels are not moved or cleared.
bool SetDisplayGeometry(const DisplayGeometry& geometry);

// The first pixel of the display buffer (black at program start).
std::uint16_t* DisplayMemory();
// The pixels of the geometry in force (pitch x height).
std::int64_t DisplayPixels();
// The display position startOffset pixels from the start (the byte address is the start plus
// 2 * startOffset); null when startOffset lies outside the geometry in force.
std::uint16_t* DisplayDestination(std::int32_t startOffset);
// Sets every pixel of the memory to black.
void ClearDisplayMemory();

}  // namespace mivora::platform
