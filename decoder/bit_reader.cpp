#include "decoder/bit_reader.h"

namespace mivora::decoder {

void BitReader::Seek(std::size_t bit) {
  next_ = bit >> 3;
  cache_ = 0;
  count_ = 0;
  Refill();
  const int within = static_cast<int>(bit & 7);
  cache_ <<= within;
  count_ -= within;
}

bool BitReader::MarkerAhead(int zeros, bool needOne, bool checkStuffing) const {
  // Stuffing before a byte-aligned code: the rest of the current byte, or a whole 0x7F byte when
  // already aligned.
  int skip;
  if (BitPosition() == 0) {
    skip = ShowBits(8) == 0x7F ? 8 : 0;
  } else {
    skip = 8 - BitPosition();
  }
  if (checkStuffing) {
    if (skip == 0) return false;  // a code after a byte boundary always has stuffing in front
    if (ShowBits(skip) != (1u << (skip - 1)) - 1) return false;
  }
  const int tail = zeros + (needOne ? 1 : 0);
  const std::uint32_t v = ShowBits(skip + tail);
  const std::uint32_t mask = (1u << tail) - 1;
  return (v & mask) == (needOne ? 1u : 0u);
}

}  // namespace mivora::decoder
