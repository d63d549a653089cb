// What the system tells about the device: the OEM information string, the registry value
// Platform\Name under the local-machine root, and the screen's size and depth. Here they are
// stand-ins a user sets through the environment:
//   MIVORA_OEM_INFO       the OEM information string (unset or empty: none)
//   MIVORA_PLATFORM_NAME  the registry value Platform\Name (unset: the key does not exist)
//   MIVORA_SCREEN_DEPTH   bits per pixel of the screen (default 16)
// The screen is 640 x 240 pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace mivora::platform {

// Room of the OEM information query: 256 wide characters with the terminator.
inline constexpr std::size_t kOemInfoChars = 256;
// Room of the registry read: 256 bytes, 128 wide characters with the terminator.
inline constexpr std::size_t kPlatformNameChars = 128;

// The OEM information string, cut to the query's room (255 characters); empty when none is set.
std::u16string OemInformation();
// The registry value Platform\Name; nullopt when the key or value is missing, or when the value
// does not fit the 128-character room (the read fails as the registry's does).
std::optional<std::u16string> PlatformName();

int ScreenBitsPerPixel();
int ScreenWidth();
int ScreenHeight();

}  // namespace mivora::platform
