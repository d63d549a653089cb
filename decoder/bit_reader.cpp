#include "decoder/bit_reader.h"

namespace mivora::decoder {

std::uint64_t BitReader::LoadNearEnd(const std::uint8_t* data, std::size_t size,
                                     std::size_t position) {
  const std::size_t byte = position >> 3;
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    const bool inside = byte < size && i < size - byte;
    v = (v << 8) | (inside ? data[byte + i] : 0u);
  }
  return v << (position & 7);
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
