#include "tools/decode/md5.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mivora {
namespace {

constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

// The sine-derived constants, computed once: floor(|sin(i + 1)| * 2^32).
const std::array<std::uint32_t, 64>& Constants() {
  static const std::array<std::uint32_t, 64> k = [] {
    std::array<std::uint32_t, 64> t{};
    for (int i = 0; i < 64; ++i)
      t[i] = static_cast<std::uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
    return t;
  }();
  return k;
}

inline std::uint32_t Rotate(std::uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

}  // namespace

Md5::Md5() : state_{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u} {}

void Md5::Block(const std::uint8_t* p) {
  const auto& k = Constants();
  std::uint32_t m[16];
  for (int i = 0; i < 16; ++i)
    m[i] = p[4 * i] | (p[4 * i + 1] << 8) | (p[4 * i + 2] << 16) |
           (static_cast<std::uint32_t>(p[4 * i + 3]) << 24);
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    std::uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) & 15;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) & 15;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) & 15;
    }
    const std::uint32_t next = b + Rotate(a + f + k[i] + m[g], kShift[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void Md5::Update(const std::uint8_t* data, std::size_t length) {
  length_ += length;
  while (length > 0) {
    const std::size_t take = std::min(length, 64 - pendingBytes_);
    std::memcpy(pending_ + pendingBytes_, data, take);
    pendingBytes_ += take;
    data += take;
    length -= take;
    if (pendingBytes_ == 64) {
      Block(pending_);
      pendingBytes_ = 0;
    }
  }
}

std::string Md5::HexDigest() {
  const std::uint64_t bits = length_ * 8;
  const std::uint8_t one = 0x80, zero = 0;
  Update(&one, 1);
  while (pendingBytes_ != 56) Update(&zero, 1);
  std::uint8_t tail[8];
  for (int i = 0; i < 8; ++i) tail[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  Update(tail, 8);
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::uint32_t word : state_)
    for (int i = 0; i < 4; ++i) {
      const std::uint8_t byte = static_cast<std::uint8_t>(word >> (8 * i));
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  return out;
}

}  // namespace mivora
