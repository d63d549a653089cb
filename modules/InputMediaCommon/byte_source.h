// A source of bytes addressed by position: a local file or an http:// or https:// resource.
#pragma once

#include <cstdint>

namespace mivora::io {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Length in bytes, fixed at open time.
  virtual std::int64_t Length() const = 0;
  // Reads up to count bytes starting at pos into buffer. Returns the bytes placed; fewer than
  // asked (possibly 0) at the end of the source or when the source failed.
  virtual std::int64_t ReadAt(std::int64_t pos, std::uint8_t* buffer, std::int64_t count) = 0;
};

}  // namespace mivora::io
