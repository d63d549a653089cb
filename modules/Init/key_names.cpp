#include "modules/Init/key_names.h"

#include <SDL.h>

#include <charconv>
#include <cstdio>

namespace mivora::settings {

namespace {

// A name goes into a "name = value" line, so it must not hold line ends or other control
// characters, nor begin or end with a space that trimming would lose.
bool IsPlainText(std::string_view name) {
  if (name.empty() || name.front() == ' ' || name.back() == ' ') return false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

std::optional<std::int32_t> HexCode(std::string_view text) {
  if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
  std::uint32_t bits = 0;
  const char* first = text.data() + 2;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, bits, 16);
  if (error != std::errc() || end != last) return std::nullopt;
  return static_cast<std::int32_t>(bits);
}

}  // namespace

std::string KeyName(std::int32_t code) {
  if (code == 0) return std::string(kNoKeyName);
  // SDL_GetKeyName works without SDL_Init; it keeps its answer in a buffer of its own.
  const char* sdlName = SDL_GetKeyName(static_cast<SDL_Keycode>(code));
  const std::string name = sdlName != nullptr ? sdlName : "";
  if (IsPlainText(name) && HexCode(name) == std::nullopt &&
      SDL_GetKeyFromName(name.c_str()) == code) {
    return name;
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(code));
  return hex;
}

std::optional<std::int32_t> KeyFromName(std::string_view name) {
  if (name.empty()) return 0;
  if (name.size() == kNoKeyName.size()) {
    bool none = true;
    for (std::size_t i = 0; i < name.size(); ++i) {
      const char c = name[i];
      none = none && char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) == kNoKeyName[i];
    }
    if (none) return 0;
  }
  if (const auto code = HexCode(name)) return code;
  if (name.find('\0') != std::string_view::npos) return std::nullopt;  // SDL would read a part
  const std::string text(name);
  const SDL_Keycode code = SDL_GetKeyFromName(text.c_str());
  if (code == SDLK_UNKNOWN) return std::nullopt;
  return static_cast<std::int32_t>(code);
}

}  // namespace mivora::settings
