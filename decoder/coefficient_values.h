// The coefficient loop's first-level tables with the inverse-quantised value in every entry: a
// code of up to ten bits and its sign give the bits to consume, run + 128 * last and the value
// for the quantiser, so the loop needs neither a multiply nor the level.
#pragma once

#include <atomic>
#include <cstdint>

namespace mivora::decoder {

// length 0: a longer code, the escape code or bits that begin no code.
struct ValuedCoefficientEntry {
  std::uint8_t length;  // sign bit included
  std::uint8_t runLast;
  std::int16_t value;
};

namespace detail {
// The tables built so far, null where none is yet; [quantiser][intra].
extern std::atomic<const ValuedCoefficientEntry*> valuedTables[32][2];
const ValuedCoefficientEntry* BuildValuedCoefficientTable(int quantiser, bool intra);
}  // namespace detail

// The table for a quantiser (clamped into 1..31) and block kind, with 1 << kSignedHeadBits
// entries, built on its first use. Inline: asked for once per macroblock.
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

}  // namespace mivora::decoder
