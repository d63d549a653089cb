#include "decoder/reversible_vlc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoder/scan_tables.h"
#include "tests/decoder/bit_writer.h"

namespace mivora::decoder {
namespace {

using testing::BitWriter;

struct Read {
  int end;
  std::int16_t block[64] = {};
};

Read ReadBlock(const BitWriter& w, bool intra, int m = 2, int c = 1) {
  const std::vector<std::uint8_t> bytes = w.Bytes();
  BitReader r(bytes.data(), bytes.size());
  Read out;
  out.end = ReadReversibleCoefficients(r, out.block, kZigzagScan, intra ? 1 : 0, intra, m, c);
  return out;
}

// The escape's fields, with the values inverse-quantised as level * m + c and then signed.
TEST(ReversibleVlc, EscapeCarriesLastRunAndLevel) {
  BitWriter w;
  w.Code("0000 1").Put(0, 1).Put(3, 6).Put(1, 1).Put(1000, 11).Put(1, 1).Code("0000 1");
  w.Code("0000 1").Put(1, 1).Put(0, 6).Put(1, 1).Put(5, 11).Put(1, 1).Code("0000 0");
  const Read r = ReadBlock(w, false);
  EXPECT_EQ(r.end, 5);
  EXPECT_EQ(r.block[kZigzagScan[3]], -2001);
  EXPECT_EQ(r.block[kZigzagScan[4]], 11);
}

// Damaged texture parts: each ends the block as lost, never writing outside it.
TEST(ReversibleVlc, DamageLosesTheBlock) {
  const struct {
    const char* name;
    std::string bits;
  } cases[] = {
      {"a word of neither shape", "1000000000000010"},
      {"a word of a shape no table entry takes", "011111110111100 0"},
      {"escape marker missing", "0000 1 1 000000 0 00000000101 1 0000 0"},
      {"escape without its closing word", "0000 1 1 000000 1 00000000101 1 0100 0"},
      {"escape of level zero", "0000 1 1 000000 1 00000000000 1 0000 0"},
      {"run past the block's end", "0000 1 1 111111 1 00000000101 1 0000 0"},
      {"no last code before the data ends", "110 0 110 0"},
  };
  for (const auto& c : cases) {
    BitWriter w;
    w.Code(c.bits);
    EXPECT_EQ(ReadBlock(w, true).end, -1) << c.name;
  }
  // 63 codes of run 0, none of them last, fill an intra block: the next one would leave it.
  BitWriter w;
  for (int i = 0; i < 63; ++i) w.Code("110 0");
  EXPECT_EQ(ReadBlock(w, true).end, -1);
}

}  // namespace
}  // namespace mivora::decoder
