// Reads the compressed frame most significant bit first. Bounded: bytes past the end of the data
// read as zero (which looks like a start code to the picture loop, so decoding stops there), and
// the reader remembers that it went past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mivora::decoder {

class BitReader {
 public:
  BitReader() = default;
  BitReader(const std::uint8_t* data, std::size_t size) { Reset(data, size); }

  void Reset(const std::uint8_t* data, std::size_t size) {
    data_ = data;
    size_ = data ? size : 0;
    position_ = 0;
  }

  // The next n bits (1 <= n <= 32) without consuming them.
  std::uint32_t ShowBits(int n) const {
    return static_cast<std::uint32_t>((Window() << (position_ & 7)) >> (64 - n));
  }
  void SkipBits(int n) { position_ += static_cast<std::size_t>(n); }
  std::uint32_t GetBits(int n) {
    const std::uint32_t v = ShowBits(n);
    SkipBits(n);
    return v;
  }
  int GetBit() { return static_cast<int>(GetBits(1)); }
  void AlignToByte() { position_ = (position_ + 7) & ~static_cast<std::size_t>(7); }

  // True when a start-code prefix (23 zero bits) begins at the next byte boundary, a whole
  // stuffing byte 0x7F passed over when already on one. Consumes nothing.
  bool StartCodeAhead() const { return MarkerAhead(23, false, false); }
  // As StartCodeAhead, but only when the bits up to the byte boundary are valid stuffing (a zero
  // and then ones): a picture's last macroblocks may be skip bits in its last byte, followed by
  // the next frame's start code.
  bool StuffedStartCodeAhead() const { return MarkerAhead(23, false, true); }
  // `zeros` zero bits and a one (the resynchronisation marker) after valid stuffing.
  bool ResyncMarkerAhead(int zeros) const { return MarkerAhead(zeros, true, true); }

  std::size_t BytePosition() const { return position_ >> 3; }
  int BitPosition() const { return static_cast<int>(position_ & 7); }
  std::size_t BitsConsumed() const { return position_; }
  // True once the reader has consumed bits that lie beyond the data.
  bool PastEnd() const { return position_ > size_ * 8; }
  std::size_t Size() const { return size_; }
  const std::uint8_t* Data() const { return data_; }

 private:
  // Eight bytes from the current byte on, big-endian, zeros beyond the end.
  std::uint64_t Window() const {
    const std::size_t byte = position_ >> 3;
    if (byte + 8 <= size_) {
      std::uint64_t w;
      std::memcpy(&w, data_ + byte, 8);
      return __builtin_bswap64(w);
    }
    std::uint64_t w = 0;
    for (std::size_t i = 0; i < 8; ++i) {
      w <<= 8;
      if (byte + i < size_) w |= data_[byte + i];
    }
    return w;
  }
  bool MarkerAhead(int zeros, bool needOne, bool checkStuffing) const;

  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t position_ = 0;  // in bits from data_
};

}  // namespace mivora::decoder
