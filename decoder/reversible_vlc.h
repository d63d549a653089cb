// Reversible coefficient codes, which the texture part of data-partitioned packets may use instead
// of the ordinary ones: symmetric code words that read alike from either end, so a decoder could
// take up a damaged part again from its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "decoder/bit_reader.h"

namespace mivora::decoder {

// One table entry: the code word (sign bit excluded) as '0' and '1' characters.
struct ReversibleCode {
  const char* bits;
  std::uint8_t last, run, level;
};
std::span<const ReversibleCode> ReversibleCodes(bool intra);

// The escape: its code word, then last (1), run (6), a marker, level (11, the magnitude), a marker
// and the code word again, the sign after it.
inline constexpr const char* kReversibleEscape = "0000";

// Reads one block's codes, storing each at scan[pos + run] as sign * (level * m + c) (wrapped to 16
// bits), until the code marked last. Returns one past the last code's scan position; -1 for bits
// that begin no code, a broken escape or a run past the block's end (the block keeps what it has).
int ReadReversibleCoefficients(BitReader& reader, std::int16_t* block, const std::uint8_t* scan,
                               int pos, bool intra, int m, int c);

// The longest code with its sign: an escape.
inline constexpr int kLongestReversibleCode = 30;

// One code as read backward: its meaning and the bit it begins at.
struct ReversibleEvent {
  int last, run, level;  // level signed
  std::size_t start;
};
// Reads the code that ends just before bit `end` of data, touching no bit before `begin`. Read
// backward a code gives its sign first, then the word's free bit, then the word's shape mirrored;
// an escape ends in its code word and the sign, so it is known from its end and its fields are
// read from its start, 30 bits back. False for bits that end no code of the table and for an
// escape whose opening word, markers or level do not hold.
bool ReadReversibleBackward(const std::uint8_t* data, std::size_t begin, std::size_t end,
                            bool intra, ReversibleEvent& e);

// Reads a run of blocks backward from bit `end` down to `begin`, the last block first; intra[j]
// chooses block j's table (an intra block's codes start at scan position 1). In reverse the code
// marked last is a block's first, and the next one marked last already belongs to the block
// before. Returns how many of the last blocks were read whole, with starts[j] the bit block j
// begins at; stoppedAt is the bit where reading stopped (the bit where the codes broke, or where
// the first block begins when all were read).
int ReadReversibleBlocksBackward(const std::uint8_t* data, std::size_t begin, std::size_t end,
                                 std::span<const std::uint8_t> intra, std::span<std::size_t> starts,
                                 std::size_t& stoppedAt);

}  // namespace mivora::decoder
