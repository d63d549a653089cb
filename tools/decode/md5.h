// A small MD5 (RFC 1321) for per-frame checksums.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace mivora {

class Md5 {
 public:
  Md5();
  void Update(const std::uint8_t* data, std::size_t length);
  // Lower-case hex digest; the object must not be updated afterwards.
  std::string HexDigest();

 private:
  void Block(const std::uint8_t* p);
  std::array<std::uint32_t, 4> state_;
  std::uint64_t length_ = 0;
  std::uint8_t pending_[64];
  std::size_t pendingBytes_ = 0;
};

}  // namespace mivora
