// Unsigned little-endian numbers read byte by byte, so file data needs no alignment.
#pragma once

#include <cstdint>

namespace mivora::avi {

inline std::uint32_t ReadU32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}

inline std::uint16_t ReadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline bool IsId(const std::uint8_t* p, const char (&id)[5]) {
  return p[0] == std::uint8_t(id[0]) && p[1] == std::uint8_t(id[1]) &&
         p[2] == std::uint8_t(id[2]) && p[3] == std::uint8_t(id[3]);
}

}  // namespace mivora::avi
