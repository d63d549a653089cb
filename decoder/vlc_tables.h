// Variable-length code tables of the macroblock layer and the block coefficients, each a direct
// lookup on a fixed number of peeked bits.
#pragma once

#include <cstdint>

namespace mivora::decoder {

// A code word's value and its length in bits; length 0 marks bits that begin no valid code.
struct VlcEntry {
  std::int16_t value;
  std::uint8_t length;
};

// One coefficient code (sign bit excluded), four bytes so the decoding loop loads it in one go.
// Valid codes have neither special flag; the escape code has both kCoefficientSpecial and
// kCoefficientEscape; bits that begin no code have length 0 and kCoefficientSpecial alone.
// runLast is run + 128 * last: added to the scan position it gives 64 or more exactly when the
// block ends here or the run leads past its end, so the loop tests both with one comparison (and
// 128 stays above every run, escapes' included).
struct CoefficientEntry {
  std::uint8_t length;
  std::uint8_t runLast;
  std::uint8_t level;
  std::uint8_t flags;
};
inline constexpr int kCoefficientLastRun = 128;
inline constexpr std::uint8_t kCoefficientSpecial = 2;
inline constexpr std::uint8_t kCoefficientEscape = 4;

inline constexpr int kMcbpcBits = 9;
inline constexpr int kCbpyBits = 6;
inline constexpr int kMotionBits = 13;  // with the sign bit
inline constexpr int kDcSizeBits = 12;
// First-level lookups for the long-code tables (see VlcTables).
inline constexpr int kMotionHeadBits = 10;
inline constexpr int kDcSizeHeadBits = 8;
inline constexpr int kCoefficientBits = 12;
inline constexpr int kCoefficientHeadBits = 10;
inline constexpr int kSignedHeadBits = kCoefficientHeadBits + 1;

// What the block loop looks up first: a code of up to ten bits together with the sign bit after
// it, so one entry gives the bits to consume (sign included), run + 128 * last, and 2 * level +
// sign (what the inverse-quantised values are indexed by). length 0 for longer codes, the escape
// code and invalid bits.
struct SignedCoefficientEntry {
  std::uint8_t length;
  std::uint8_t runLast;
  std::uint8_t levelSign;
  std::uint8_t unused;
};

// MCBPC values are type | (cbpc << 4); stuffing is its own value.
inline constexpr std::int16_t kMcbpcStuffing = -2;

struct VlcTables {
  VlcEntry mcbpcI[1 << kMcbpcBits];
  VlcEntry mcbpcP[1 << kMcbpcBits];
  VlcEntry cbpy[1 << kCbpyBits];  // intra form of the pattern
  VlcEntry motion[1 << kMotionBits];
  VlcEntry dcSizeLuma[1 << kDcSizeBits];
  VlcEntry dcSizeChroma[1 << kDcSizeBits];
  // The same codes as far as they fit in fewer bits, length 0 for longer ones (and for invalid
  // bits): looked up first, so the common short codes come from a few cache lines.
  VlcEntry motionHead[1 << kMotionHeadBits];
  VlcEntry dcSizeLumaHead[1 << kDcSizeHeadBits];
  VlcEntry dcSizeChromaHead[1 << kDcSizeHeadBits];
  CoefficientEntry intra[1 << kCoefficientBits];
  CoefficientEntry inter[1 << kCoefficientBits];
  // What the decoding loop looks up first: codes of up to ten bits and the escape code, the rest
  // marked special (length 0) and found in the full tables above. Small enough to stay in the
  // first-level cache: in a full table a short code fills whole stretches, so every lookup of it
  // may land on another cache line.
  CoefficientEntry intraHead[1 << kCoefficientHeadBits];
  CoefficientEntry interHead[1 << kCoefficientHeadBits];
  SignedCoefficientEntry intraSigned[1 << kSignedHeadBits];
  SignedCoefficientEntry interSigned[1 << kSignedHeadBits];
};

extern const VlcTables kVlcTables;

// A code from a first-level table, or from the full table when it is longer.
template <int HeadBits, int FullBits, typename Reader>
VlcEntry LookUp(const VlcEntry* head, const VlcEntry* full, const Reader& reader) {
  const VlcEntry e = head[reader.ShowBits(HeadBits)];
  return e.length ? e : full[reader.ShowBits(FullBits)];
}
inline const VlcTables& Tables() {
  return kVlcTables;
}

// Largest level for (last, run) and largest run for (last, level) of each coefficient table; 0
// outside the table. Used by the first two escape types.
struct CoefficientLimits {
  std::uint8_t maxLevel[2][2][64];  // [intra][last][run]
  std::uint8_t maxRun[2][2][32];    // [intra][last][level], stored + 1: 0 means absent
};
extern const CoefficientLimits kCoefficientLimits;

inline int MaxLevel(bool intra, int last, int run) {
  if (run < 0 || run >= 64 || last < 0 || last > 1) return 0;
  return kCoefficientLimits.maxLevel[intra][last][run];
}

inline int MaxRun(bool intra, int last, int level) {
  if (level < 0 || level >= 32 || last < 0 || last > 1) return 0;
  const int stored = kCoefficientLimits.maxRun[intra][last][level];
  return stored ? stored - 1 : 0;
}

}  // namespace mivora::decoder
