// The "Display size" option as the options record keeps it (a mode byte and two numbers).
#pragma once

#include "output/display_size.h"
#include "shell/player_options.h"

namespace mivora {

// What the record's fields say; a mode byte no one knows, or explicit sides out of range, read as
// the handheld's display.
inline DisplaySize DisplaySizeFrom(std::uint8_t mode, std::int32_t width, std::int32_t height) {
  if (mode == std::uint8_t(DisplaySizeMode::Fit)) return {DisplaySizeMode::Fit, 0, 0};
  if (mode == std::uint8_t(DisplaySizeMode::Explicit) && width >= 1 &&
      width <= platform::kMaxDisplayWidth && height >= 1 && height <= platform::kMaxDisplayHeight)
    return {DisplaySizeMode::Explicit, width, height};
  return {};
}

// The option as the engine's threads read it.
inline DisplaySize DisplaySizeOption(PlayerOptions& o) {
  return DisplaySizeFrom(ReadOption(o.DisplaySize), ReadOption(o.DisplayWidth),
                         ReadOption(o.DisplayHeight));
}

inline void SetDisplaySizeOption(PlayerOptions& o, const DisplaySize& size) {
  WriteOption(o.DisplaySize, std::uint8_t(size.mode));
  WriteOption(o.DisplayWidth, size.mode == DisplaySizeMode::Explicit ? size.width : 0);
  WriteOption(o.DisplayHeight, size.mode == DisplaySizeMode::Explicit ? size.height : 0);
}

}  // namespace mivora
