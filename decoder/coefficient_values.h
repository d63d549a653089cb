// The coefficient loop's first-level tables with inverse-quantised values in the entries: eleven
// bits give the bits to consume, run + 128 * last and the value for the quantiser of the code
// they begin with, and of a second one when it follows within the eleven bits (and the first is
// not the block's last). So the loop needs neither a multiply nor the level, and one lookup, the
// step every next one waits for, often serves two codes.
#pragma once

#include <atomic>
#include <cstdint>

#include "decoder/vlc_tables.h"

namespace mivora::decoder {

// length 0: a longer code, the escape code or bits that begin no code. Steps are what the scan
// position moves by from the code before: 1 + run + 128 * last. With one code, the second is the
// first again (steps == firstStep stores its value at the same place once more), so the loop
// stores twice either way, without a branch the processor could not guess; and since steps is
// never below firstStep, one test of the sum tells whether either code ends the block or runs
// past it. The loop reads each field from the table on its own: loads are cheaper for it than
// taking a loaded entry apart.
struct ValuedCoefficientEntry {
  std::uint8_t length;     // bits of both codes, signs included
  std::uint8_t firstStep;  // the first code's step
  std::uint16_t steps;     // both codes' steps
  std::int16_t value;
  std::int16_t secondValue;
};
static_assert(sizeof(ValuedCoefficientEntry) == 8);

// After the 1 << kSignedHeadBits entries, the codes longer than ten bits: they all begin with five
// zeros (as do the escape code and bits that begin no code), so eight bits after those give any
// of them with its sign, one code an entry. Length 0 for the escape code and invalid bits.
inline constexpr int kLongCodeZeros = 5;
inline constexpr int kLongCodeBits = 8;

// The escape code's length; the escape forms' bits follow it.
inline constexpr int kEscapeLength = 7;

// After the long codes, the first two escape forms with their inverse-quantised values: the ten
// bits after the escape code's seven index them (a zero and a code of up to eight bits and its
// sign for the level form, one and zero and up to seven bits and the sign for the run form). Each
// gives the bits to consume from the escape code's start, the step and the value. Length 0 for
// the fixed-length form, longer codes and invalid bits, which the loop works out as they come.
inline constexpr int kEscapeIndexBits = 10;
inline constexpr int kValuedLongBase = 1 << kSignedHeadBits;
inline constexpr int kValuedEscapeBase = kValuedLongBase + (1 << kLongCodeBits);
inline constexpr int kValuedEntries = kValuedEscapeBase + (1 << kEscapeIndexBits);

namespace detail {
// The tables built so far, null where none is yet; [quantiser][intra], quantiser 0 for levels
// as they stand.
extern std::atomic<const ValuedCoefficientEntry*> valuedTables[32][2];
const ValuedCoefficientEntry* BuildValuedCoefficientTable(int quantiser, bool intra);
}  // namespace detail

// The table for a quantiser (clamped into 1..31) and block kind, with kValuedEntries entries,
// built on its first use. Inline: asked for once per macroblock.
inline const ValuedCoefficientEntry* ValuedCoefficientTable(int quantiser, bool intra) {
  if (quantiser >= 1 && quantiser <= 31) [[likely]] {
    const ValuedCoefficientEntry* table =
        detail::valuedTables[quantiser][intra].load(std::memory_order_acquire);
    if (table) [[likely]] {
      return table;
    }
  }
  return detail::BuildValuedCoefficientTable(quantiser, intra);
}

// The same codes with their levels as they stand (signed, not inverse-quantised), for the MPEG
// method, which weighs each coefficient by its place.
inline const ValuedCoefficientEntry* RawLevelTable(bool intra) {
  const ValuedCoefficientEntry* table =
      detail::valuedTables[0][intra].load(std::memory_order_acquire);
  if (table) [[likely]] {
    return table;
  }
  return detail::BuildValuedCoefficientTable(0, intra);
}

}  // namespace mivora::decoder
