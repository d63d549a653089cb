// The "Display size" option: the handheld's 640 x 240 screen, a display as large as the picture
// needs in the current output mode, or one the user names. It decides the display geometry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/display_memory.h"

namespace mivora {

enum class DisplaySizeMode : std::uint8_t {
  Handheld = 0,  // 640 x 240, whatever the picture
  Fit = 1,       // as large as the picture in the current output mode, up to 3840 x 2160
  Explicit = 2,  // width x height as given
};

struct DisplaySize {
  DisplaySizeMode mode = DisplaySizeMode::Handheld;
  std::int32_t width = 0;  // Explicit only
  std::int32_t height = 0;
  friend bool operator==(const DisplaySize&, const DisplaySize&) = default;
};

// "handheld", "fit" or "WxH" (1..3840 x 1..2160; 'x' or 'X'); nothing for anything else.
std::optional<DisplaySize> ParseDisplaySize(std::string_view text);
// The text ParseDisplaySize reads back.
std::string DisplaySizeText(const DisplaySize& size);

// The display for a picture of width x height samples in an output mode: as decoded w x h,
// turned h x w, doubled 2w x 2h; each side at most the largest display (larger pictures are
// cropped by the converters as on the handheld). Rows are as long as the display is wide. An
// empty picture (no video) gets the handheld display.
platform::DisplayGeometry GeometryFor(const DisplaySize& size, int width, int height, bool rotate,
                                      bool doubleSize);
// The most pixels any output mode of that picture needs: what to reserve when an item opens.
std::int64_t LargestDisplayPixels(const DisplaySize& size, int width, int height);

}  // namespace mivora
