// Reads the compressed frame most significant bit first. Bounded: bytes past the end of the data
// read as zero (which looks like a start code to the picture loop, so decoding stops there), and
// the reader remembers that it went past the end. It keeps a 64-bit window filled by eight-byte
// loads instead of rebuilding a four-byte window on every peek: the bits and consumed positions
// are the same, a peek never depends on bytes beyond the 32 bits it returns, and no load reaches
// past the data.
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

  // The next n bits (1 <= n <= 32) without consuming them. The window always holds 32 or more.
  std::uint32_t ShowBits(int n) const { return static_cast<std::uint32_t>(cache_ >> (64 - n)); }
  // Consumes n bits, 0 <= n <= 32: what the window always holds, so no call leaves the inline
  // code and a reader copied into a local stays in registers. Away from the end the window is
  // topped up after every consumption: a test of the bit count would be a branch the processor
  // guesses wrong every few codes.
  void Consume(int n) {
    cache_ <<= n;
    count_ -= n;
    if (next_ < wordEnd_) [[likely]] {
      LoadWord();
    } else if (count_ < 32) {
      RefillNearEnd();
    }
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

  // For loops of short codes: consumes n bits the window holds without topping it up, so that
  // one top-up serves several codes. Until TopUp, the window may hold fewer than 32 bits and a
  // peek is good only for the bits it still holds.
  void ConsumeInWindow(int n) {
    cache_ <<= n;
    count_ -= n;
  }
  // Tops the window up to 32 or more bits again, from any count from 0 on.
  void TopUp() { Refill(); }
  int WindowBits() const { return count_; }
  // The window ends on a byte boundary of the data, so its bit count says how far the next one is.
  void AlignToByte() { Consume(count_ & 7); }

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
    if (next_ < wordEnd_) {
      LoadWord();
    } else {
      RefillNearEnd();
    }
  }
  // Needs eight bytes from next_ on; works for any bit count.
  void LoadWord() {
    std::uint64_t w;
    std::memcpy(&w, data_ + next_, 8);
    cache_ |= __builtin_bswap64(w) >> count_;
    next_ += (~static_cast<unsigned>(count_) >> 3) & 7;  // (63 - count_) / 8
    count_ |= 56;
  }
  void RefillNearEnd() {
    // Drop bits an earlier load brought beyond the valid ones, so zeros past the end stay zeros.
    cache_ = count_ ? cache_ & (~std::uint64_t{0} << (64 - count_)) : 0;
    while (count_ <= 48) {
      const std::uint64_t byte = next_ < size_ ? data_[next_] : 0;
      cache_ |= byte << (56 - count_);
      count_ += 8;
      ++next_;
    }
  }
  // Restarts the window at an absolute bit position.
  void Seek(std::size_t bit);
  bool MarkerAhead(int zeros, bool needOne, bool checkStuffing) const;

  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t wordEnd_ = 0;  // eight bytes can be loaded from any byte before this one
  std::uint64_t cache_ = 0;  // the next bits, most significant first
  int count_ = 0;            // valid bits in cache_ (32..63 between calls)
  std::size_t next_ = 0;     // the byte that follows the window
};

}  // namespace mivora::decoder
