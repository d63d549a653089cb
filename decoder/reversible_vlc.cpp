#include "decoder/reversible_vlc.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

namespace mivora::decoder {
namespace {

// (last, run, level) of each code word, in the order of the tables (last, then run, then level).
// The two tables differ only where last is 0; the code words that end a block are shared.
constexpr ReversibleCode kIntraNotLast[] = {
    {"110", 0, 0, 1},
    {"111", 0, 0, 2},
    {"1010", 0, 0, 3},
    {"01001", 0, 0, 4},
    {"010100", 0, 0, 5},
    {"010101", 0, 0, 6},
    {"0110100", 0, 0, 7},
    {"01110100", 0, 0, 8},
    {"01110101", 0, 0, 9},
    {"011011101", 0, 0, 10},
    {"011101100", 0, 0, 11},
    {"0111101100", 0, 0, 12},
    {"0111101101", 0, 0, 13},
    {"0111110100", 0, 0, 14},
    {"01111101100", 0, 0, 15},
    {"01111101101", 0, 0, 16},
    {"01111110100", 0, 0, 17},
    {"011101111101", 0, 0, 18},
    {"011110111100", 0, 0, 19},
    {"0111110111101", 0, 0, 20},
    {"0111111011100", 0, 0, 21},
    {"011110111101", 0, 0, 22},
    {"0111111011101", 0, 0, 23},
    {"01111110111101", 0, 0, 24},
    {"01111111011100", 0, 0, 25},
    {"01111111011101", 0, 0, 26},
    {"001111111111100", 0, 0, 27},
    {"0001", 0, 1, 1},
    {"01000", 0, 1, 2},
    {"0101101", 0, 1, 3},
    {"01101100", 0, 1, 4},
    {"01101101", 0, 1, 5},
    {"011011100", 0, 1, 6},
    {"0111011101", 0, 1, 7},
    {"01111011100", 0, 1, 8},
    {"01111011101", 0, 1, 9},
    {"011101111100", 0, 1, 10},
    {"0111110111100", 0, 1, 11},
    {"01111101111101", 0, 1, 12},
    {"01111110111100", 0, 1, 13},
    {"00100", 0, 2, 1},
    {"0101100", 0, 2, 2},
    {"010111100", 0, 2, 3},
    {"0111011100", 0, 2, 4},
    {"01110111100", 0, 2, 5},
    {"01110111101", 0, 2, 6},
    {"0111011111101", 0, 2, 7},
    {"0111101111100", 0, 2, 8},
    {"0111101111101", 0, 2, 9},
    {"01111011111101", 0, 2, 10},
    {"01111101111100", 0, 2, 11},
    {"00101", 0, 3, 1},
    {"01011100", 0, 3, 2},
    {"010111101", 0, 3, 3},
    {"01101111101", 0, 3, 4},
    {"011011111100", 0, 3, 5},
    {"0111011111100", 0, 3, 6},
    {"01110111111101", 0, 3, 7},
    {"01111011111100", 0, 3, 8},
    {"001111111111101", 0, 3, 9},
    {"001100", 0, 4, 1},
    {"01011101", 0, 4, 2},
    {"0110111101", 0, 4, 3},
    {"001111111101", 0, 4, 4},
    {"011011111101", 0, 4, 5},
    {"01101111111101", 0, 4, 6},
    {"001101", 0, 5, 1},
    {"001111101", 0, 5, 2},
    {"01011111100", 0, 5, 3},
    {"010111111100", 0, 5, 4},
    {"01101111111100", 0, 5, 5},
    {"01110111111100", 0, 5, 6},
    {"0011100", 0, 6, 1},
    {"0101111100", 0, 6, 2},
    {"01011111101", 0, 6, 3},
    {"010111111101", 0, 6, 4},
    {"010111111111100", 0, 6, 5},
    {"0011101", 0, 7, 1},
    {"0101111101", 0, 7, 2},
    {"01101111100", 0, 7, 3},
    {"0110111111101", 0, 7, 4},
    {"010111111111101", 0, 7, 5},
    {"00111100", 0, 8, 1},
    {"0110111100", 0, 8, 2},
    {"0101111111101", 0, 8, 3},
    {"01011111111101", 0, 8, 4},
    {"00111101", 0, 9, 1},
    {"00111111101", 0, 9, 2},
    {"0110111111100", 0, 9, 3},
    {"011011111111100", 0, 9, 4},
    {"001111100", 0, 10, 1},
    {"001111111100", 0, 10, 2},
    {"0011111100", 0, 11, 1},
    {"0101111111100", 0, 11, 2},
    {"0011111101", 0, 12, 1},
    {"011011111111101", 0, 12, 2},
    {"00111111100", 0, 13, 1},
    {"0011111111100", 0, 14, 1},
    {"0011111111101", 0, 15, 1},
    {"00111111111100", 0, 16, 1},
    {"00111111111101", 0, 17, 1},
    {"01011111111100", 0, 18, 1},
    {"011101111111100", 0, 19, 1},
};
constexpr ReversibleCode kInterNotLast[] = {
    {"110", 0, 0, 1},
    {"0001", 0, 0, 2},
    {"00100", 0, 0, 3},
    {"0011100", 0, 0, 4},
    {"00111100", 0, 0, 5},
    {"00111101", 0, 0, 6},
    {"001111100", 0, 0, 7},
    {"0011111100", 0, 0, 8},
    {"0011111101", 0, 0, 9},
    {"00111111100", 0, 0, 10},
    {"00111111101", 0, 0, 11},
    {"001111111100", 0, 0, 12},
    {"0011111111100", 0, 0, 13},
    {"0011111111101", 0, 0, 14},
    {"0101111111100", 0, 0, 15},
    {"0101111111101", 0, 0, 16},
    {"00111111111100", 0, 0, 17},
    {"00111111111101", 0, 0, 18},
    {"001111111111100", 0, 0, 19},
    {"111", 0, 1, 1},
    {"001100", 0, 1, 2},
    {"01011100", 0, 1, 3},
    {"001111101", 0, 1, 4},
    {"0101111100", 0, 1, 5},
    {"01011111100", 0, 1, 6},
    {"001111111101", 0, 1, 7},
    {"0110111111100", 0, 1, 8},
    {"01011111111100", 0, 1, 9},
    {"01011111111101", 0, 1, 10},
    {"1010", 0, 2, 1},
    {"0011101", 0, 2, 2},
    {"010111100", 0, 2, 3},
    {"01011111101", 0, 2, 4},
    {"010111111100", 0, 2, 5},
    {"01101111111100", 0, 2, 6},
    {"01101111111101", 0, 2, 7},
    {"00101", 0, 3, 1},
    {"01011101", 0, 3, 2},
    {"0101111101", 0, 3, 3},
    {"010111111101", 0, 3, 4},
    {"0110111111101", 0, 3, 5},
    {"01110111111100", 0, 3, 6},
    {"001111111111101", 0, 3, 7},
    {"01000", 0, 4, 1},
    {"01101100", 0, 4, 2},
    {"01101111100", 0, 4, 3},
    {"0111011111100", 0, 4, 4},
    {"010111111111100", 0, 4, 5},
    {"01001", 0, 5, 1},
    {"010111101", 0, 5, 2},
    {"01101111101", 0, 5, 3},
    {"0111011111101", 0, 5, 4},
    {"001101", 0, 6, 1},
    {"0110111100", 0, 6, 2},
    {"011011111100", 0, 6, 3},
    {"01110111111101", 0, 6, 4},
    {"010100", 0, 7, 1},
    {"0110111101", 0, 7, 2},
    {"011011111101", 0, 7, 3},
    {"010111111111101", 0, 7, 4},
    {"010101", 0, 8, 1},
    {"0111011100", 0, 8, 2},
    {"0111101111100", 0, 8, 3},
    {"0101100", 0, 9, 1},
    {"0111011101", 0, 9, 2},
    {"01111011111100", 0, 9, 3},
    {"0101101", 0, 10, 1},
    {"01110111100", 0, 10, 2},
    {"0110100", 0, 11, 1},
    {"011101111100", 0, 11, 2},
    {"01101101", 0, 12, 1},
    {"0111101111101", 0, 12, 2},
    {"01110100", 0, 13, 1},
    {"01111011111101", 0, 13, 2},
    {"01110101", 0, 14, 1},
    {"01111101111100", 0, 14, 2},
    {"011011100", 0, 15, 1},
    {"01111101111101", 0, 15, 2},
    {"011011101", 0, 16, 1},
    {"01111110111100", 0, 16, 2},
    {"011101100", 0, 17, 1},
    {"011011111111100", 0, 17, 2},
    {"0111101100", 0, 18, 1},
    {"0111101101", 0, 19, 1},
    {"0111110100", 0, 20, 1},
    {"01110111101", 0, 21, 1},
    {"01111011100", 0, 22, 1},
    {"01111011101", 0, 23, 1},
    {"01111101100", 0, 24, 1},
    {"01111101101", 0, 25, 1},
    {"01111110100", 0, 26, 1},
    {"011101111101", 0, 27, 1},
    {"011110111100", 0, 28, 1},
    {"011110111101", 0, 29, 1},
    {"0111110111100", 0, 30, 1},
    {"0111110111101", 0, 31, 1},
    {"0111111011100", 0, 32, 1},
    {"0111111011101", 0, 33, 1},
    {"01111110111101", 0, 34, 1},
    {"01111111011100", 0, 35, 1},
    {"01111111011101", 0, 36, 1},
    {"011011111111101", 0, 37, 1},
    {"011101111111100", 0, 38, 1},
};
constexpr ReversibleCode kLastCodes[] = {
    {"1011", 1, 0, 1},
    {"01111000", 1, 0, 2},
    {"01111110101", 1, 0, 3},
    {"0111111101100", 1, 0, 4},
    {"01111111101100", 1, 0, 5},
    {"10010", 1, 1, 1},
    {"011101101", 1, 1, 2},
    {"011111011100", 1, 1, 3},
    {"01111111101101", 1, 1, 4},
    {"011101111111101", 1, 1, 5},
    {"10011", 1, 2, 1},
    {"01111111000", 1, 2, 2},
    {"011110111111100", 1, 2, 3},
    {"011000", 1, 3, 1},
    {"011111011101", 1, 3, 2},
    {"011001", 1, 4, 1},
    {"011111101100", 1, 4, 2},
    {"100010", 1, 5, 1},
    {"0111111101101", 1, 5, 2},
    {"100011", 1, 6, 1},
    {"0111111110100", 1, 6, 2},
    {"0110101", 1, 7, 1},
    {"0111111110101", 1, 7, 2},
    {"0111000", 1, 8, 1},
    {"0111111111000", 1, 8, 2},
    {"0111001", 1, 9, 1},
    {"0111111111001", 1, 9, 2},
    {"1000010", 1, 10, 1},
    {"01111111110100", 1, 10, 2},
    {"1000011", 1, 11, 1},
    {"01111111110101", 1, 11, 2},
    {"01111001", 1, 12, 1},
    {"01111111111000", 1, 12, 2},
    {"10000010", 1, 13, 1},
    {"011110111111101", 1, 13, 2},
    {"10000011", 1, 14, 1},
    {"011110100", 1, 15, 1},
    {"011110101", 1, 16, 1},
    {"011111000", 1, 17, 1},
    {"011111001", 1, 18, 1},
    {"100000010", 1, 19, 1},
    {"100000011", 1, 20, 1},
    {"0111110101", 1, 21, 1},
    {"0111111000", 1, 22, 1},
    {"0111111001", 1, 23, 1},
    {"1000000010", 1, 24, 1},
    {"1000000011", 1, 25, 1},
    {"01111111001", 1, 26, 1},
    {"10000000010", 1, 27, 1},
    {"10000000011", 1, 28, 1},
    {"011111101101", 1, 29, 1},
    {"011111110100", 1, 30, 1},
    {"011111110101", 1, 31, 1},
    {"011111111000", 1, 32, 1},
    {"011111111001", 1, 33, 1},
    {"100000000010", 1, 34, 1},
    {"100000000011", 1, 35, 1},
    {"1000000000010", 1, 36, 1},
    {"1000000000011", 1, 37, 1},
    {"01111111111001", 1, 38, 1},
    {"10000000000010", 1, 39, 1},
    {"10000000000011", 1, 40, 1},
    {"011111011111100", 1, 41, 1},
    {"011111011111101", 1, 42, 1},
    {"011111101111100", 1, 43, 1},
    {"011111101111101", 1, 44, 1},
};

template <std::size_t N, std::size_t M>
constexpr std::array<ReversibleCode, N + M> Join(const ReversibleCode (&first)[N],
                                                 const ReversibleCode (&second)[M]) {
  std::array<ReversibleCode, N + M> all{};
  for (std::size_t i = 0; i < N; ++i) all[i] = first[i];
  for (std::size_t i = 0; i < M; ++i) all[N + i] = second[i];
  return all;
}
constexpr auto kIntraCodes = Join(kIntraNotLast, kLastCodes);
constexpr auto kInterCodes = Join(kInterNotLast, kLastCodes);
static_assert(kIntraCodes.size() == 169 && kInterCodes.size() == 169);

// Every code word has one of two shapes, with a free bit x at its end: 1 0^k 1 x, or
// 0 1^a 0 1^b 0 x. A word's place in the lookup follows from its shape: the first kind by k, the
// second by a and b, each with x. Words run to 15 bits: k up to 12, a + b up to 11.
constexpr int kMaxZeros = 12, kMaxOnes = 11;
constexpr int kOneShapes = 2 * (kMaxZeros + 1);
constexpr int kSlots = kOneShapes + (kMaxOnes + 1) * (kMaxOnes + 2);

constexpr int OnesSlot(int a, int b, int x) {
  const int n = a + b;
  return kOneShapes + 2 * (n * (n + 1) / 2 + a) + x;
}

// The code word at the top of w: its length and slot, length 0 for bits of neither shape.
struct Shape {
  int length, slot;
};
inline Shape ShapeOf(std::uint32_t w) {
  if (w >> 31) {
    const int k = std::countl_zero(w << 1);
    if (k > kMaxZeros) return {0, 0};
    const int length = k + 3;
    return {length, 2 * k + static_cast<int>((w >> (32 - length)) & 1)};
  }
  const int a = std::countl_one(w << 1);
  if (a > kMaxOnes) return {0, 0};
  const int b = std::countl_one(w << (a + 2));
  if (a + b > kMaxOnes) return {0, 0};
  const int length = a + b + 4;
  return {length, OnesSlot(a, b, static_cast<int>((w >> (32 - length)) & 1))};
}

// A slot's meaning: run + 128 * last and the level; level 0 marks a slot no word of the table
// takes, kEscapeLevel the escape.
struct Slot {
  std::uint8_t runLast = 0, level = 0;
};
constexpr std::uint8_t kEscapeLevel = 255;

using SlotTable = std::array<Slot, kSlots>;

SlotTable MakeSlots(std::span<const ReversibleCode> codes) {
  SlotTable t{};
  auto place = [&t](const char* bits, Slot s) {
    std::uint32_t w = 0;
    const int n = static_cast<int>(std::strlen(bits));
    for (int i = 0; i < n; ++i) w |= static_cast<std::uint32_t>(bits[i] == '1') << (31 - i);
    const Shape shape = ShapeOf(w);
    if (shape.length == n) t[static_cast<std::size_t>(shape.slot)] = s;
  };
  for (const ReversibleCode& c : codes)
    place(c.bits, {static_cast<std::uint8_t>(c.run + 128 * c.last), c.level});
  place(kReversibleEscape, {0, kEscapeLevel});
  return t;
}

const SlotTable& Slots(bool intra) {
  static const SlotTable intraSlots = MakeSlots(kIntraCodes);
  static const SlotTable interSlots = MakeSlots(kInterCodes);
  return intra ? intraSlots : interSlots;
}

}  // namespace

std::span<const ReversibleCode> ReversibleCodes(bool intra) {
  if (intra) return kIntraCodes;
  return kInterCodes;
}

int ReadReversibleCoefficients(BitReader& reader, std::int16_t* block, const std::uint8_t* scan,
                               int pos, bool intra, int m, int c) {
  const SlotTable& slots = Slots(intra);
  // Each code moves the position on by one or more, so a block takes at most 64 of them.
  for (;;) {
    const std::uint32_t w = reader.ShowBits(32);
    const Shape shape = ShapeOf(w);
    if (!shape.length) return -1;
    const Slot s = slots[static_cast<std::size_t>(shape.slot)];
    if (!s.level) return -1;
    int last, run, level, minus;
    if (s.level == kEscapeLevel) {
      // 0000 1, last, run, marker, level, marker, 0000, sign: 30 bits.
      const std::uint32_t e = w << 5;
      last = static_cast<int>(e >> 31);
      run = static_cast<int>((e >> 25) & 63);
      level = static_cast<int>((e >> 13) & 2047);
      const bool framed = ((w >> 27) & 1) && ((e >> 24) & 1) && ((e >> 12) & 1) &&
                          ((e >> 8) & 15) == 0 && level != 0;
      if (!framed) return -1;
      minus = -static_cast<int>((e >> 7) & 1);
      reader.Consume(30);
    } else {
      last = s.runLast >> 7;
      run = s.runLast & 127;
      level = s.level;
      minus = -static_cast<int>((w >> (31 - shape.length)) & 1);
      reader.Consume(shape.length + 1);
    }
    pos += run;
    if (pos > 63) return -1;
    block[scan[pos]] = static_cast<std::int16_t>(((level * m + c) ^ minus) - minus);
    ++pos;
    if (last) return pos;
    if (pos > 63) return -1;
  }
}

namespace {

int BitAt(const std::uint8_t* data, std::size_t i) {
  return (data[i >> 3] >> (7 - (i & 7))) & 1;
}

int FieldAt(const std::uint8_t* data, std::size_t at, int bits) {
  int v = 0;
  for (int i = 0; i < bits; ++i) v = 2 * v + BitAt(data, at + static_cast<std::size_t>(i));
  return v;
}

}  // namespace

bool ReadReversibleBackward(const std::uint8_t* data, std::size_t begin, std::size_t end,
                            bool intra, ReversibleEvent& e) {
  if (end < begin + 4) return false;  // the shortest word is three bits, then the sign
  const int minus = BitAt(data, end - 1);
  const int x = BitAt(data, end - 2);
  std::size_t p = end - 2;  // the bits below p are still to read
  int slot, length;
  if (BitAt(data, --p)) {
    // 1 0^k 1 mirrors itself.
    int k = 0;
    for (;;) {
      if (p == begin) return false;
      if (BitAt(data, --p)) break;
      if (++k > kMaxZeros) return false;
    }
    slot = 2 * k + x;
    length = k + 3;
  } else {
    // 0 1^a 0 1^b 0 read from its end gives b first, then a.
    int ones[2] = {0, 0};
    for (int& n : ones) {
      for (;;) {
        if (p == begin) return false;
        if (!BitAt(data, --p)) break;
        ++n;
        if (ones[0] + ones[1] > kMaxOnes) return false;
      }
    }
    slot = OnesSlot(ones[1], ones[0], x);
    length = ones[0] + ones[1] + 4;
  }
  const Slot s = Slots(intra)[static_cast<std::size_t>(slot)];
  if (!s.level) return false;
  int level;
  if (s.level == kEscapeLevel) {
    // 0000 1, last, run (6), marker, level (11), marker, 0000, sign.
    if (end < begin + kLongestReversibleCode) return false;
    const std::size_t at = end - kLongestReversibleCode;
    level = FieldAt(data, at + 13, 11);
    if (FieldAt(data, at, 5) != 1 || !BitAt(data, at + 12) || !BitAt(data, at + 24) || !level) {
      return false;
    }
    e.last = BitAt(data, at + 5);
    e.run = FieldAt(data, at + 6, 6);
    e.start = at;
  } else {
    e.last = s.runLast >> 7;
    e.run = s.runLast & 127;
    level = s.level;
    e.start = end - 1 - static_cast<std::size_t>(length);
  }
  e.level = minus ? -level : level;
  return true;
}

int ReadReversibleBlocksBackward(const std::uint8_t* data, std::size_t begin, std::size_t end,
                                 std::span<const std::uint8_t> intra, std::span<std::size_t> starts,
                                 std::size_t& stoppedAt) {
  const int n = static_cast<int>(intra.size());
  std::size_t pos = end;
  ReversibleEvent e{};
  // The last block's first code read backward must be marked last. The codes marked last are
  // shared by both tables, so the one that ends a block is read alike with either.
  if (n == 0 || !ReadReversibleBackward(data, begin, pos, intra[n - 1] != 0, e) || !e.last) {
    stoppedAt = pos;
    return 0;
  }
  for (int j = n - 1; j >= 0; --j) {
    const bool intraBlock = intra[static_cast<std::size_t>(j)] != 0;
    const int room = intraBlock ? 63 : 64;
    int used = e.run + 1;
    if (used > room) {
      stoppedAt = e.start;
      return n - 1 - j;
    }
    pos = e.start;
    for (;;) {
      if (pos == begin) {
        starts[static_cast<std::size_t>(j)] = pos;
        stoppedAt = pos;
        // The bits ran out: whole only when this was the first block.
        return j == 0 ? n : n - 1 - j;
      }
      if (!ReadReversibleBackward(data, begin, pos, intraBlock, e)) {
        stoppedAt = pos;
        return n - 1 - j;
      }
      if (e.last) break;
      used += e.run + 1;
      if (used > room) {
        stoppedAt = e.start;
        return n - 1 - j;
      }
      pos = e.start;
    }
    starts[static_cast<std::size_t>(j)] = pos;
  }
  // A code before the first block: the blocks read are whole, but the part held more.
  stoppedAt = pos;
  return n;
}

}  // namespace mivora::decoder
