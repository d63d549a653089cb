#include "decoder/field_prediction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "decoder/picture.h"

namespace mivora::decoder {
namespace {

// A 64x48 reference whose samples all differ by position; field-predicted macroblocks of the
// current picture are compared with it.
class FieldFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(AllocatePictures(store, 64, 48));
    for (int r = 0; r < 48; ++r)
      for (int c = 0; c < 64; ++c) Ref(r, c) = static_cast<std::uint8_t>(r * 5 + c);
    for (int r = 0; r < 24; ++r)
      for (int c = 0; c < 32; ++c) RefU(r, c) = static_cast<std::uint8_t>(100 + r * 3 + c);
    ExtendReferenceEdges(store);
  }
  void TearDown() override { ReleasePictures(store); }
  std::uint8_t& Ref(int r, int c) { return store.reference.y[r * store.stride + c]; }
  std::uint8_t& RefU(int r, int c) { return store.reference.u[r * (store.stride / 2) + c]; }
  int Cur(int r, int c) { return store.current.y[r * store.stride + c]; }
  int CurU(int r, int c) { return store.current.u[r * (store.stride / 2) + c]; }
  void Predict(int mbx, int mby, FieldVectors f, int rounding = 0) {
    PredictFieldMacroblock(store, store.reference, store.current, mbx, mby, f, rounding);
  }
  PictureStore store;
};

TEST_F(FieldFixture, EachFieldFromTheFieldItSelects) {
  // Swapped fields: the top rows from the bottom field and the other way round.
  Predict(1, 1, {{{0, 0}, {0, 0}}, {1, 0}});
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 16; ++c) {
      ASSERT_EQ(Ref(16 + 2 * r + 1, 16 + c), Cur(16 + 2 * r, 16 + c)) << r;
      ASSERT_EQ(Ref(16 + 2 * r, 16 + c), Cur(16 + 2 * r + 1, 16 + c)) << r;
    }
  for (int r = 0; r < 4; ++r) EXPECT_EQ(RefU(8 + 2 * r + 1, 8), CurU(8 + 2 * r, 8));
  // A vertical half sample averages two rows of the same field, two frame rows apart; a whole
  // field row moves by two frame rows.
  Predict(1, 1, {{{0, 1}, {4, 4}}, {0, 1}});
  EXPECT_EQ((Ref(16, 16) + Ref(18, 16) + 1) >> 1, Cur(16, 16));
  EXPECT_EQ((Ref(30, 20) + Ref(32, 20) + 1) >> 1, Cur(30, 20));
  EXPECT_EQ(Ref(21, 18), Cur(17, 16));
  EXPECT_EQ(Ref(33, 32), Cur(29, 30));
  // Chrominance: field vector (4, 4) halves to a whole chrominance sample in each direction.
  EXPECT_EQ(RefU(11, 9), CurU(9, 8));
}

TEST_F(FieldFixture, OutsideThePictureBothFieldsSeeTheFramesEdgeRows) {
  // Sixteen field rows up from the first macroblock row: every row of either field is the frame's
  // first row, the top field's, even for the bottom field selected.
  Predict(0, 0, {{{0, -32}, {0, -32}}, {1, 1}});
  for (int r = 0; r < 16; ++r) ASSERT_EQ(Ref(0, 5), Cur(r, 5)) << r;
  // Down past the last row: the frame's last row, a bottom-field row, for the top field too.
  Predict(1, 2, {{{0, 40}, {0, 40}}, {0, 0}});
  for (int r = 32; r < 48; ++r) ASSERT_EQ(Ref(47, 20), Cur(r, 20)) << r;
  // Far beyond the padding in any direction stays in the buffer (checked by ASan).
  const std::int16_t far[] = {-32768, -4001, -65, 63, 131, 32767};
  for (int quarter = 0; quarter < 2; ++quarter) {
    store.quarterSample = quarter;
    for (auto x : far)
      for (auto y : far)
        for (int mbx : {0, 3})
          for (int mby : {0, 2}) Predict(mbx, mby, {{{x, y}, {y, x}}, {0, 1}}, 1);
  }
}

