#include "decoder/macroblock.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/decoder/bit_writer.h"

namespace mivora::decoder {
namespace {

using testing::BitWriter;

// A decoder state with pictures for a width x height picture, reading the given bits.
struct Fixture {
  std::unique_ptr<DecoderState> state = std::make_unique<DecoderState>();
  std::vector<std::uint8_t> bytes;
  Fixture(const BitWriter& w, int width, int height, int pictureType = 1) {
    SizeMacroblockState(*state, width, height);
    EXPECT_TRUE(AllocatePictures(state->pictures, width, height));
    bytes = w.Bytes();
    state->reader.Reset(bytes.data(), bytes.size());
    state->picture.pictureType = pictureType;
    state->picture.quantiser = 8;
    state->picture.fcode = 1;
  }
  ~Fixture() { ReleasePictures(state->pictures); }
  MotionVector* Vectors(int x, int y) { return state->Vectors(x, y); }
};

void Set(MotionVector* v, std::initializer_list<MotionVector> values) {
  int i = 0;
  for (auto m : values) v[i++] = m;
}

bool Same(MotionVector a, MotionVector b) {
  return a.x == b.x && a.y == b.y;
}

TEST(Macroblock, VectorPredictors) {
  Fixture f(BitWriter{}, 48, 48);
  DecoderState& s = *f.state;
  // First macroblock: (0, 0). Second of row 0: vector 1 of the first.
  EXPECT_TRUE(Same(PredictVector(s, -1), {0, 0}));
  Set(f.Vectors(0, 0), {{1, 1}, {5, -3}, {2, 2}, {3, 3}});
  s.mbX = 1;
  EXPECT_TRUE(Same(PredictVector(s, -1), {5, -3}));
  // Block 1 in row 0 takes block 0 of its own macroblock.
  Set(f.Vectors(1, 0), {{7, 8}, {0, 0}, {0, 0}, {0, 0}});
  EXPECT_TRUE(Same(PredictVector(s, 1), {7, 8}));

  // Row 1, middle: median of left[1], above[2], above-right[2], per component.
  Set(f.Vectors(0, 1), {{0, 0}, {10, -10}, {0, 0}, {0, 0}});
  Set(f.Vectors(1, 0), {{0, 0}, {0, 0}, {4, 4}, {0, 0}});
  Set(f.Vectors(2, 0), {{0, 0}, {0, 0}, {-2, 20}, {0, 0}});
  s.mbX = 1;
  s.mbY = 1;
  EXPECT_TRUE(Same(PredictVector(s, 0), {4, 4}));
  // Last column: the above-right candidate lies outside and counts as zero.
  s.mbX = 2;
  Set(f.Vectors(1, 1), {{0, 0}, {6, 6}, {0, 0}, {0, 0}});
  Set(f.Vectors(2, 0), {{0, 0}, {0, 0}, {8, -8}, {0, 0}});
  EXPECT_TRUE(Same(PredictVector(s, 0), {6, 0}));
  // First column: the left candidate counts as zero.
  s.mbX = 0;
  Set(f.Vectors(0, 0), {{0, 0}, {0, 0}, {3, 3}, {0, 0}});
  Set(f.Vectors(1, 0), {{0, 0}, {0, 0}, {5, 1}, {0, 0}});
  EXPECT_TRUE(Same(PredictVector(s, 0), {3, 1}));

  // Four vectors: block 3 is the median of blocks 2, 1 and 0 of the same macroblock.
  s.mbX = 1;
  Set(f.Vectors(1, 1), {{2, 0}, {4, 0}, {6, 0}, {0, 0}});
  EXPECT_TRUE(Same(PredictVector(s, 3), {4, 0}));
  // Block 2: left macroblock's block 3, this block 0 and block 1.
  Set(f.Vectors(0, 1), {{0, 0}, {0, 0}, {0, 0}, {9, -1}});
  EXPECT_TRUE(Same(PredictVector(s, 2), {4, 0}));
  // Block 1 below row 0: this block 0, above block 3, above-right block 2.
  Set(f.Vectors(1, 0), {{0, 0}, {0, 0}, {0, 0}, {-4, 7}});
  Set(f.Vectors(2, 0), {{0, 0}, {0, 0}, {1, 2}, {0, 0}});
  EXPECT_TRUE(Same(PredictVector(s, 1), {1, 2}));
}

TEST(Macroblock, VectorDifferencesWrapIntoTheRange) {
  {
    // fcode 1: predictor 30 + 5 = 35 wraps to -29; vertical +8 from 0.
    BitWriter w;
    w.Code("0000 101 0").Code("0000 0101 10");
    Fixture f(w, 48, 48);
    f.state->mbX = 1;
    Set(f.Vectors(0, 0), {{0, 0}, {30, 0}, {0, 0}, {0, 0}});
    ASSERT_TRUE(DecodeVector(*f.state, -1));
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(Same(f.Vectors(1, 0)[k], {-29, 8}));
    EXPECT_EQ(f.state->reader.BitsConsumed(), 18u);
  }
  {
    // fcode 2: code 3 with residual 1 gives 6; code -1 with residual 0 gives -1; zero has no
    // residual.
    BitWriter w;
    w.Code("0001 0").Code("1").Code("011").Code("0").Code("1").Code("1");
    Fixture f(w, 48, 48);
    f.state->picture.fcode = 2;
    ASSERT_TRUE(DecodeVector(*f.state, 0));
    EXPECT_TRUE(Same(f.Vectors(0, 0)[0], {6, -1}));
    ASSERT_TRUE(DecodeVector(*f.state, 1));
    EXPECT_TRUE(Same(f.Vectors(0, 0)[1], {6, -1}));  // predicted from block 0, zero difference
    EXPECT_EQ(f.state->reader.BitsConsumed(), 12u);
  }
  {
    // fcode 7: the largest range, -2048..2047.
    BitWriter w;
    w.Code("0000 0000 0010 0").Put(62, 6).Code("0000 0000 0010 1").Put(63, 6);
    Fixture f(w, 48, 48);
    f.state->picture.fcode = 7;
    ASSERT_TRUE(DecodeVector(*f.state, -1));
    EXPECT_TRUE(Same(f.Vectors(0, 0)[0], {2047, -2048}));
  }
  {
    BitWriter w;
    w.Code("0000 0000 0001").Put(0, 8);
    Fixture f(w, 48, 48);
    EXPECT_FALSE(DecodeVector(*f.state, -1));
  }
}

TEST(Macroblock, QuantiserStepsAreClampedAndPatternsInverted) {
  for (auto [q, code, expected] : {std::tuple{2, 1, 1}, {30, 3, 31}, {10, 0, 9}, {10, 2, 11}}) {
    // P picture, coded, inter with quantiser change, cbpc 0, CBPY 11 (none coded when inter),
    // dquant, zero vector.
    BitWriter w;
    w.Code("0").Code("011").Code("11").Put(code, 2).Code("1 1");
    Fixture f(w, 16, 16);
    f.state->picture.quantiser = q;
    ASSERT_TRUE(DecodeMacroblock(*f.state));
    EXPECT_EQ(f.state->picture.quantiser, expected);
    EXPECT_EQ(f.state->cbp, 0);
    EXPECT_EQ(f.state->reader.BitsConsumed(), 10u);
  }
  {
    // CBPY 0011 in an inter macroblock: all four luminance blocks, each one coefficient.
    BitWriter w;
    w.Code("0 1 0011 1 1").Code("0111 0 0111 0 0111 0 0111 0");
    Fixture f(w, 16, 16);
    ASSERT_TRUE(DecodeMacroblock(*f.state));
    EXPECT_EQ(f.state->cbp, 0x3C);
    EXPECT_EQ(f.state->reader.BitsConsumed(), 28u);
  }
  {
    // Intra macroblock in an I picture: the same CBPY code gives no coded luminance block.
    BitWriter w;
    w.Code("1").Code("0").Code("0011").Code("011 011 011 011 11 11");
    Fixture f(w, 16, 16, 0);
    ASSERT_TRUE(DecodeMacroblock(*f.state));
    EXPECT_EQ(f.state->cbp, 0);
    EXPECT_EQ(f.state->Mode(0, 0), 3);
    EXPECT_EQ(f.state->reader.BitsConsumed(), 22u);
  }
}

TEST(Macroblock, StuffingIsNotAMacroblock) {
  // P picture: coded bit, stuffing, then the macroblock read again from its not-coded bit.
  BitWriter w;
  w.Code("0 0000 0000 1").Code("0 0000 0000 1").Code("1");
  Fixture f(w, 16, 16);
  ASSERT_TRUE(DecodeMacroblock(*f.state));
  EXPECT_EQ(f.state->Mode(0, 0), kNotCodedMode);
  EXPECT_EQ(f.state->reader.BitsConsumed(), 21u);
  // I picture: stuffing before the type code.
  BitWriter i;
  i.Code("0000 0000 1").Code("1").Code("0").Code("11");
  for (int b = 0; b < 4; ++b) i.Code("011 0111 0");  // DC size 0, one coefficient
  i.Code("11 11");
  Fixture g(i, 16, 16, 0);
  ASSERT_TRUE(DecodeMacroblock(*g.state));
  EXPECT_EQ(g.state->cbp, 0x3C);
  EXPECT_EQ(g.state->reader.BitsConsumed(), 9u + 1 + 1 + 2 + 32 + 4);
}

TEST(Macroblock, InvalidCodesLoseThePosition) {
  // Invalid type code in an I picture; invalid CBPY; invalid motion code.
  const char* streams[][2] = {
      {"0000 0010 0000", "I"}, {"1 0 0000 0000", "I"}, {"0 1 11 0000 0000 0000 0", "P"}};
  for (const auto& s : streams) {
    BitWriter w;
    w.Code(s[0]).Put(0, 16);
    Fixture f(w, 16, 16, s[1][0] == 'I' ? 0 : 1);
    EXPECT_FALSE(DecodeMacroblock(*f.state)) << s[0];
    EXPECT_TRUE(f.state->damaged) << s[0];
  }
}

}  // namespace
}  // namespace mivora::decoder
