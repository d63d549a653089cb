#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "decoder/dsp.h"
#include "decoder/motion_compensation.h"
#include "decoder/picture.h"

namespace mivora::decoder {
namespace {

constexpr int kStride = 32;

// Runs one table entry on a source whose first two rows are given; returns destination (0, 0).
int PredictOne(int selector, int p, int q, int u, int w) {
  std::vector<std::uint8_t> src(18 * kStride, 0), dst(18 * kStride, 0);
  src[0] = static_cast<std::uint8_t>(p);
  src[1] = static_cast<std::uint8_t>(q);
  src[kStride] = static_cast<std::uint8_t>(u);
  src[kStride + 1] = static_cast<std::uint8_t>(w);
  ReferenceDsp().predict[selector](src.data(), dst.data(), kStride);
  return dst[0];
}

TEST(Prediction, RoundingOfHalfSamplePositions) {
  for (int big = 0; big < 2; ++big) {
    const int s = 8 * big;
    EXPECT_EQ(11, PredictOne(s + 1, 10, 11, 0, 0));      // (1, 0), r = 0
    EXPECT_EQ(10, PredictOne(s + 4 + 1, 10, 11, 0, 0));  // (1, 0), r = 1
    EXPECT_EQ(11, PredictOne(s + 2, 10, 0, 11, 0));      // (0, 1), r = 0
    EXPECT_EQ(10, PredictOne(s + 4 + 2, 10, 0, 11, 0));
    EXPECT_EQ(11, PredictOne(s + 3, 10, 10, 11, 11));  // (42 + 2) >> 2
    EXPECT_EQ(10, PredictOne(s + 4 + 3, 10, 10, 11, 11));
    EXPECT_EQ(255, PredictOne(s + 3, 255, 255, 255, 255));
    EXPECT_EQ(10, PredictOne(s + 0, 10, 200, 200, 200));  // whole sample ignores rounding
    EXPECT_EQ(10, PredictOne(s + 4, 10, 200, 200, 200));
  }
}

// Each selector against the general formula over the whole block, which catches a routine in the
// wrong slot or one that fills the wrong size.
TEST(Prediction, EverySelectorFillsItsBlock) {
  std::mt19937 rng(5);
  std::vector<std::uint8_t> src(18 * kStride);
  for (auto& s : src) s = static_cast<std::uint8_t>(rng());
  for (int sel = 0; sel < 16; ++sel) {
    const int size = sel & 8 ? 16 : 8, r = (sel >> 2) & 1, hy = (sel >> 1) & 1, hx = sel & 1;
    std::vector<std::uint8_t> dst(18 * kStride, 0xEE);
    ReferenceDsp().predict[sel](src.data(), dst.data(), kStride);
    for (int i = 0; i < 18; ++i)
      for (int j = 0; j < kStride; ++j) {
        const int got = dst[i * kStride + j];
        if (i >= size || j >= size) {
          ASSERT_EQ(0xEE, got) << "selector " << sel << " wrote outside at " << i << "," << j;
          continue;
        }
        auto at = [&](int di, int dj) { return src[(i + di) * kStride + j + dj]; };
        int want;
        if (hx && hy)
          want = (at(0, 0) + at(0, 1) + at(1, 0) + at(1, 1) + 2 - r) >> 2;
        else if (hx)
          want = (at(0, 0) + at(0, 1) + 1 - r) >> 1;
        else if (hy)
          want = (at(0, 0) + at(1, 0) + 1 - r) >> 1;
        else
          want = at(0, 0);
        ASSERT_EQ(want, got) << "selector " << sel << " at " << i << "," << j;
      }
  }
}

// Quarter-sample interpolation: a flat area stays flat at every position and rounding; whole
// positions copy; the eight-tap half-sample filter is exact on a ramp away from the block's edges
// and mirrors the block's own samples at them.
TEST(Prediction, QuarterSampleFilterAndItsMirroredEdges) {
  const auto& dsp = ReferenceDsp();
  std::vector<std::uint8_t> flat(18 * kStride, 77);
  for (int sel = 0; sel < 64; ++sel) {
    const int size = sel & 32 ? 16 : 8;
    std::vector<std::uint8_t> dst(18 * kStride, 0);
    dsp.qpel[sel](flat.data(), dst.data(), kStride);
    for (int i = 0; i < size; ++i)
      for (int j = 0; j < size; ++j) ASSERT_EQ(77, dst[i * kStride + j]) << "selector " << sel;
    ASSERT_EQ(0, dst[size]) << "wrote past the block, selector " << sel;
  }
  std::vector<std::uint8_t> ramp(18 * kStride, 0), dst(18 * kStride, 0);
  for (int i = 0; i < 18; ++i)
    for (int j = 0; j < kStride; ++j) ramp[i * kStride + j] = static_cast<std::uint8_t>(10 + 2 * j);
  dsp.qpel[QpelSelector(16, 0, 2, 0)](ramp.data(), dst.data(), kStride);
  for (int j = 3; j < 12; ++j) EXPECT_EQ(11 + 2 * j, dst[j]) << j;
  dsp.qpel[QpelSelector(16, 0, 1, 0)](ramp.data(), dst.data(), kStride);
  EXPECT_EQ(15, dst[2]);  // (14 + 15 + 1) >> 1
  dsp.qpel[QpelSelector(16, 1, 3, 0)](ramp.data(), dst.data(), kStride);
  EXPECT_EQ(15, dst[2]);  // (16 + 15) >> 1, the filter's rounding lowered too

  // 100 then zeros: the taps left of the block see the block's first samples mirrored (100, 0,
  // 0), not the edge repeated: 20 * 100 - 6 * 100 = 1400, (1400 + 16) >> 5 = 44.
  std::vector<std::uint8_t> spike(18 * kStride, 0);
  for (int i = 0; i < 18; ++i) spike[i * kStride] = 100;
  dsp.qpel[QpelSelector(8, 0, 2, 0)](spike.data(), dst.data(), kStride);
  EXPECT_EQ(44, dst[0]);
  // The same down a column for the vertical filter.
  std::vector<std::uint8_t> top(18 * kStride, 0);
  for (int j = 0; j < kStride; ++j) top[j] = 100;
  dsp.qpel[QpelSelector(8, 0, 0, 2)](top.data(), dst.data(), kStride);
  EXPECT_EQ(44, dst[0]);
  dsp.qpel[QpelSelector(8, 0, 0, 0)](spike.data(), dst.data(), kStride);
  EXPECT_EQ(100, dst[0]);
  EXPECT_EQ(0, dst[1]);
}

TEST(Prediction, ChromaVectorDerivation) {
  EXPECT_EQ(1, ChromaFromOneVector(3));
  EXPECT_EQ(-1, ChromaFromOneVector(-3));
  EXPECT_EQ(2, ChromaFromOneVector(4));
  EXPECT_EQ(-2, ChromaFromOneVector(-4));
  const int ones[] = {0, 1, 1, 1, 2, 3, 3, 3, 4};
  for (int v = 0; v <= 8; ++v) {
    EXPECT_EQ(ones[v], ChromaFromOneVector(v)) << v;
    EXPECT_EQ(-ones[v], ChromaFromOneVector(-v)) << v;
  }
  const int sums[][2] = {{0, 0}, {1, 0}, {3, 1}, {8, 1}, {16, 2}, {30, 4}, {-30, -4}, {14, 2}};
  for (const auto& s : sums) EXPECT_EQ(s[1], ChromaFromFourVectors(s[0])) << s[0];
  for (int s = 1; s < 200; ++s) EXPECT_EQ(-ChromaFromFourVectors(s), ChromaFromFourVectors(-s));
}

class PictureFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(AllocatePictures(store, 64, 48));
    // A reference whose samples all differ by position, plane by plane.
    for (int r = 0; r < 48; ++r)
      for (int c = 0; c < 64; ++c) Ref(r, c) = static_cast<std::uint8_t>(r * 5 + c);
    for (int r = 0; r < 24; ++r)
      for (int c = 0; c < 32; ++c) {
        RefU(r, c) = static_cast<std::uint8_t>(100 + r * 3 + c);
        RefV(r, c) = static_cast<std::uint8_t>(200 - r - c);
      }
    ExtendReferenceEdges(store);
  }
  void TearDown() override { ReleasePictures(store); }
  std::uint8_t& Ref(int r, int c) { return store.reference.y[r * store.stride + c]; }
  std::uint8_t& RefU(int r, int c) { return store.reference.u[r * (store.stride / 2) + c]; }
  std::uint8_t& RefV(int r, int c) { return store.reference.v[r * (store.stride / 2) + c]; }
  std::uint8_t Cur(int r, int c) { return store.current.y[r * store.stride + c]; }
  std::uint8_t CurU(int r, int c) { return store.current.u[r * (store.stride / 2) + c]; }
  PictureStore store;
};

