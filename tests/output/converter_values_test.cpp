// Known pixel values and the behaviours of each mode that a person would notice on screen: which
// part of a large picture shows, where the doubled and turned pictures land, and what
// skip-unchanged leaves alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "output/convert_sample.h"
#include "output/converter_select.h"
#include "output/converters.h"

namespace mivora {
namespace {

// A picture whose every sample is given by functions of the position.
struct Planes {
  int width, height;
  std::vector<std::uint8_t> y, u, v;
  Planes(int w, int h, int yValue, int uValue, int vValue)
      : width(w),
        height(h),
        y(w * h, yValue),
        u(((w + 1) / 2) * ((h + 1) / 2), uValue),
        v(u.size(), vValue) {}
  int strideU() const { return (width + 1) / 2; }
};

std::vector<std::uint16_t> Convert(int mode, const Planes& p, int rowSkip, int brightness = 0,
                                   const Planes* prev = nullptr,
                                   std::vector<std::uint16_t> display = {}) {
  if (display.empty()) display.assign(640 * 240, 0xAAAA);
  SelectConverter(0, mode);
  ConverterHook(p.y.data(), p.width, p.u.data(), p.v.data(), p.strideU(), display.data(), p.width,
                p.height, rowSkip, 0, brightness, prev ? prev->y.data() : nullptr,
                prev ? prev->u.data() : nullptr, prev ? prev->v.data() : nullptr, prev ? 1 : 0, 0);
  return display;
}

TEST(ConvertSample, KnownColours) {
  using convert::ConvertSample;
  EXPECT_EQ(ConvertSample(16, 128, 128, 0), 0x0000);
  EXPECT_EQ(ConvertSample(235, 128, 128, 0), 0xDEDB);
  EXPECT_EQ(ConvertSample(128, 128, 128, 0), 0x738E);
  EXPECT_EQ(ConvertSample(255, 255, 0, 0), 0x6F7F);
  EXPECT_EQ(ConvertSample(250, 128, 128, 10), 0xF7BE);
}

TEST(Converters, BrightnessOnlyInTheOneToOneModes) {
  const Planes p(4, 4, 250, 128, 128);
  EXPECT_EQ(Convert(5, p, 636, 10)[0], 0xF7BE);
  EXPECT_EQ(Convert(7, p, 636, 10)[0], 0xF7BE);
  // Extreme values saturate instead of overflowing.
  EXPECT_EQ(Convert(5, p, 636, 0x7FFFFFFF)[0], 0xFFFF);
  EXPECT_EQ(Convert(7, p, 636, -0x7FFFFFFF - 1)[0], 0x0000);
  EXPECT_EQ(Convert(8, p, 636, 10)[0], convert::ConvertSample(250, 128, 128, 0));
  EXPECT_EQ(Convert(9, p, 636, 10)[0], convert::ConvertSample(250, 128, 128, 0));
}

TEST(Converters, TwoPixelWordsKeepTheLeftPixelFirst) {
  Planes p(2, 2, 16, 128, 128);
  p.y[1] = 235;  // right pixel white
  const auto display = Convert(5, p, 638);
  EXPECT_EQ(display[0], 0x0000);
  EXPECT_EQ(display[1], 0xDEDB);
}

TEST(Converters, LargePicturesAreCroppedOrCut) {
  // Mode 5, 700 x 200: columns 30..669 shown; rowSkip 0 makes the rows 640 long.
  Planes wide(700, 200, 16, 128, 128);
  for (int r = 0; r < 200; ++r) wide.y[r * 700 + 30] = wide.y[r * 700 + 669] = 235;
  auto display = Convert(5, wide, 0);
  EXPECT_EQ(display[0], 0xDEDB);
  EXPECT_EQ(display[639], 0xDEDB);
  EXPECT_EQ(display[640], 0xDEDB);  // the next row starts 640 pixels on
  EXPECT_EQ(display[1], 0x0000);
  EXPECT_EQ(display[199 * 640 + 639], 0xDEDB);
  EXPECT_EQ(display[200 * 640], 0xAAAA);  // nothing below the picture

  // Mode 8, 400 x 200: the top-left 320 x 120 samples fill the whole 640 x 240 display.
  Planes big(400, 200, 16, 128, 128);
  big.y[119 * 400 + 319] = 235;
  big.y[119 * 400 + 320] = 235;  // right of the shown part: never seen
  big.y[120 * 400 + 0] = 235;    // below it: only blended into the last row
  display = Convert(8, big, 320);
  EXPECT_EQ(display[238 * 640 + 638], 0xDEDB);
  EXPECT_EQ(display[238 * 640 + 639], 0xDEDB);  // last column repeats its sample
  EXPECT_EQ(display[239 * 640 + 639], 0xDEDB);
  EXPECT_NE(display[239 * 640 + 0], 0x0000);  // blended with the row below
  EXPECT_EQ(display[238 * 640 + 0], 0x0000);
  for (std::uint16_t pixel : display) EXPECT_NE(pixel, 0xAAAA);
}

TEST(Converters, TurnedPicturesPutTheRightEdgeOnTop) {
  // Mode 7: source (x, r) of a 6 x 4 picture goes to display (5 - x, r).
  Planes p(6, 4, 16, 128, 128);
  p.y[0 * 6 + 5] = 235;  // top-right sample
  p.y[3 * 6 + 0] = 235;  // bottom-left sample
  auto display = Convert(7, p, 636);
  EXPECT_EQ(display[0], 0xDEDB);
  EXPECT_EQ(display[5 * 640 + 3], 0xDEDB);
  EXPECT_EQ(display[5 * 640 + 0], 0x0000);
  EXPECT_EQ(display[6 * 640], 0xAAAA);

  // Mode 9: 2w display rows, the last two from source column 0.
  display = Convert(9, p, 636);
  for (int dy : {10, 11})
    for (int dx : {6, 7}) EXPECT_EQ(display[dy * 640 + dx], 0xDEDB);
  for (int dy : {0, 1})
    for (int dx : {0, 1}) EXPECT_EQ(display[dy * 640 + dx], 0xDEDB);
  EXPECT_EQ(display[12 * 640], 0xAAAA);
  EXPECT_EQ(display[8], 0xAAAA);
}

TEST(Converters, SkipUnchangedLeavesEqualBlocksAlone) {
  Planes p(8, 8, 100, 90, 160);
  const Planes same = p;
  std::vector<std::uint16_t> fill(640 * 240, 0xAAAA);
  for (int mode : {5, 7, 8}) {
    const auto display = Convert(mode, p, 632, 0, &same, fill);
    EXPECT_EQ(display, fill) << "mode " << mode << " wrote though nothing changed";
  }
  EXPECT_NE(Convert(9, p, 632, 0, &same, fill), fill);  // mode 9 always writes

  // Mode 5 compares only the left column of a 2x2 block: a change in Y(x + 1, y) goes unseen,
  // one in Y(x, y + 1) is drawn.
  Planes changed = p;
  changed.y[0 * 8 + 1] = 200;
  auto display = Convert(5, changed, 632, 0, &same, fill);
  EXPECT_EQ(display, fill);
  changed.y[1 * 8 + 0] = 200;
  display = Convert(5, changed, 632, 0, &same, fill);
  EXPECT_NE(display[0], 0xAAAA);
  EXPECT_NE(display[641], 0xAAAA);
  EXPECT_EQ(display[2], 0xAAAA);
}

TEST(Converters, OddSizesFillTheWholePicture) {
  // An odd width or height still converts the last column and row, and nothing beyond.
  for (int mode : {5, 7}) {
    const Planes p(5, 3, 235, 128, 128);
    const auto display = Convert(mode, p, mode == 5 ? 635 : 637);
    const int rows = mode == 5 ? 3 : 5, columns = mode == 5 ? 5 : 3;
    for (int r = 0; r <= rows; ++r)
      for (int c = 0; c <= columns; ++c) {
        const bool inside = r < rows && c < columns;
        EXPECT_EQ(display[r * 640 + c], inside ? 0xDEDB : 0xAAAA)
            << "mode " << mode << " row " << r << " column " << c;
      }
  }
}

TEST(Converters, EmptyOrMissingPicturesDrawNothing) {
  std::vector<std::uint16_t> display(16, 0xAAAA);
  const std::uint8_t sample = 0;
  for (int mode : {5, 7, 8, 9}) {
    SelectConverter(0, mode);
    ConverterHook(&sample, 1, &sample, &sample, 1, display.data(), 0, 5, 0, 0, 0, nullptr, nullptr,
                  nullptr, 0, 0);
    ConverterHook(&sample, 1, &sample, &sample, 1, display.data(), 5, -2, 0, 0, 0, nullptr, nullptr,
                  nullptr, 0, 0);
    ConverterHook(nullptr, 1, &sample, &sample, 1, display.data(), 1, 1, 0, 0, 0, nullptr, nullptr,
                  nullptr, 0, 0);
  }
  EXPECT_EQ(display, std::vector<std::uint16_t>(16, 0xAAAA));
}

TEST(SelectConverter, ChoosesByOutputTypeAndKeepsTheHookOtherwise) {
  EXPECT_EQ(SelectConverter(0, 7), 1);
  EXPECT_EQ(ConverterHook, &ConvertRotated);
  EXPECT_EQ(SelectConverter(123, 6), 1);
  EXPECT_EQ(ConverterHook, &ConvertRotated);
  SelectConverter(0, 9);
  EXPECT_EQ(ConverterHook, &ConvertRotatedDouble);
  SelectConverter(0, 8);
  EXPECT_EQ(ConverterHook, &ConvertDouble);
  SelectConverter(0, 5);
  EXPECT_EQ(ConverterHook, &ConvertNormal);
}

}  // namespace
}  // namespace mivora
