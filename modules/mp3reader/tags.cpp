#include "modules/mp3reader/tags.h"

#include <cstring>

namespace mivora::mp3 {

namespace {

constexpr std::size_t kId3v1Bytes = 128;
constexpr std::size_t kApeFooterBytes = 32;

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}

}  // namespace

std::int64_t Id3v2TagBytes(const std::uint8_t* p, std::size_t available) {
  if (available < 10 || std::memcmp(p, "ID3", 3) != 0 || p[3] == 0xFF || p[4] == 0xFF) return 0;
  std::int64_t size = 0;
  for (int i = 6; i < 10; ++i) {
    if (p[i] & 0x80) return 0;  // sizes are syncsafe: seven bits a byte
    size = (size << 7) | p[i];
  }
  // The extended header lies inside the counted size; a footer (flag 0x10) follows it.
  const bool footer = (p[5] & 0x10) != 0;
  return 10 + size + (footer ? 10 : 0);
}

std::int64_t TrailingTagBytes(const std::uint8_t* tail, std::size_t length) {
  std::size_t end = length;
  bool id3v1 = false;
  bool ape = false;
  for (int round = 0; round < 2; ++round) {
    if (!id3v1 && end >= kId3v1Bytes && std::memcmp(tail + end - kId3v1Bytes, "TAG", 3) == 0) {
      end -= kId3v1Bytes;
      id3v1 = true;
      continue;
    }
    if (!ape && end >= kApeFooterBytes &&
        std::memcmp(tail + end - kApeFooterBytes, "APETAGEX", 8) == 0) {
      const std::uint8_t* footer = tail + end - kApeFooterBytes;
      std::uint64_t bytes = Le32(footer + 12);                        // items and footer
      if (Le32(footer + 20) & 0x80000000u) bytes += kApeFooterBytes;  // and a header
      if (bytes < kApeFooterBytes || bytes > end) bytes = kApeFooterBytes;
      end -= static_cast<std::size_t>(bytes);
      ape = true;
      continue;
    }
    break;
  }
  return static_cast<std::int64_t>(length - end);
}

}  // namespace mivora::mp3
