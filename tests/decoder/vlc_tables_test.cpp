// Every code word of every table, written out here a second time (ordered differently from
// the decoder's own lists), must decode to its value with its length.
#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "decoder/block_coefficients.h"
#include "decoder/macroblock.h"
#include "decoder/vlc_tables.h"
#include "tests/decoder/bit_writer.h"

namespace mivora::decoder {
namespace {

using testing::BitWriter;

// Decodes `code` followed by `tail` with `read`; checks the value and that exactly the code's
// bits were consumed.
template <typename Read>
void ExpectCode(const std::string& code, Read read, int expected, const char* table) {
  BitWriter w;
  w.Code(code).Code("1010110011101");  // arbitrary bits after the code
  auto bytes = w.Bytes();
  BitReader r(bytes.data(), bytes.size());
  EXPECT_EQ(read(r), expected) << table << " " << code;
  EXPECT_EQ(r.BitsConsumed(), w.Count() - 13u) << table << " " << code;
}

TEST(VlcTables, MacroblockTypeAndChromaPattern) {
  // (code, type, cbpc)
  const std::vector<std::tuple<std::string, int, int>> iCodes = {
      {"1", 3, 0},    {"001", 3, 1},     {"010", 3, 2},     {"011", 3, 3},
      {"0001", 4, 0}, {"0000 01", 4, 1}, {"0000 10", 4, 2}, {"0000 11", 4, 3},
  };
  for (const auto& [code, type, cbpc] : iCodes) {
    ExpectCode(
        code, [](BitReader& r) { return ReadMcbpc(r, 0); }, type | cbpc << 4, "MCBPC I");
  }
  const std::vector<std::tuple<std::string, int, int>> pCodes = {
      {"1", 0, 0},       {"0011", 0, 1},        {"0010", 0, 2},        {"0001 01", 0, 3},
      {"011", 1, 0},     {"0000 111", 1, 1},    {"0000 110", 1, 2},    {"0000 0010 1", 1, 3},
      {"010", 2, 0},     {"0000 101", 2, 1},    {"0000 100", 2, 2},    {"0000 0101", 2, 3},
      {"0001 1", 3, 0},  {"0000 0100", 3, 1},   {"0000 0011", 3, 2},   {"0000 011", 3, 3},
      {"0001 00", 4, 0}, {"0000 0010 0", 4, 1}, {"0000 0001 1", 4, 2}, {"0000 0001 0", 4, 3},
  };
  for (const auto& [code, type, cbpc] : pCodes) {
    ExpectCode(
        code, [](BitReader& r) { return ReadMcbpc(r, 1); }, type | cbpc << 4, "MCBPC P");
  }
  for (int type : {0, 1}) {
    ExpectCode(
        "0000 0000 1", [type](BitReader& r) { return ReadMcbpc(r, type); }, kStuffing,
        "MCBPC stuffing");
  }
  // Invalid codes consume nothing.
  const std::uint8_t zeros[] = {0x00, 0x00, 0x00};
  BitReader r(zeros, sizeof zeros);
  EXPECT_EQ(ReadMcbpc(r, 0), kInvalidCode);
  EXPECT_EQ(ReadMcbpc(r, 1), kInvalidCode);
  const std::uint8_t iInvalid[] = {0x02, 0x00};  // 0000 001: no I code
  BitReader ri(iInvalid, sizeof iInvalid);
  EXPECT_EQ(ReadMcbpc(ri, 0), kInvalidCode);
  EXPECT_EQ(ri.BitsConsumed(), 0u);
}

TEST(VlcTables, LuminancePattern) {
  const std::map<std::string, int> codes = {
      {"0011", 0},    {"0010 1", 1}, {"0010 0", 2}, {"1001", 3},    {"0001 1", 4}, {"0111", 5},
      {"0000 10", 6}, {"1011", 7},   {"0001 0", 8}, {"0000 11", 9}, {"0101", 10},  {"1010", 11},
      {"0100", 12},   {"1000", 13},  {"0110", 14},  {"11", 15},
  };
  for (const auto& [code, value] : codes) ExpectCode(code, ReadCbpy, value, "CBPY");
  const std::uint8_t invalid[] = {0x04, 0x00};  // 0000 01
  BitReader r(invalid, sizeof invalid);
  EXPECT_EQ(ReadCbpy(r), kInvalidCode);
  EXPECT_EQ(r.BitsConsumed(), 0u);
}

TEST(VlcTables, MotionCodes) {
  // Magnitudes 0..32.
  std::istringstream text(
      "1 01 001 0001 000011 0000101 0000100 0000011 000001011 000001010 000001001 0000010001 "
      "0000010000 0000001111 0000001110 0000001101 0000001100 0000001011 0000001010 0000001001 "
      "0000001000 0000000111 0000000110 0000000101 0000000100 00000000111 00000000110 "
      "00000000101 00000000100 00000000011 00000000010 000000000011 000000000010");
  std::vector<std::string> magnitude{std::istream_iterator<std::string>(text), {}};
  ASSERT_EQ(magnitude.size(), 33u);
  ExpectCode("1", ReadMotionCode, 0, "MVD");
  for (int m = 1; m <= 32; ++m) {
    ExpectCode(magnitude[m] + "0", ReadMotionCode, m, "MVD");
    ExpectCode(magnitude[m] + "1", ReadMotionCode, -m, "MVD");
  }
  // Eleven or more leading zeros begin no code.
  for (const char* bad : {"0000 0000 0001 1", "0000 0000 0000 0"}) {
    BitWriter w;
    w.Code(bad).Code("111");
    auto bytes = w.Bytes();
    BitReader r(bytes.data(), bytes.size());
    EXPECT_EQ(ReadMotionCode(r), kInvalidMotionCode);
    EXPECT_EQ(r.BitsConsumed(), 0u);
  }
}

TEST(VlcTables, DcSizes) {
  // clang-format off
  const std::vector<std::string> luma = {
      "011", "11", "10", "010", "001", "0001", "00001", "000001", "0000001", "00000001",
      "000000001", "0000000001", "00000000001"};
  const std::vector<std::string> chroma = {
      "11", "10", "01", "001", "0001", "00001", "000001", "0000001", "00000001", "000000001",
      "0000000001", "00000000001", "000000000001"};
  // clang-format on
  for (int s = 0; s <= 12; ++s) {
    ExpectCode(
        luma[s], [](BitReader& r) { return ReadDcSize(r, true); }, s, "DC luma");
    ExpectCode(
        chroma[s], [](BitReader& r) { return ReadDcSize(r, false); }, s, "DC chroma");
  }
  const std::uint8_t zeros[] = {0x00, 0x00, 0x00};
  BitReader r(zeros, sizeof zeros);
  EXPECT_EQ(ReadDcSize(r, true), -1);
  EXPECT_EQ(ReadDcSize(r, false), -1);
  EXPECT_EQ(r.BitsConsumed(), 0u);
}

struct Tcoef {
  int last, run, level;
  std::string code;
};

// Entries "last run level code", whitespace-separated.
std::vector<Tcoef> ParseTcoef(const char* text) {
  std::istringstream in(text);
  std::vector<Tcoef> entries;
  Tcoef t;
  while (in >> t.last >> t.run >> t.level >> t.code) entries.push_back(t);
  return entries;
}

// Inter table, by (last, run, level).
// clang-format off
constexpr const char* kInterText = R"(
0 0 1 10              0 0 2 1111            0 0 3 010101          0 0 4 0010111
0 0 5 00011111        0 0 6 000100101       0 0 7 000100100       0 0 8 0000100001
0 0 9 0000100000      0 0 10 00000000111    0 0 11 00000000110    0 0 12 00000100000
0 1 1 110             0 1 2 010100          0 1 3 00011110        0 1 4 0000001111
0 1 5 00000100001     0 1 6 000001010000    0 2 1 1110            0 2 2 00011101
0 2 3 0000001110      0 2 4 000001010001    0 3 1 01101           0 3 2 000100011
0 3 3 0000001101      0 4 1 01100           0 4 2 000100010       0 4 3 000001010010
0 5 1 01011           0 5 2 0000001100      0 5 3 000001010011    0 6 1 010011
0 6 2 0000001011      0 6 3 000001010100    0 7 1 010010          0 7 2 0000001010
0 8 1 010001          0 8 2 0000001001      0 9 1 010000          0 9 2 0000001000
0 10 1 0010110        0 10 2 000001010101   0 11 1 0010101        0 12 1 0010100
0 13 1 00011100       0 14 1 00011011       0 15 1 000100001      0 16 1 000100000
0 17 1 000011111      0 18 1 000011110      0 19 1 000011101      0 20 1 000011100
0 21 1 000011011      0 22 1 000011010      0 23 1 00000100010    0 24 1 00000100011
0 25 1 000001010110   0 26 1 000001010111   1 0 1 0111            1 0 2 000011001
1 0 3 00000000101     1 1 1 001111          1 1 2 00000000100     1 2 1 001110
1 3 1 001101          1 4 1 001100          1 5 1 0010011         1 6 1 0010010
1 7 1 0010001         1 8 1 0010000         1 9 1 00011010        1 10 1 00011001
1 11 1 00011000       1 12 1 00010111       1 13 1 00010110       1 14 1 00010101
1 15 1 00010100       1 16 1 00010011       1 17 1 000011000      1 18 1 000010111
1 19 1 000010110      1 20 1 000010101      1 21 1 000010100      1 22 1 000010011
1 23 1 000010010      1 24 1 000010001      1 25 1 0000000111     1 26 1 0000000110
1 27 1 0000000101     1 28 1 0000000100     1 29 1 00000100100    1 30 1 00000100101
1 31 1 00000100110    1 32 1 00000100111    1 33 1 000001011000   1 34 1 000001011001
1 35 1 000001011010   1 36 1 000001011011   1 37 1 000001011100   1 38 1 000001011101
1 39 1 000001011110   1 40 1 000001011111
)";
// clang-format on

// Intra table, by (last, run, level).
// clang-format off
constexpr const char* kIntraText = R"(
0 0 1 10              0 0 2 110             0 0 3 1111            0 0 4 01101
0 0 5 01100           0 0 6 010101          0 0 7 010011          0 0 8 010010
0 0 9 0010111         0 0 10 00011111       0 0 11 00011110       0 0 12 00011101
0 0 13 000100101      0 0 14 000100100      0 0 15 000100011      0 0 16 000100001
0 0 17 0000100001     0 0 18 0000100000     0 0 19 0000001111     0 0 20 0000001110
0 0 21 00000000111    0 0 22 00000000110    0 0 23 00000100000    0 0 24 00000100001
0 0 25 000001010000   0 0 26 000001010001   0 0 27 000001010010   0 1 1 1110
0 1 2 010100          0 1 3 0010110         0 1 4 00011100        0 1 5 000100000
0 1 6 000011111       0 1 7 0000001101      0 1 8 00000100010     0 1 9 000001010011
0 1 10 000001010101   0 2 1 01011           0 2 2 0010101         0 2 3 000011110
0 2 4 0000001100      0 2 5 000001010110    0 3 1 010001          0 3 2 00011011
0 3 3 000011101       0 3 4 0000001011      0 4 1 010000          0 4 2 000100010
0 4 3 0000001010      0 5 1 001101          0 5 2 000011100       0 5 3 0000001000
0 6 1 0010010         0 6 2 000011011       0 6 3 000001010100    0 7 1 0010100
0 7 2 000011010       0 7 3 000001010111    0 8 1 00011001        0 8 2 0000001001
0 9 1 00011000        0 9 2 00000100011     0 10 1 00010111       0 11 1 000011001
0 12 1 000011000      0 13 1 0000000111     0 14 1 000001011000   1 0 1 0111
1 0 2 001100          1 0 3 00010110        1 0 4 000010111       1 0 5 0000000110
1 0 6 00000000101     1 0 7 00000000100     1 0 8 000001011001    1 1 1 001111
1 1 2 000010110       1 1 3 0000000101      1 2 1 001110          1 2 2 0000000100
1 3 1 0010001         1 3 2 00000100100     1 4 1 0010000         1 4 2 00000100101
1 5 1 0010011         1 5 2 000001011010    1 6 1 00010101        1 6 2 000001011011
1 7 1 00010100        1 8 1 00010011        1 9 1 00011010        1 10 1 000010101
1 11 1 000010100      1 12 1 000010011      1 13 1 000010010      1 14 1 000010001
1 15 1 00000100110    1 16 1 00000100111    1 17 1 000001011100   1 18 1 000001011101
1 19 1 000001011110   1 20 1 000001011111
)";

