#include "platform/device_info.h"

#include <cstdlib>
#include <string_view>

#include "platform/wide_string.h"

namespace mivora::platform {

std::u16string OemInformation() {
  const char* text = std::getenv("MIVORA_OEM_INFO");
  if (!text) return {};
  std::u16string info = FromUtf8(text);
  if (info.size() > kOemInfoChars - 1) info.resize(kOemInfoChars - 1);
  return info;
}

std::optional<std::u16string> PlatformName() {
  const char* text = std::getenv("MIVORA_PLATFORM_NAME");
  if (!text) return std::nullopt;
  std::u16string name = FromUtf8(text);
  if (name.size() > kPlatformNameChars - 1) return std::nullopt;
  return name;
}

int ScreenBitsPerPixel() {
  const char* text = std::getenv("MIVORA_SCREEN_DEPTH");
  if (!text || !*text) return 16;
  char* end = nullptr;
  const long depth = std::strtol(text, &end, 10);
  // Anything that is not a plausible depth falls back to the display's own 16 bits.
  if (*end != '\0' || depth < 1 || depth > 32) return 16;
  return static_cast<int>(depth);
}

int ScreenWidth() {
  return 640;
}
int ScreenHeight() {
  return 240;
}

}  // namespace mivora::platform
