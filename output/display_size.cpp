#include "output/display_size.h"

#include <algorithm>
#include <charconv>

namespace mivora {

namespace {

bool ParseSide(std::string_view text, int limit, std::int32_t& value) {
  if (text.empty() || text.size() > 5) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= 1 && value <= limit;
}

}  // namespace

std::optional<DisplaySize> ParseDisplaySize(std::string_view text) {
  if (text == "handheld") return DisplaySize{};
  if (text == "fit") return DisplaySize{DisplaySizeMode::Fit, 0, 0};
  const std::size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos) return std::nullopt;
  DisplaySize size{DisplaySizeMode::Explicit, 0, 0};
  if (!ParseSide(text.substr(0, x), platform::kMaxDisplayWidth, size.width) ||
      !ParseSide(text.substr(x + 1), platform::kMaxDisplayHeight, size.height))
    return std::nullopt;
  return size;
}

std::string DisplaySizeText(const DisplaySize& size) {
  switch (size.mode) {
    case DisplaySizeMode::Fit:
      return "fit";
    case DisplaySizeMode::Explicit:
      return std::to_string(size.width) + "x" + std::to_string(size.height);
    case DisplaySizeMode::Handheld:
      break;
  }
  return "handheld";
}

platform::DisplayGeometry GeometryFor(const DisplaySize& size, int width, int height, bool rotate,
                                      bool doubleSize) {
  platform::DisplayGeometry g = platform::kHandheldGeometry;
  if (size.mode == DisplaySizeMode::Explicit) {
    g.width = std::clamp(size.width, 1, platform::kMaxDisplayWidth);
    g.height = std::clamp(size.height, 1, platform::kMaxDisplayHeight);
  } else if (size.mode == DisplaySizeMode::Fit && width > 0 && height > 0) {
    std::int64_t w = rotate ? height : width;
    std::int64_t h = rotate ? width : height;
    if (doubleSize) {
      w *= 2;
      h *= 2;
    }
    g.width = int(std::min<std::int64_t>(w, platform::kMaxDisplayWidth));
    g.height = int(std::min<std::int64_t>(h, platform::kMaxDisplayHeight));
  }
  g.pitch = g.width;
  return g;
}

std::int64_t LargestDisplayPixels(const DisplaySize& size, int width, int height) {
  std::int64_t most = 0;
  for (int mode = 0; mode < 4; ++mode)
    most = std::max(most, GeometryFor(size, width, height, mode & 1, mode & 2).Pixels());
  return most;
}

}  // namespace mivora
