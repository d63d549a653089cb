#include "decoder/field_macroblock.h"

#include <gtest/gtest.h>

#include <memory>

#include "decoder/macroblock.h"
#include "tests/decoder/bit_writer.h"

namespace mivora::decoder {
namespace {

using testing::BitWriter;

void ExpectVector(MotionVector want, MotionVector got) {
  EXPECT_EQ(want.x, got.x);
  EXPECT_EQ(want.y, got.y);
}

TEST(FieldMacroblock, PMacroblockReadsTwoFieldVectorsAndLeavesTheirAverage) {
  // Coded, inter without pattern, field prediction from the top then the bottom field; top field
  // difference (0, +1), bottom field (-1, 0); both predicted from (4, 6) halved vertically.
  BitWriter w;
  w.Code("0 1 11").Code("1 0 1").Code("1 010").Code("011 1");
  auto state = std::make_unique<DecoderState>();
  SizeMacroblockState(*state, 48, 32);
  ASSERT_TRUE(AllocatePictures(state->pictures, 48, 32));
  const std::vector<std::uint8_t> bytes = w.Bytes();
  state->reader.Reset(bytes.data(), bytes.size());
  state->sequence.interlaced = 1;
  state->picture.pictureType = 1;
  state->picture.quantiser = 8;
  state->mbX = 1;
  for (int k = 0; k < 4; ++k) state->Vectors(0, 0)[k] = {4, 6};
  EXPECT_TRUE(DecodeMacroblock(*state));
  EXPECT_EQ(static_cast<std::size_t>(w.Count()), state->reader.BitsConsumed());
  ASSERT_EQ(1, state->fieldPredicted[1]);
  const FieldVectors& f = state->fieldMotion[1];
  ExpectVector({4, 4}, f.vector[0]);
  ExpectVector({3, 3}, f.vector[1]);
  EXPECT_EQ(0, f.select[0]);
  EXPECT_EQ(1, f.select[1]);
  for (int k = 0; k < 4; ++k) ExpectVector({3, 7}, state->Vectors(1, 0)[k]);
  ClearFieldMotion(*state);
  EXPECT_EQ(0, state->fieldPredicted[1]);
  ReleasePictures(state->pictures);
}

// Each field's co-located vector scaled by distances in fields: two per frame, one less or more
// where the vector crosses to the other field, by which field comes first.
TEST(FieldMacroblock, DirectVectorsScaleByFieldDistances) {
  const FieldVectors colocated{{{6, 4}, {-6, 2}}, {1, 0}};
  for (int ticks : {1, 2}) {  // the frame period in time units: 1 or 2
    FieldVectors f, b;
    DirectFieldVectors(colocated, {0, 0}, ticks, 2 * ticks, true, f, b);
    ExpectVector({2, 1}, f.vector[0]);    // distances 1 of 3
    ExpectVector({-4, -2}, b.vector[0]);  // (1 - 3) / 3
    ExpectVector({-3, 1}, f.vector[1]);   // 3 of 5
    ExpectVector({2, 0}, b.vector[1]);
    EXPECT_EQ(1, f.select[0]);
    EXPECT_EQ(0, f.select[1]);
    EXPECT_EQ(0, b.select[0]);  // backward: each field from its own
    EXPECT_EQ(1, b.select[1]);
    DirectFieldVectors(colocated, {0, 0}, ticks, 2 * ticks, false, f, b);
    ExpectVector({3, 2}, f.vector[0]);  // 3 of 5
    ExpectVector({-2, -1}, b.vector[0]);
    ExpectVector({-2, 0}, f.vector[1]);  // 1 of 3
    ExpectVector({4, -1}, b.vector[1]);
  }
  // A coded delta moves both fields' forward vectors; the backward ones follow.
  FieldVectors f, b;
  DirectFieldVectors(colocated, {1, -1}, 1, 2, true, f, b);
  ExpectVector({3, 0}, f.vector[0]);
  ExpectVector({-3, -4}, b.vector[0]);
}

}  // namespace
}  // namespace mivora::decoder
