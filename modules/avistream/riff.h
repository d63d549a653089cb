// Little-endian numbers and chunk identifiers of RIFF files, read byte by byte.
#pragma once

#include <cstdint>

namespace mivora::avistream {

inline std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}

inline std::uint16_t U16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline bool IsId(const std::uint8_t* p, const char (&id)[5]) {
  return p[0] == std::uint8_t(id[0]) && p[1] == std::uint8_t(id[1]) &&
         p[2] == std::uint8_t(id[2]) && p[3] == std::uint8_t(id[3]);
}

// Stream number of a stream chunk id ("01wb" is 1), or -1 when the first two are not digits.
inline int StreamNumber(const std::uint8_t* id) {
  if (id[0] < '0' || id[0] > '9' || id[1] < '0' || id[1] > '9') return -1;
  return (id[0] - '0') * 10 + (id[1] - '0');
}

// Identifiers are four printable characters; anything else means the walk lost its place.
inline bool PlausibleId(const std::uint8_t* id) {
  for (int i = 0; i < 4; ++i) {
    if (id[i] < 0x20 || id[i] > 0x7E) return false;
  }
  return true;
}

}  // namespace mivora::avistream