TEST_F(PictureFixture, ZeroVectorCopiesColocatedMacroblock) {
  const MotionVector mv[4] = {};
  for (int mode : {0, 2})
    for (int rounding : {0, 1}) {
      PredictMacroblock(store, 1, 1, mode, mv, rounding);
      for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c) ASSERT_EQ(Ref(16 + r, 16 + c), Cur(16 + r, 16 + c));
      for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) ASSERT_EQ(RefU(8 + r, 8 + c), CurU(8 + r, 8 + c));
    }
}

TEST_F(PictureFixture, VectorsAddressTheirBlocks) {
  // (-1, 0) averages the column left of the block with the block's first column.
  MotionVector one[4] = {{-1, 0}, {-1, 0}, {-1, 0}, {-1, 0}};
  PredictMacroblock(store, 1, 0, 1, one, 0);
  EXPECT_EQ((Ref(3, 15) + Ref(3, 16) + 1) >> 1, Cur(3, 16));
  // Four different vectors, each block from its own place; chroma from their sums.
  MotionVector four[4] = {{2, 0}, {0, 2}, {-2, -2}, {1, 1}};
  PredictMacroblock(store, 1, 1, 2, four, 0);
  EXPECT_EQ(Ref(16, 17), Cur(16, 16));
  EXPECT_EQ(Ref(17, 24), Cur(16, 24));
  EXPECT_EQ(Ref(23, 15), Cur(24, 16));
  EXPECT_EQ((Ref(24, 24) + Ref(24, 25) + Ref(25, 24) + Ref(25, 25) + 2) >> 2, Cur(24, 24));
  // Chroma x and y from sums 1 and 1 are 0.
  EXPECT_EQ(RefU(8, 8), CurU(8, 8));
}

