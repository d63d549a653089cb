#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "tests/conformance/yuv_compare.h"
#include "tools/decode/frame_output.h"
#include "tools/decode/md5.h"

namespace mivora {
namespace {

// mivora-decode's YUV4MPEG2 writer against the comparator's reader: only the visible area of a
// strided picture is written (odd sizes round the chroma up), and a missing picture becomes black.
TEST(FrameOutput, Y4mRoundTripAndChecksum) {
  constexpr int w = 5, h = 3, sy = 16, sc = 8;
  std::vector<std::uint8_t> y(sy * 4), u(sc * 2), v(sc * 2);
  for (std::size_t i = 0; i < y.size(); ++i) y[i] = static_cast<std::uint8_t>(i);
  for (std::size_t i = 0; i < u.size(); ++i) u[i] = static_cast<std::uint8_t>(100 + i);
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<std::uint8_t>(200 + i);
  DecodedFrame f;
  f.y = y.data();
  f.u = u.data();
  f.v = v.data();
  f.strideY = sy;
  f.strideU = f.strideV = sc;
  const std::string path =
      ::testing::TempDir() + "frame_output_" + std::to_string(getpid()) + ".y4m";
  {
    Y4mWriter writer;
    ASSERT_TRUE(writer.Open(path, {w, h}, 30000.0 / 1001));
    ASSERT_TRUE(writer.Write(f));
    ASSERT_TRUE(writer.Write(DecodedFrame{}));
    ASSERT_TRUE(writer.Close());
  }
  conformance::YuvFrames frames;
  std::string error;
  ASSERT_TRUE(conformance::ReadY4m(path, frames, error)) << error;
  std::remove(path.c_str());
  ASSERT_EQ(2u, frames.frames.size());
  ASSERT_EQ(w * h + 2 * 3 * 2u, frames.frames[0].size());
  std::vector<std::uint8_t> expected;
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) expected.push_back(y[r * sy + c]);
  for (const auto* plane : {&u, &v})
    for (int r = 0; r < 2; ++r)
      for (int c = 0; c < 3; ++c) expected.push_back((*plane)[r * sc + c]);
  EXPECT_EQ(expected, frames.frames[0]);
  EXPECT_EQ(16, frames.frames[1][0]);
  EXPECT_EQ(128, frames.frames[1].back());

  Md5 md5;
  md5.Update(expected.data(), expected.size());
  EXPECT_EQ(md5.HexDigest(), VisibleFrameMd5(f, {w, h}));
}

TEST(YuvCompare, Psnr) {
  std::vector<std::uint8_t> a(100, 50), b(100, 50);
  EXPECT_EQ(conformance::kIdenticalPsnr, conformance::PlanePsnr(a.data(), b.data(), a.size()));
  b[0] = 60;  // MSE 1
  EXPECT_NEAR(10 * std::log10(65025.0), conformance::PlanePsnr(a.data(), b.data(), a.size()), 1e-9);
}

}  // namespace
}  // namespace mivora
