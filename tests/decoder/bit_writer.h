// Builds test bit streams from fields and code strings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mivora::decoder::testing {

class BitWriter {
 public:
  BitWriter& Put(std::uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) Bit((value >> i) & 1);
    return *this;
  }
  // A code given as a string of '0' and '1' (other characters ignored).
  BitWriter& Code(const std::string& code) {
    for (char c : code) {
      if (c == '0' || c == '1') Bit(c == '1');
    }
    return *this;
  }
  // Stuffing as in front of a start code: a zero and then ones up to the byte boundary.
  BitWriter& Stuff() {
    Bit(0);
    while (count_ % 8) Bit(1);
    return *this;
  }
  BitWriter& StartCode(std::uint8_t code) {
    while (count_ % 8) Bit(0);
    return Put(0x000001, 24).Put(code, 8);
  }
  std::vector<std::uint8_t> Bytes() const { return bytes_; }
  int Count() const { return count_; }

 private:
  void Bit(bool b) {
    if (count_ % 8 == 0) bytes_.push_back(0);
    if (b) bytes_.back() |= static_cast<std::uint8_t>(0x80 >> (count_ % 8));
    ++count_;
  }
  std::vector<std::uint8_t> bytes_;
  int count_ = 0;
};

}  // namespace mivora::decoder::testing
