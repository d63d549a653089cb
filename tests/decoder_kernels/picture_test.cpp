#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "decoder/block_writer.h"
#include "decoder/decoded_frame.h"
#include "decoder/motion_compensation.h"
#include "decoder/picture.h"

namespace mivora::decoder {
namespace {

TEST(Pictures, LayoutNumbers) {
  PictureStore s;
  ASSERT_TRUE(AllocatePictures(s, 176, 144));
  EXPECT_EQ(240, s.stride);
  EXPECT_EQ(208, s.paddedHeight);
  EXPECT_EQ(149760u, s.bytes);
  EXPECT_EQ(7712, s.current.y - s.buffer);
  const std::ptrdiff_t d = 240 * 208;
  EXPECT_EQ(d + 8 * 240 + 16, s.current.u - s.buffer);
  EXPECT_EQ(d + d / 4 + 8 * 240 + 16, s.current.v - s.buffer);
  EXPECT_EQ(d + d / 2 + 32 * 240 + 32, s.reference.y - s.buffer);
  EXPECT_EQ(2 * d + d / 2 + 8 * 240 + 16, s.reference.u - s.buffer);
  EXPECT_EQ(2 * d + 3 * d / 4 + 8 * 240 + 16, s.reference.v - s.buffer);
  DecodedFrame f;
  FillDecodedFrame(s, &f);
  EXPECT_EQ(240, f.strideY);
  EXPECT_EQ(120, f.strideU);
  EXPECT_EQ(120, f.strideV);
  // Re-initialising with another size replaces the buffer (ASan reports a leak otherwise).
  ASSERT_TRUE(AllocatePictures(s, 320, 240));
  EXPECT_EQ(384, s.stride);
  EXPECT_EQ(304, s.paddedHeight);
  EXPECT_EQ(350208u, s.bytes);
  // Cleared to black before any picture is decoded.
  EXPECT_EQ(16, s.reference.y[0]);
  EXPECT_EQ(128, s.reference.v[100]);
  ReleasePictures(s);
  EXPECT_EQ(nullptr, s.buffer);
}

TEST(Pictures, RejectsUnusableSizes) {
  PictureStore s;
  EXPECT_FALSE(AllocatePictures(s, 0, 144));
  EXPECT_FALSE(AllocatePictures(s, 176, -16));
  EXPECT_FALSE(AllocatePictures(s, 1 << 20, 16));
  EXPECT_EQ(nullptr, s.buffer);
  // A failed re-initialisation leaves an empty store, not a dangling one.
  ASSERT_TRUE(AllocatePictures(s, 16, 16));
  EXPECT_FALSE(AllocatePictures(s, 0, 0));
  EXPECT_EQ(nullptr, s.buffer);
  ExtendReferenceEdges(s);  // harmless on an empty store
}

TEST(Pictures, SwapAndPreviousPointers) {
  PictureStore s;
  ASSERT_TRUE(AllocatePictures(s, 176, 144));
  DecodedFrame first, second;
  FillDecodedFrame(s, &first);
  SwapPictures(s);
  FillDecodedFrame(s, &second);
  SwapPictures(s);
  EXPECT_EQ(first.y, second.prevY);
  EXPECT_EQ(first.u, second.prevU);
  EXPECT_EQ(first.v, second.prevV);
  EXPECT_EQ(first.prevY, second.y);
  EXPECT_EQ(first.prevU, second.u);
  EXPECT_EQ(first.prevV, second.v);
  EXPECT_NE(first.y, first.prevY);
  ReleasePictures(s);
}

TEST(Pictures, EdgeExtensionCoversRoundedPictureArea) {
  PictureStore s;
  ASSERT_TRUE(AllocatePictures(s, 180, 144));
  ASSERT_EQ(248, s.stride);
  const int S = s.stride, C = S / 2;
  // The whole decoded area (macroblock aligned: 192 x 144) plus what lies right of it.
  for (int r = 0; r < 144; ++r)
    for (int c = 0; c < 216; ++c) s.reference.y[r * S + c] = static_cast<std::uint8_t>(r + c);
  for (int r = 0; r < 72; ++r)
    for (int c = 0; c < 92; ++c) s.reference.u[r * C + c] = static_cast<std::uint8_t>(3 * r + c);
  ExtendReferenceEdges(s);
  auto y = [&](int r, int c) { return s.reference.y[r * S + c]; };
  for (int r = -32; r < 176; ++r) {
    const int cr = r < 0 ? 0 : r > 143 ? 143 : r;
    for (int c = 184; c < 216; ++c) ASSERT_EQ(y(cr, 183), y(r, c)) << r << "," << c;
    for (int c = -32; c < 0; ++c) ASSERT_EQ(y(cr, 0), y(r, c)) << r << "," << c;
    if (r < 0 || r > 143) {
      for (int c = 0; c < 184; ++c) ASSERT_EQ(y(cr, c), y(r, c));
    }
  }
  // Chroma: 92 wide, border 16.
  auto u = [&](int r, int c) { return s.reference.u[r * C + c]; };
  for (int r = -16; r < 88; ++r) {
    const int cr = r < 0 ? 0 : r > 71 ? 71 : r;
    for (int c = -16; c < 108; ++c) {
      const int cc = c < 0 ? 0 : c > 91 ? 91 : c;
      ASSERT_EQ(u(cr, cc), u(r, c)) << r << "," << c;
    }
  }
  // The last macroblock column (176..191) overhangs the rounded area; a large vector from it
  // reads replicated samples, beyond the padded plane too.
  const MotionVector mv[4] = {{126, 126}, {126, 126}, {126, 126}, {126, 126}};
  PredictMacroblock(s, 11, 8, 1, mv, 0);
  for (int r = 128; r < 144; ++r)
    for (int c = 176; c < 192; ++c) ASSERT_EQ(y(143, 183), s.current.y[r * S + c]);
  ReleasePictures(s);
}

TEST(Pictures, WriteBlockAddressesEachBlock) {
  PictureStore s;
  ASSERT_TRUE(AllocatePictures(s, 48, 32));
  const int S = s.stride, C = S / 2;
  for (int b = 0; b < 6; ++b) {
    std::int16_t block[64] = {};
    block[0] = static_cast<std::int16_t>(8 * (10 + b));  // DC only: sample value 10 + b
    WriteBlock(s, block, b, 2, 1, false);
  }
  for (int b = 0; b < 4; ++b) {
    const int top = 16 + 8 * (b >> 1), left = 32 + 8 * (b & 1);
    for (int r = 0; r < 8; ++r)
      for (int c = 0; c < 8; ++c) ASSERT_EQ(10 + b, s.current.y[(top + r) * S + left + c]);
  }
  EXPECT_EQ(16, s.current.y[15 * S + 32]);  // untouched above
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) {
      ASSERT_EQ(14, s.current.u[(8 + r) * C + 16 + c]);
      ASSERT_EQ(15, s.current.v[(8 + r) * C + 16 + c]);
    }
  std::int16_t block[64] = {};
  block[0] = 16;  // +2 onto the block already there
  WriteBlock(s, block, 3, 2, 1, true);
  EXPECT_EQ(15, s.current.y[31 * S + 47]);
  ReleasePictures(s);
}

}  // namespace
}  // namespace mivora::decoder