// Vectors far beyond the border (large fcode, damaged streams) must read the edge replicated
// without end and stay inside the buffer (checked by ASan).
TEST_F(PictureFixture, VectorsFarOutsideSeeReplicatedEdges) {
  const std::int16_t far[] = {-32768, -4001, -200, -65, 64, 65, 131, 4001, 32767};
  for (int mbx = 0; mbx < 4; ++mbx)
    for (int mby = 0; mby < 3; ++mby)
      for (auto x : far)
        for (auto y : far)
          for (int mode : {1, 2}) {
            const MotionVector mv[4] = {{x, y}, {x, y}, {x, y}, {x, y}};
            PredictMacroblock(store, mbx, mby, mode, mv, 1);
          }
  const MotionVector left[4] = {{-4000, 0}, {-4000, 0}, {-4000, 0}, {-4000, 0}};
  PredictMacroblock(store, 2, 1, 1, left, 0);
  for (int r = 16; r < 32; ++r)
    for (int c = 32; c < 48; ++c) ASSERT_EQ(Ref(r, 0), Cur(r, c));
  const MotionVector corner[4] = {{3001, 3001}, {3001, 3001}, {3001, 3001}, {3001, 3001}};
  PredictMacroblock(store, 0, 0, 1, corner, 0);
  for (int r = 0; r < 16; ++r)
    for (int c = 0; c < 16; ++c) ASSERT_EQ(Ref(47, 63), Cur(r, c));
  // Just past the padded area: every row is the replicated top row.
  const MotionVector up[4] = {{0, -100}, {0, -100}, {0, -100}, {0, -100}};
  PredictMacroblock(store, 0, 1, 1, up, 0);
  for (int r = 16; r < 32; ++r)
    for (int c = 0; c < 16; ++c) ASSERT_EQ(Ref(0, c), Cur(r, c));
}

}  // namespace
}  // namespace mivora::decoder
