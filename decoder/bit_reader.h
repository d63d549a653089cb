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
    Seek(0);
  }

  // The next n bits (1 <= n <= 32) without consuming them. The window always holds 32 or more.
  std::uint32_t ShowBits(int n) const { return static_cast<std::uint32_t>(cache_ >> (64 - n)); }
  void SkipBits(int n) {
    if (n <= count_) {
      cache_ <<= n;
      count_ -= n;
    } else {
      Seek(BitsConsumed() + static_cast<std::size_t>(n));
    }
    if (count_ < 32) Refill();
  }
  std::uint32_t GetBits(int n) {
    const std::uint32_t v = ShowBits(n);
    SkipBits(n);
    return v;
  }
  int GetBit() { return static_cast<int>(GetBits(1)); }
  // The window ends on a byte boundary of the data, so its bit count says how far the next one is.
  void AlignToByte() { SkipBits(count_ & 7); }

  // True when a start-code prefix (23 zero bits) begins at the next byte boundary, a whole
  // stuffing byte 0x7F passed over when already on one. Consumes nothing.
  bool StartCodeAhead() const { return MarkerAhead(23, false, false); }
  // As StartCodeAhead, but only when the bits up to the byte boundary are valid stuffing (a zero
  // and then ones): a picture's last macroblocks may be skip bits in its last byte, followed by
  // the next frame's start code.
  bool StuffedStartCodeAhead() const { return MarkerAhead(23, false, true); }
  // `zeros` zero bits and a one (the resynchronisation marker) after valid stuffing.
  bool ResyncMarkerAhead(int zeros) const { return MarkerAhead(zeros, true, true); }

  std::size_t BytePosition() const { return BitsConsumed() >> 3; }
  int BitPosition() const { return static_cast<int>(BitsConsumed() & 7); }
  std::size_t BitsConsumed() const { return 8 * next_ - static_cast<std::size_t>(count_); }
  // True once the reader has consumed bits that lie beyond the data.
  bool PastEnd() const { return BitsConsumed() > size_ * 8; }
  std::size_t Size() const { return size_; }
  const std::uint8_t* Data() const { return data_; }

 private:
  // Tops the window up to 56..63 bits. Away from the end, one unaligned eight-byte load: the bits
  // it brings beyond whole bytes are the stream's own next bits, so the next load ORs the same
  // values over them.
  void Refill() {
    if (next_ + 8 <= size_) {
      std::uint64_t w;
      std::memcpy(&w, data_ + next_, 8);
      cache_ |= __builtin_bswap64(w) >> count_;
      next_ += static_cast<std::size_t>((63 - count_) >> 3);
      count_ |= 56;
    } else {
      RefillNearEnd();
    }
  }
  void RefillNearEnd();
  // Restarts the window at an absolute bit position.
  void Seek(std::size_t bit);
  bool MarkerAhead(int zeros, bool needOne, bool checkStuffing) const;

  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::uint64_t cache_ = 0;  // the next bits, most significant first
  int count_ = 0;            // valid bits in cache_ (32..63 between calls)
  std::size_t next_ = 0;     // the byte that follows the window
};

}  // namespace mivora::decoder