// clang-format on

void ExpectEvent(const std::string& bits, bool intra, CoefficientEvent expected,
                 const std::string& what) {
  BitWriter w;
  w.Code(bits).Code("0110");
  auto bytes = w.Bytes();
  BitReader r(bytes.data(), bytes.size());
  const CoefficientEvent e = ReadCoefficient(r, intra);
  EXPECT_EQ(e.last, expected.last) << what;
  EXPECT_EQ(e.run, expected.run) << what;
  EXPECT_EQ(e.level, expected.level) << what;
  EXPECT_EQ(r.BitsConsumed(), w.Count() - 4u) << what;
}

TEST(VlcTables, EveryCoefficientCodeWithSign) {
  for (bool intra : {false, true}) {
    const auto table = ParseTcoef(intra ? kIntraText : kInterText);
    ASSERT_EQ(table.size(), 102u);
    for (const Tcoef& t : table) {
      const std::string what = (intra ? "intra " : "inter ") + t.code;
      ExpectEvent(t.code + "0", intra, {t.last, t.run, t.level}, what);
      ExpectEvent(t.code + "1", intra, {t.last, t.run, -t.level}, what + " -");
    }
  }
}

TEST(VlcTables, CoefficientEscapes) {
  const char* escape = "0000 011";
  for (bool intra : {false, true}) {
    const auto table = ParseTcoef(intra ? kIntraText : kInterText);
    // Largest level per (last, run) and largest run per (last, level), from the lists above.
    std::map<std::pair<int, int>, int> maxLevel, maxRun;
    for (const Tcoef& t : table) {
      auto& l = maxLevel[{t.last, t.run}];
      l = std::max(l, t.level);
      auto& r = maxRun[{t.last, t.level}];
      r = std::max(r, t.run);
    }
    for (const Tcoef& t : table) {
      const std::string what = (intra ? "intra " : "inter ") + t.code;
      // Type 1: the level goes on from the largest one of its run.
      ExpectEvent(std::string(escape) + "0" + t.code + "1", intra,
                  {t.last, t.run, -(t.level + maxLevel[{t.last, t.run}])}, what + " esc1");
      // Type 2: the run goes on past the longest one of its level.
      ExpectEvent(std::string(escape) + "10" + t.code + "0", intra,
                  {t.last, t.run + maxRun[{t.last, t.level}] + 1, t.level}, what + " esc2");
    }
  }
  // The documented spot values.
  ExpectEvent("0000 011 0 10 0", true, {0, 0, 28}, "intra esc1 (0,0,1)");
  ExpectEvent("0000 011 10 10 0", true, {0, 15, 1}, "intra esc2 (0,0,1)");
  EXPECT_EQ(MaxLevel(false, 0, 0), 12);
  EXPECT_EQ(MaxLevel(true, 1, 20), 1);
  EXPECT_EQ(MaxLevel(true, 1, 21), 0);
  EXPECT_EQ(MaxRun(false, 1, 1), 40);
  EXPECT_EQ(MaxRun(true, 0, 4), 3);
  EXPECT_EQ(MaxRun(true, 0, 28), 0);

  // Type 3: last, six bits of run, marker, twelve-bit two's-complement level, marker.
  for (bool intra : {false, true}) {
    ExpectEvent("0000 011 11 1 000101 1 111111111110 1", intra, {1, 5, -2}, "esc3 negative");
    ExpectEvent("0000 011 11 0 111111 1 011111111111 1", intra, {0, 63, 2047}, "esc3 positive");
  }
  // An escape whose second code is invalid or another escape: an invalid event.
  for (const char* bits : {"0000 011 0 0000 0000 0000", "0000 011 10 0000 011 0"}) {
    BitWriter w;
    w.Code(bits).Code("1111 1111");
    auto bytes = w.Bytes();
    BitReader r(bytes.data(), bytes.size());
    EXPECT_EQ(ReadCoefficient(r, false).last, -1) << bits;
  }
  const std::uint8_t zeros[] = {0x00, 0x00, 0x00};
  BitReader r(zeros, sizeof zeros);
  const CoefficientEvent invalid = ReadCoefficient(r, true);
  EXPECT_EQ(invalid.last, -1);
  EXPECT_EQ(invalid.run, -1);
  EXPECT_EQ(invalid.level, -1);
  EXPECT_EQ(r.BitsConsumed(), 0u);
}

}  // namespace
}  // namespace mivora::decoder