TEST_F(FieldFixture, QuarterSampleFieldsAndTheirChrominance) {
  store.quarterSample = 1;
  // Whole samples: (4, 8) quarter samples are one column right and two field rows down.
  Predict(1, 1, {{{4, 8}, {0, 0}}, {0, 1}});
  EXPECT_EQ(Ref(16 + 4, 17), Cur(16, 16));
  EXPECT_EQ(Ref(17, 16), Cur(17, 16));
  // Halved towards zero horizontally, downwards vertically, then rounded like a frame vector.
  EXPECT_EQ(0, ChromaFromFieldVector(-1, true, false));
  EXPECT_EQ(-1, ChromaFromFieldVector(-1, true, true));
  EXPECT_EQ(1, ChromaFromFieldVector(3, true, true));
  EXPECT_EQ(3, ChromaFromFieldVector(5, false, true));
  EXPECT_EQ(-2, ChromaFromFieldVector(-4, false, false));
}

// The averaged prediction (a bidirectional prediction's second half) is the plain one averaged
// into the picture, sample for sample, whether the fields lie inside the reference (predicted in
// place) or reach beyond its border (gathered), with half- and quarter-sample vectors; and the
// plain prediction changes the macroblock's own samples only, not the rows of the block below nor
// the border under the last row, which a kernel predicting in place writes over too.
TEST(FieldPrediction, AveragedEqualsPlainAveragedIntoThePicture) {
  PictureStore store;
  ASSERT_TRUE(AllocatePictures(store, 64, 48));
  std::mt19937 random(7);
  for (std::uint8_t* p = store.buffer; p != store.buffer + store.bytes; ++p)
    *p = static_cast<std::uint8_t>(random());
  ExtendReferenceEdges(store);
  const std::vector<std::uint8_t> before(store.buffer, store.buffer + store.bytes);
  const FieldVectors cases[] = {
      {{{3, 5}, {-7, 2}}, {0, 1}},          // inside, both fields
      {{{1, 1}, {2, 3}}, {1, 0}},           // fields crossed
      {{{-301, 155}, {250, -97}}, {1, 1}},  // far outside: gathered
      {{{-70, -41}, {0, 0}}, {0, 0}},       // one field at the edge
  };
  // The macroblock's samples of one plane of the current picture, taken from `from`.
  auto takeBlock = [&](std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& from,
                       const std::uint8_t* plane, int stride, int x, int y, int size) {
    const std::ptrdiff_t base = plane - store.buffer;
    for (int r = 0; r < size; ++r)
      for (int c = 0; c < size; ++c) {
        const std::ptrdiff_t i = base + std::ptrdiff_t(y + r) * stride + x + c;
        to[std::size_t(i)] = from[std::size_t(i)];
      }
  };
  const int places[][2] = {{0, 0}, {2, 0}, {3, 1}, {1, 2}};
  for (int quarter = 0; quarter < 2; ++quarter) {
    store.quarterSample = quarter;
    for (const auto& place : places) {
      const int mbx = place[0], mby = place[1];
      for (const FieldVectors& f : cases) {
        SCOPED_TRACE(testing::Message() << "quarter " << quarter << " mb " << mbx << "," << mby
                                        << " vector " << f.vector[0].x << "," << f.vector[0].y);
        std::copy(before.begin(), before.end(), store.buffer);
        PredictFieldMacroblock(store, store.reference, store.current, mbx, mby, f, 0);
        const std::vector<std::uint8_t> plain(store.buffer, store.buffer + store.bytes);
        std::vector<std::uint8_t> expected = before;
        takeBlock(expected, plain, store.current.y, store.stride, 16 * mbx, 16 * mby, 16);
        takeBlock(expected, plain, store.current.u, store.stride / 2, 8 * mbx, 8 * mby, 8);
        takeBlock(expected, plain, store.current.v, store.stride / 2, 8 * mbx, 8 * mby, 8);
        EXPECT_TRUE(expected == plain) << "samples outside the macroblock changed";
        std::copy(before.begin(), before.end(), store.buffer);
        PredictFieldMacroblock(store, store.reference, store.current, mbx, mby, f, 0, true);
        int wrong = 0;
        for (std::size_t i = 0; i < store.bytes; ++i)
          wrong += store.buffer[i] != ((before[i] + plain[i] + 1) >> 1);
        EXPECT_EQ(0, wrong);
      }
    }
  }
  ReleasePictures(store);
}

}  // namespace
}  // namespace mivora::decoder
