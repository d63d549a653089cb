#include "decoder/block_coefficients.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "decoder/scan_tables.h"
#include "tests/decoder/bit_writer.h"

namespace mivora::decoder {
namespace {

using testing::BitWriter;

// A decoder state for a 32x32 picture reading the given bits.
struct Fixture {
  std::unique_ptr<DecoderState> state = std::make_unique<DecoderState>();
  std::vector<std::uint8_t> bytes;
  explicit Fixture(const BitWriter& w, int q = 8) {
    SizeMacroblockState(*state, 32, 32);
    bytes = w.Bytes();
    state->reader.Reset(bytes.data(), bytes.size());
    state->picture.quantiser = q;
  }
  std::int16_t* block() { return state->block; }
};

TEST(BlockCoefficients, DcScalerKeepsTheChromaRuleAboveTwentyFour) {
  const int q[] = {1, 4, 5, 8, 9, 24, 25, 31};
  const int luma[] = {8, 8, 10, 16, 17, 32, 34, 46};
  const int chroma[] = {8, 8, 9, 10, 11, 18, 19, 22};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(DcScaler(q[i], true), luma[i]) << q[i];
    EXPECT_EQ(DcScaler(q[i], false), chroma[i]) << q[i];
  }
}

// The predictor divides by multiplying with a reciprocal; it must agree with plain division,
// rounding half away from zero, for every stored DC and every scaler the quantisers give.
TEST(BlockCoefficients, ScaledPredictorMatchesRoundedDivision) {
  for (int q = 1; q <= 31; ++q) {
    for (const bool luminance : {true, false}) {
      const int s = DcScaler(q, luminance);
      for (int p = -32768; p <= 32767; ++p) {
        const int expected = p > 0 ? (p + s / 2) / s : (p - s / 2) / s;
        ASSERT_EQ(ScaledPredictor(p, s), expected) << p << " / " << s;
      }
    }
  }
}

TEST(BlockCoefficients, DcDifferentials) {
  BitWriter w;
  w.Code("010 101 011111111 1 100000000 1").Put(0, 8);
  auto bytes = w.Bytes();
  BitReader r(bytes.data(), bytes.size());
  EXPECT_EQ(ReadDcDifferential(r, 3), -5);
  EXPECT_EQ(ReadDcDifferential(r, 3), 5);
  EXPECT_EQ(ReadDcDifferential(r, 9), -256);  // the marker after nine bits is consumed
  EXPECT_EQ(ReadDcDifferential(r, 9), 256);
  EXPECT_EQ(r.BitsConsumed(), 26u);
  EXPECT_EQ(ReadDcDifferential(r, 0), 0);
  EXPECT_EQ(r.BitsConsumed(), 26u);
}

TEST(BlockCoefficients, DcPredictionDirectionAndRounding) {
  {
    // Top-left block: three border values of 1024 tie, so from the left; predictor 128.
    BitWriter w;
    w.Code("010 010");  // size 3, differential -5
    Fixture f(w, 4);
    DecodeIntraBlock(*f.state, 0, false);
    EXPECT_FALSE(f.state->predictFromAbove);
    EXPECT_EQ(f.block()[0], (128 - 5) * 8);
    EXPECT_EQ(f.state->luma.At(0, 0).dc, (128 - 5) * 8);
  }
  {
    // Block 3 with left (block 2) 100, above-left (block 0) 100, above (block 1) 400: the
    // left-to-above-left gradient is smaller, so the prediction comes from above.
    BitWriter w;
    w.Code("011");  // size 0
    Fixture f(w, 4);
    f.state->luma.At(0, 1).dc = 100;
    f.state->luma.At(0, 0).dc = 100;
    f.state->luma.At(1, 0).dc = 400;
    DecodeIntraBlock(*f.state, 3, false);
    EXPECT_TRUE(f.state->predictFromAbove);
    EXPECT_EQ(f.block()[0], 400);
  }
  {
    // A negative predictor rounds half away from zero: (-20 - 4) / 8 = -3.
    BitWriter w;
    w.Code("011");
    Fixture f(w, 4);
    f.state->luma.At(-1, 0).dc = -20;
    DecodeIntraBlock(*f.state, 0, false);
    EXPECT_EQ(f.block()[0], -24);
  }
}

TEST(BlockCoefficients, AcPredictionAndScanChoice) {
  // Intra block 0, predicted from above (the left gradient is smaller), with AC prediction:
  // the alternate-horizontal scan, and the levels of the row of the block above added to the
  // levels at indices 1..7 before inverse quantisation.
  BitWriter w;
  w.Code("011");       // DC size 0
  w.Code("0110 1 0");  // intra (0, 0, 4)
  w.Code("0101 1 0");  // intra (0, 2, 1)
  w.Code("0111 1");    // intra (1, 0, 1), negative
  Fixture f(w, 5);
  PredictionEntry& above = f.state->luma.At(0, -1);
  // Inverse quantisation with q = 5: level * 10 + 5. The row above holds levels 1..7.
  for (int k = 0; k < 7; ++k) above.row[k] = static_cast<std::int16_t>(10 * (k + 1) + 5);
  f.state->luma.At(-1, 0).dc = 1000;   // A
  f.state->luma.At(-1, -1).dc = 1000;  // B: |B - A| = 0 < |B - C| = 24, so from above
  f.state->acPredicted = 1;
  DecodeIntraBlock(*f.state, 0, true);
  ASSERT_TRUE(f.state->predictFromAbove);
  std::int16_t* b = f.block();
  EXPECT_EQ(b[kAlternateHorizontalScan[1]], 55);   // index 1: level 4 + 1
  EXPECT_EQ(b[kAlternateHorizontalScan[4]], 15);   // index 8: not in the row
  EXPECT_EQ(b[kAlternateHorizontalScan[5]], -15);  // index 9
  EXPECT_EQ(b[2], 25);                             // predicted only: level 2
  EXPECT_EQ(b[7], 75);
  const PredictionEntry& self = f.state->luma.At(0, 0);
  EXPECT_EQ(self.row[0], 55);
  EXPECT_EQ(self.column[0], 15);
  EXPECT_FALSE(f.state->damaged);

  // Without coefficients the prediction still happens; from the left the column's levels are
  // added, rescaled from the neighbour's quantiser 10 (level * 20 + 9) to this block's 5.
  BitWriter v;
  v.Code("011");
  Fixture g(v, 5);
  PredictionEntry& left = g.state->luma.At(-1, 0);
  left.dc = 1024;
  left.quantiser = 10;
  for (int k = 0; k < 7; ++k) left.column[k] = static_cast<std::int16_t>(-(20 * (k + 1) + 9));
  g.state->acPredicted = 1;
  DecodeIntraBlock(*g.state, 0, false);
  EXPECT_FALSE(g.state->predictFromAbove);
  for (int k = 0; k < 7; ++k) EXPECT_EQ(g.block()[8 * (k + 1)], -(10 * 2 * (k + 1) + 5));
  EXPECT_EQ(g.block()[1], 0);
}

TEST(BlockCoefficients, InterInverseQuantisationWrapsAndStaysInTheBlock) {
  {
    BitWriter w;
    w.Code("10 0").Code("10 1").Code("0101 01 0").Code("0111 0");  // 1, -1, 3, last 1
    Fixture f(w, 10);
    DecodeInterBlock(*f.state, 0);
    EXPECT_EQ(f.block()[kZigzagScan[0]], 29);
    EXPECT_EQ(f.block()[kZigzagScan[1]], -29);
    EXPECT_EQ(f.block()[kZigzagScan[2]], 69);
    EXPECT_EQ(f.block()[kZigzagScan[3]], 29);
  }
  {
    BitWriter w;
    w.Code("1111 0").Code("0111 0");
    Fixture f(w, 7);
    DecodeInterBlock(*f.state, 0);
    EXPECT_EQ(f.block()[0], 35);
  }
  {
    // Signs through every path at q 3 (m 6, c 3): an eleven-bit code past the first-level table
    // (-(12 * 6 + 3)), fixed-length escapes of level 0 (-c) and -2 (-2 * 6 - 3).
    BitWriter w;
    w.Code("00000100000 1")
        .Code("0000 011 11 0 000000 1 000000000000 1")
        .Code("0000 011 11 1 000000 1 111111111110 1");
    Fixture f(w, 3);
    DecodeInterBlock(*f.state, 0);
    EXPECT_FALSE(f.state->damaged);
    EXPECT_EQ(f.block()[kZigzagScan[0]], -75);
    EXPECT_EQ(f.block()[kZigzagScan[1]], -3);
    EXPECT_EQ(f.block()[kZigzagScan[2]], -15);
    EXPECT_EQ(f.state->reader.BitsConsumed(), static_cast<std::size_t>(w.Count()));
  }
  {
    // 2047 * 62 + 31 = 126945 wraps to -4127.
    BitWriter w;
    w.Code("0000 011 11 1 000000 1 011111111111 1");
    Fixture f(w, 31);
    DecodeInterBlock(*f.state, 0);
    EXPECT_EQ(f.block()[0], -4127);
  }
  {
    // A run past position 63 ends the block; nothing is written outside it.
    BitWriter w;
    w.Code("10 0").Code("0000 011 11 0 111111 1 000000000101 1");
    Fixture f(w, 2);
    std::int16_t guard = f.state->block[63];
    DecodeInterBlock(*f.state, 0);
    EXPECT_TRUE(f.state->damaged);
    EXPECT_TRUE(f.state->lost);
    EXPECT_EQ(f.block()[0], 5);
    EXPECT_EQ(f.state->block[63], guard);
  }
  {
    // An invalid code ends the block and loses the position.
    BitWriter w;
    w.Code("10 0").Put(0, 16);
    Fixture f(w, 2);
    DecodeInterBlock(*f.state, 0);
    EXPECT_TRUE(f.state->lost);
    EXPECT_EQ(f.block()[0], 5);
    EXPECT_EQ(std::count(f.block(), f.block() + 64, 0), 63);
  }
}

TEST(BlockCoefficients, NonIntraNeighboursStopPrediction) {
  BitWriter w;
  Fixture f(w);
  DecoderState& s = *f.state;
  s.mbX = 1;
  s.mbY = 1;
  auto fill = [](PredictionEntry& e) {
    e.dc = 77;
    for (auto& v : e.row) v = 5;
    for (auto& v : e.column) v = 6;
  };
  for (int y = -1; y < 4; ++y) {
    for (int x = -1; x < 4; ++x) fill(s.luma.At(x, y));
  }
  for (int y = -1; y < 2; ++y) {
    for (int x = -1; x < 2; ++x) fill(s.cb.At(x, y)), fill(s.cr.At(x, y));
  }
  s.Mode(0, 0) = 3;              // above-left intra: kept
  s.Mode(0, 1) = kNotCodedMode;  // left skipped
  s.Mode(1, 0) = 0;              // above inter
  ClearNonIntraNeighbours(s);
  EXPECT_EQ(s.luma.At(1, 1).dc, 77);  // above-left macroblock's block 3
  EXPECT_EQ(s.cb.At(0, 0).dc, 77);
  for (int by : {2, 3}) {
    EXPECT_EQ(s.luma.At(1, by).dc, 1024);
    EXPECT_EQ(s.luma.At(1, by).column[3], 0);
    EXPECT_EQ(s.luma.At(1, by).row[3], 5);
  }
  for (int bx : {2, 3}) {
    EXPECT_EQ(s.luma.At(bx, 1).dc, 1024);
    EXPECT_EQ(s.luma.At(bx, 1).row[6], 0);
  }
  EXPECT_EQ(s.cr.At(0, 1).dc, 1024);
  EXPECT_EQ(s.cr.At(0, 1).column[0], 0);
  EXPECT_EQ(s.cb.At(1, 0).dc, 1024);
  EXPECT_EQ(s.cb.At(1, 0).row[0], 0);
  EXPECT_EQ(s.luma.At(2, 2).dc, 77);  // the macroblock's own blocks are untouched
}

TEST(BlockCoefficients, ScansArePermutationsAndTheAlternatesAreTransposes) {
  const std::uint8_t* scans[] = {kZigzagScan, kAlternateHorizontalScan, kAlternateVerticalScan};
  for (const auto* scan : scans) {
    std::vector<int> seen(64, 0);
    for (int i = 0; i < 64; ++i) ++seen[scan[i]];
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), 64);
  }
  for (int i = 0; i < 64; ++i) {
    const int h = kAlternateHorizontalScan[i];
    EXPECT_EQ(kAlternateVerticalScan[i], (h % 8) * 8 + h / 8) << i;
  }
  const int zigzag16[] = {0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5};
  const int horizontal16[] = {0, 1, 2, 3, 8, 9, 16, 17, 10, 11, 4, 5, 6, 7, 15, 14};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(kZigzagScan[i], zigzag16[i]);
    EXPECT_EQ(kAlternateHorizontalScan[i], horizontal16[i]);
  }
  // The zigzag walks the anti-diagonals: row + column changes by at most one per step.
  for (int i = 1; i < 64; ++i) {
    const int a = kZigzagScan[i - 1], b = kZigzagScan[i];
    EXPECT_LE(std::abs(a / 8 + a % 8 - (b / 8 + b % 8)), 1) << i;
  }
}

}  // namespace
}  // namespace mivora::decoder
