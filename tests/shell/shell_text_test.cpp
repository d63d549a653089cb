// The volume keys' steps and the status line's playing time.
#include <gtest/gtest.h>

#include "shell/play_time.h"
#include "shell/volume.h"

namespace mivora {
namespace {

std::uint32_t Both(std::uint32_t percent) {
  const std::uint32_t half = percent * 65535u / 100u;
  return (half << 16) | half;
}

TEST(VolumeKeys, StepFifteenPercentWithinTheScale) {
  EXPECT_EQ(SteppedVolume(Both(95), true), Both(100));
  EXPECT_EQ(SteppedVolume(Both(10), false), Both(0));
  EXPECT_EQ(SteppedVolume(Both(100), true), Both(100));
  EXPECT_EQ(SteppedVolume(0, false), 0u);
  // 50 % reads back as 49 % (the scale truncates), so one step up gives 64 %.
  EXPECT_EQ(SteppedVolume(Both(50), true), Both(64));
  // Both channels always come out equal, whatever the right channel was.
  EXPECT_EQ(SteppedVolume(0xFFFF0000u, false) >> 16, SteppedVolume(0xFFFF0000u, false) & 0xFFFF);
}

TEST(PlayingTime, HoursMinutesAndSecondsOnlyWhereNeeded) {
  EXPECT_EQ(PlayingTimeText(3725), u"1hr 2m 5s");
  EXPECT_EQ(PlayingTimeText(59), u"59s");
  EXPECT_EQ(PlayingTimeText(3600), u"1hr 0s");
  EXPECT_EQ(PlayingTimeText(0), u"0s");
  EXPECT_EQ(PlayingTimeText(-4), u"0s");
}

}  // namespace
}  // namespace mivora
