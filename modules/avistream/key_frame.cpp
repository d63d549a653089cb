#include "modules/avistream/key_frame.h"

#include <cstring>

namespace mivora::avistream {

namespace {
// Sequence headers and user data before the first picture are a few hundred bytes at most.
constexpr std::size_t kPictureSearchBytes = 4096;
constexpr std::uint8_t kPictureStartCode = 0xB6;
}  // namespace

bool IsKeyFramePayload(const char (&fourcc)[4], const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size == 0) return false;
  if (std::memcmp(fourcc, "DIV3", 4) == 0 || std::memcmp(fourcc, "div3", 4) == 0) {
    return (data[0] >> 6) == 0;
  }
  const std::size_t limit = size < kPictureSearchBytes ? size : kPictureSearchBytes;
  for (std::size_t i = 0; i + 4 < limit; ++i) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == kPictureStartCode) {
      return (data[i + 4] >> 6) == 0;
    }
  }
  return false;
}

}  // namespace mivora::avistream
