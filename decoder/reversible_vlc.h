// Reversible coefficient codes, which the texture part of data-partitioned packets may use instead
// of the ordinary ones: symmetric code words that read alike from either end, so a decoder could
// take up a damaged part again from its end.
#pragma once

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

}  // namespace mivora::decoder
