// Key codes of PlayerOptions are SDL key codes; the options file and the Configure dialog show them
// by SDL's key names ("Space", "Right", "S"). Names are UTF-8: they go to a file and to the
// toolkit, never into the player's own text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mivora::settings {

// What the file holds for "no key".
inline constexpr std::string_view kNoKeyName = "none";

// SDL's name for code when it is plain printable text that reads back as the same code; else
// "0x" and the code's 32 bits in hex (keys SDL has no name for). 0 gives kNoKeyName.
std::string KeyName(std::int32_t code);

// The code for a name that KeyName gives, or that a person typed (SDL's names in any letter case,
// the "0x" form, "none" or nothing for 0). Empty when the text names no key.
std::optional<std::int32_t> KeyFromName(std::string_view name);

}  // namespace mivora::settings
