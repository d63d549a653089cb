// Reads the compressed frame most significant bit first. Bounded: bytes past the end of the data
// read as zero (which looks like a start code to the picture loop, so decoding stops there), and
// the reader remembers that it went past the end. It keeps the bit position and a 64-bit window
// loaded from it: after every consumption the window is loaded again from the new position by
// one unaligned eight-byte load (byte by byte near the end, so no load reaches past the data).
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
    wordEnd_ = size_ >= 8 ? size_ - 7 : 0;
    Seek(0);
  }

  // The next n bits (1 <= n <= 32) without consuming them.
  std::uint32_t ShowBits(int n) const { return static_cast<std::uint32_t>(cache_ >> (64 - n)); }
  // Consumes n bits, 0 <= n <= 32, and loads the window from the new position: no test of how
  // many bits are left (a branch the processor guesses wrong every few codes), and a reader
  // copied into a local stays in registers.
  void Consume(int n) {
    position_ += static_cast<unsigned>(n);
    Refill();
  }
  void SkipBits(int n) {
    if (n <= 32) {
      Consume(n);
    } else {
      Seek(BitsConsumed() + static_cast<std::size_t>(n));
    }
  }
  // 1 <= n <= 32.
  std::uint32_t GetBits(int n) {
    const std::uint32_t v = ShowBits(n);
    Consume(n);
    return v;
  }
  int GetBit() { return static_cast<int>(GetBits(1)); }
  void AlignToByte() { Consume(static_cast<int>(-position_ & 7)); }

  // For loops of short codes: between calls the window holds kWindowBits bits from the position
  // (57: a load at a byte boundary, less at most seven bits of the first byte); this consumes n of
  // them without loading the window again, so one load serves several codes. Until TopUp, a peek
  // is good only for the bits the window still holds.
  static constexpr int kWindowBits = 57;
  void ConsumeInWindow(int n) {
    cache_ <<= n;
    position_ += static_cast<unsigned>(n);
  }
  // Loads the window from the position again.
  void TopUp() { Refill(); }
  // A load of the window made ahead of time: the eight bytes from the position's byte, loaded now
  // so that installing them a few codes later does not wait for the load.
  struct Preload {
    std::uint64_t word;
    std::size_t byte;
  };
  Preload PreloadWindow() const {
    const std::size_t byte = position_ >> 3;
    std::uint64_t w;
    if (byte < wordEnd_) [[likely]] {
      std::memcpy(&w, data_ + byte, 8);
      w = __builtin_bswap64(w);
    } else {
      w = LoadNearEnd(data_, size_, 8 * byte);
    }
    return {w, byte};
  }
  // The window from a preload taken n bits back: it then holds the 64 - n - (bits of the position's
  // byte before it) bits from the position that the preload brought.
  void Install(const Preload& p) { cache_ = p.word << (position_ - 8 * p.byte); }
  // Steps back over n bits consumed (a loop that took two codes at once and needs only the first).
  void Rewind(int n) {
    position_ -= static_cast<unsigned>(n);
    Refill();
  }

  // True when a start-code prefix (23 zero bits) begins at the next byte boundary, a whole
  // stuffing byte 0x7F passed over when already on one. Consumes nothing.
  bool StartCodeAhead() const { return MarkerAhead(23, false, false); }
  // As StartCodeAhead, but only when the bits up to the byte boundary are valid stuffing (a zero
  // and then ones): a picture's last macroblocks may be skip bits in its last byte, followed by
  // the next frame's start code.
  bool StuffedStartCodeAhead() const { return MarkerAhead(23, false, true); }
  // `zeros` zero bits and a one (the resynchronisation marker) after valid stuffing.
  bool ResyncMarkerAhead(int zeros) const { return MarkerAhead(zeros, true, true); }

  // Sixteen zero bits right after the next byte boundary (a whole byte away when already on
  // one): what every start code and resynchronisation marker after stuffing begins with, so a
  // cheap test that rules them out for nearly every macroblock.
  bool ZerosAfterStuffing() const { return ((ShowBits(32) << (8 - BitPosition())) >> 16) == 0; }

  // Restarts the window at an absolute bit position (a resynchronisation after damage).
  void SeekToBit(std::size_t bit) { Seek(bit); }

  std::size_t BytePosition() const { return position_ >> 3; }
  int BitPosition() const { return static_cast<int>(position_ & 7); }
  std::size_t BitsConsumed() const { return position_; }
  // True once the reader has consumed bits that lie beyond the data.
  bool PastEnd() const { return position_ > size_ * 8; }
  std::size_t Size() const { return size_; }
  const std::uint8_t* Data() const { return data_; }

 private:
  void Refill() {
    const std::size_t byte = position_ >> 3;
    if (byte < wordEnd_) [[likely]] {
      std::uint64_t w;
      std::memcpy(&w, data_ + byte, 8);
      cache_ = __builtin_bswap64(w) << (position_ & 7);
    } else {
      cache_ = LoadNearEnd(data_, size_, position_);
    }
  }
  // The window at a position near or past the end: the bytes that are left, zeros after them.
  // Static, so that a reader held in a local never has its address taken and stays in registers.
  static std::uint64_t LoadNearEnd(const std::uint8_t* data, std::size_t size,
                                   std::size_t position);
  // Restarts the window at an absolute bit position.
  void Seek(std::size_t bit) {
    position_ = bit;
    Refill();
  }
  bool MarkerAhead(int zeros, bool needOne, bool checkStuffing) const;

  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t wordEnd_ = 0;   // eight bytes can be loaded from any byte before this one
  std::uint64_t cache_ = 0;   // the bits from position_ on, most significant first
  std::size_t position_ = 0;  // bits consumed
};

}  // namespace mivora::decoder
