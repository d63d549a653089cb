#include <gtest/gtest.h>

#include "output/display_layout.h"

namespace mivora {
namespace {

void ExpectLayout(const DisplayLayout& layout, int top, int left, int rowSkip) {
  EXPECT_EQ(layout.topOffset, top);
  EXPECT_EQ(layout.leftOffset, left);
  EXPECT_EQ(layout.rowSkip, rowSkip);
  EXPECT_EQ(layout.startOffset, top * 640 + left);
}

TEST(DisplayLayout, PicturesAreCentredPerOutputType) {
  ExpectLayout(LayoutForOutputType(320, 240, 5), 0, 160, 320);
  ExpectLayout(LayoutForOutputType(176, 144, 5), 48, 232, 464);
  // Turned: the height runs along the display row, the width down it.
  ExpectLayout(LayoutForOutputType(176, 144, 7), 32, 248, 496);
  // Doubled: 2x the size, the source extent counted in samples.
  ExpectLayout(LayoutForOutputType(176, 144, 8), 0, 144, 464);
  ExpectLayout(LayoutForOutputType(100, 60, 8), 60, 220, 540);
  ExpectLayout(LayoutForOutputType(100, 60, 9), 20, 260, 580);
  // An odd extent leaves an odd left offset.
  ExpectLayout(LayoutForOutputType(174, 100, 5), 70, 233, 466);
}

TEST(DisplayLayout, LargePicturesStartAtTheEdge) {
  ExpectLayout(LayoutForOutputType(700, 200, 5), 20, 0, 0);
  ExpectLayout(LayoutForOutputType(720, 576, 5), 0, 0, 0);
  ExpectLayout(LayoutForOutputType(400, 200, 8), 0, 0, 320);
  ExpectLayout(LayoutForOutputType(320, 240, 7), 0, 200, 400);
  ExpectLayout(LayoutForOutputType(320, 700, 9), 0, 0, 320);
  // Any other output type lays out as type 5.
  ExpectLayout(LayoutForOutputType(176, 144, 3), 48, 232, 464);
}

// On another geometry the same rules hold against its width, height and pitch; the overload
// without a geometry uses the one in force.
TEST(DisplayLayout, OtherGeometriesCentreAgainstTheirPitch) {
  const platform::DisplayGeometry fit{640, 480, 640}, pitched{1001, 601, 1024};
  const DisplayLayout whole = LayoutForOutputType(640, 480, 5, fit);
  EXPECT_EQ(whole.startOffset, 0);
  EXPECT_EQ(whole.rowSkip, 0);
  // Turned: 480 samples along a 1001-pixel row.
  DisplayLayout l = LayoutForOutputType(640, 480, 7, pitched);
  EXPECT_EQ(l.topOffset, 0);
  EXPECT_EQ(l.leftOffset, 260);
  EXPECT_EQ(l.rowSkip, 1024 - 480);
  EXPECT_EQ(l.startOffset, 260);
  // Doubled: half the display's width in samples at most, the odd pixel left over.
  l = LayoutForOutputType(600, 200, 8, pitched);
  EXPECT_EQ(l.topOffset, 100);
  EXPECT_EQ(l.leftOffset, 0);
  EXPECT_EQ(l.rowSkip, 1024 - 500);
  EXPECT_EQ(l.startOffset, 100 * 1024);
  l = LayoutForOutputType(100, 60, 9, pitched);
  EXPECT_EQ(l.startOffset, 200 * 1024 + 440);
  EXPECT_EQ(l.rowSkip, 1024 - 60);

  ASSERT_TRUE(platform::SetDisplayGeometry(pitched));
  const DisplayLayout inForce = LayoutForOutputType(100, 60, 9);
  platform::SetDisplayGeometry(platform::kHandheldGeometry);
  EXPECT_EQ(inForce.startOffset, l.startOffset);
  ExpectLayout(LayoutForOutputType(100, 60, 9), 20, 260, 580);
}

TEST(DisplayLayout, DamagedSizesStayOnTheDisplay) {
  ExpectLayout(LayoutForOutputType(-5, -32768, 5), 120, 320, 640);
  ExpectLayout(LayoutForOutputType(0, 0, 9), 120, 320, 640);
}

}  // namespace
}  // namespace mivora
