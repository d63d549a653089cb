// Every converter against a per-pixel model written here from the conversion rules, on random
// planes of many sizes (odd, cropped, larger than the display), with brightness, skip-unchanged,
// padded strides and a destination at an odd pixel position, on the handheld display and on
// desktop displays of other sizes and pitches. Planes and destination are sized
// exactly, so a read or write outside them shows under the address sanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "output/convert_dsp.h"
#include "output/converter_select.h"
#include "output/converters.h"
#include "output/display_size.h"
#include "platform/display_memory.h"

namespace mivora {
namespace {

int Clip(int v) {
  return v < 0 ? 0 : (v > 255 ? 255 : v);
}
std::uint16_t Pack(int r, int g, int b) {
  return static_cast<std::uint16_t>(((Clip(r) >> 3) << 11) | ((Clip(g) >> 2) << 5) |
                                    (Clip(b) >> 3));
}
std::uint16_t Sample(int y, int u, int v, int b) {
  return Pack(y + b - 144 + v, y + b - 16, y + b - 144 + u);
}

struct Picture {
  int width, height, strideY, strideU;
  std::vector<std::uint8_t> y, u, v, prevY, prevU, prevV;

  Picture(int w, int h, int padY, int padU, std::mt19937& random)
      : width(w), height(h), strideY(w + padY), strideU((w + 1) / 2 + padU) {
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    // Exactly as large as the last row needs: nothing past the picture exists.
    y.resize(static_cast<std::size_t>((h - 1) * strideY + w));
    u.resize(static_cast<std::size_t>((ch - 1) * strideU + cw));
    v.resize(u.size());
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto* plane : {&y, &u, &v})
      for (auto& s : *plane) s = static_cast<std::uint8_t>(byte(random));
    prevY = y;
    prevU = u;
    prevV = v;
    // Bands of rows where no previous sample, one in ten or every one differs, so that runs of
    // unchanged, mixed and changed blocks all occur.
    std::uniform_int_distribution<int> chance(0, 9);
    auto change = [&](std::vector<std::uint8_t>& plane, int stride, int band) {
      for (std::size_t i = 0; i < plane.size(); ++i) {
        const int kind = static_cast<int>(i / stride) / band % 3;
        if (kind == 2 || (kind == 1 && chance(random) == 0))
          plane[i] = static_cast<std::uint8_t>(plane[i] + 1);
      }
    };
    change(prevY, strideY, 8);
    change(prevU, strideU, 4);
    change(prevV, strideU, 4);
  }
  int Y(int x, int r) const { return y[r * strideY + x]; }
  int U(int c, int cr) const { return u[cr * strideU + c]; }
  int V(int c, int cr) const { return v[cr * strideU + c]; }
  bool SameY(int x, int r) const { return y[r * strideY + x] == prevY[r * strideY + x]; }
  bool SameUV(int c, int cr) const {
    return u[cr * strideU + c] == prevU[cr * strideU + c] &&
           v[cr * strideU + c] == prevV[cr * strideU + c];
  }
};

struct Target {
  std::vector<std::uint16_t> expected, actual;
  std::size_t first = 1;  // odd pixel: the destination is not 4-byte aligned
  std::ptrdiff_t stride;
  Target(std::size_t pixels, std::ptrdiff_t r, std::mt19937& random) : stride(r) {
    expected.resize(pixels + first);
    std::uniform_int_distribution<int> any(0, 0xFFFF);
    for (auto& p : expected) p = static_cast<std::uint16_t>(any(random));
    actual = expected;
  }
  std::uint16_t& At(int row, int column) { return expected[first + row * stride + column]; }
};

struct Case {
  int mode, brightness, skip, rowSkip;
  platform::DisplayGeometry display = platform::kHandheldGeometry;
};

// Mode 5: pixel (x, r) of the cropped picture goes to display (r, x); 2x2 blocks share the
// chrominance of column x/2; the skip check sees Y of the block's left column and its U, V.
void Model5(const Picture& p, const Case& c, Target& t) {
  const int W = c.display.width, H = c.display.height;
  int w = p.width, h = p.height, rows = 0, cols = 0, crow = 0, ccol = 0;
  if (h > H) crow = (h - H) / 4, rows = 2 * crow, h = H;
  if (w > W) cols = (w - W) >> 1, ccol = (w - W) >> 2, w = W;
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) {
      const int bx = x & ~1, by = r & ~1, cc = (x >> 1) + ccol, cr = (r >> 1) + crow;
      if (c.skip && p.SameY(bx + cols, by + rows) &&
          (by + 1 >= h || p.SameY(bx + cols, by + 1 + rows)) && p.SameUV(cc, cr))
        continue;
      t.At(r, x) = Sample(p.Y(x + cols, r + rows), p.U(cc, cr), p.V(cc, cr), c.brightness);
    }
}

// Mode 7: pixel (x, r) goes to display (w - 1 - x, r). Columns pair as (x, x - 1) from the right
// edge, each pair with the chrominance of its right column; the skip check sees row r & ~1 only.
void Model7(const Picture& p, const Case& c, Target& t) {
  const int W = c.display.width, H = c.display.height;
  int w = p.width, h = p.height, rows = 0, cols = 0, crow = 0, ccol = 0;
  if (w > H) cols = (w - H) >> 1, ccol = (w - H) >> 2, w = H;
  if (h > W) crow = (h - W) / 4, rows = 2 * crow, h = W;
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) {
      const int right = x + ((w - 1 - x) & 1);
      const int by = r & ~1, cc = (right >> 1) + ccol, cr = (r >> 1) + crow;
      if (c.skip && p.SameY(right + cols, by + rows) &&
          (right == 0 || p.SameY(right - 1 + cols, by + rows)) && p.SameUV(cc, cr))
        continue;
      t.At(w - 1 - x, r) = Sample(p.Y(x + cols, r + rows), p.U(cc, cr), p.V(cc, cr), c.brightness);
    }
}

// Mode 8: sample (x, r) becomes the block at display (2r, 2x); right and lower pixels average
// unclipped channel values with the neighbours; the row below the last row is the row itself.
void Model8(const Picture& p, const Case& c, Target& t) {
  const int w = std::min(p.width, c.display.width / 2);
  const int h = std::min(p.height, c.display.height / 2);
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) {
      const int u0 = p.U(x >> 1, r >> 1), v0 = p.V(x >> 1, r >> 1);
      if (c.skip && p.SameY(x, r) && p.SameUV(x >> 1, r >> 1)) continue;
      const int below = r + 1 < p.height ? r + 1 : r;
      const int u1 = p.U(x >> 1, below >> 1), v1 = p.V(x >> 1, below >> 1);
      auto mean = [](int y1, int cu1, int cv1, int y2, int cu2, int cv2) {
        return Pack(((y1 - 144 + cv1) + (y2 - 144 + cv2)) >> 1, ((y1 - 16) + (y2 - 16)) >> 1,
                    ((y1 - 144 + cu1) + (y2 - 144 + cu2)) >> 1);
      };
      const int here = p.Y(x, r);
      const std::uint16_t topLeft = Sample(here, u0, v0, 0);
      t.At(2 * r, 2 * x) = topLeft;
      t.At(2 * r + 1, 2 * x) = mean(here, u0, v0, p.Y(x, below), u1, v1);
      const bool last = x == w - 1;
      t.At(2 * r, 2 * x + 1) = last ? topLeft : mean(here, u0, v0, p.Y(x + 1, r), u0, v0);
      t.At(2 * r + 1, 2 * x + 1) = last ? topLeft : mean(here, u0, v0, p.Y(x + 1, below), u1, v1);
    }
}

// Mode 9: sample (x, r) fills the block at display (2(w - 1 - x), 2r); never skips.
void Model9(const Picture& p, const Case& c, Target& t) {
  const int w = std::min(p.width, c.display.height / 2);
  const int h = std::min(p.height, c.display.width / 2);
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) {
      const std::uint16_t s = Sample(p.Y(x, r), p.U(x >> 1, r >> 1), p.V(x >> 1, r >> 1), 0);
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) t.At(2 * (w - 1 - x) + dy, 2 * r + dx) = s;
    }
}

// Display rows and columns the mode covers and the extent the row stride adds rowSkip to.
struct Extent {
  int rows, columns, extent;
};
Extent ExtentOf(int mode, int w, int h,
                const platform::DisplayGeometry& d = platform::kHandheldGeometry) {
  const int W = d.width, H = d.height;
  switch (mode) {
    case 5:
      return {std::min(h, H), std::min(w, W), std::min(w, W)};
    case 7:
      return {std::min(w, H), std::min(h, W), std::min(h, W)};
    case 8:
      return {2 * std::min(h, H / 2), 2 * std::min(w, W / 2), std::min(w, W / 2)};
    default:
      return {2 * std::min(w, H / 2), 2 * std::min(h, W / 2), std::min(h, W / 2)};
  }
}

void Check(const Picture& p, const Case& c, std::mt19937& random) {
  const Extent e = ExtentOf(c.mode, p.width, p.height, c.display);
  if (e.rows <= 0 || e.columns <= 0) return;
  const std::ptrdiff_t stride = e.extent + std::max(c.rowSkip, 0);
  Target t((e.rows - 1) * stride + e.columns, stride, random);
  switch (c.mode) {
    case 5:
      Model5(p, c, t);
      break;
    case 7:
      Model7(p, c, t);
      break;
    case 8:
      Model8(p, c, t);
      break;
    default:
      Model9(p, c, t);
  }
  ASSERT_EQ(SelectConverter(0, c.mode), 1);
  ASSERT_TRUE(platform::SetDisplayGeometry(c.display));
  ConverterHook(p.y.data(), p.strideY, p.u.data(), p.v.data(), p.strideU, t.actual.data() + t.first,
                p.width, p.height, c.rowSkip, 1, c.brightness, p.prevY.data(), p.prevU.data(),
                p.prevV.data(), c.skip, 0);
  platform::SetDisplayGeometry(platform::kHandheldGeometry);
  for (std::size_t i = 0; i < t.expected.size(); ++i) {
    if (t.expected[i] != t.actual[i]) {
      const std::ptrdiff_t pixel = static_cast<std::ptrdiff_t>(i - t.first);
      FAIL() << "mode " << c.mode << " picture " << p.width << "x" << p.height << " brightness "
             << c.brightness << " skip " << c.skip << " rowSkip " << c.rowSkip << " display "
             << c.display.width << "x" << c.display.height << "/" << c.display.pitch
             << ": display row " << pixel / stride << " column " << pixel % stride << " expected "
             << std::hex << t.expected[i] << " got " << t.actual[i];
    }
  }
}

// Runs a test body once with each kernel set this processor can run.
class ConverterModel : public ::testing::TestWithParam<std::size_t> {
 protected:
  void SetUp() override {
    convert::UseConvertDsp(*convert::AvailableConvertDsps().at(GetParam()).dsp);
  }
  void TearDown() override { convert::UseConvertDsp(convert::FastestConvertDsp()); }
};
INSTANTIATE_TEST_SUITE_P(Kernels, ConverterModel,
                         ::testing::Range<std::size_t>(0, convert::AvailableConvertDsps().size()),
                         [](const auto& info) {
                           return std::string(convert::AvailableConvertDsps()[info.param].name);
                         });

TEST_P(ConverterModel, EveryModeMatchesThePerPixelRules) {
  std::mt19937 random(20261208);
  const int sizes[][2] = {{1, 1},     {2, 2},     {3, 5},     {5, 3},     {16, 16},
                          {17, 9},    {64, 48},   {176, 144}, {174, 130}, {119, 321},
                          {121, 122}, {239, 241}, {320, 240}, {321, 121}, {241, 643},
                          {642, 242}, {700, 200}, {643, 245}, {720, 576}};
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    // Every other picture has rows padded beyond its width.
    const int pad = i % 2 ? 7 : 0;
    const Picture p(sizes[i][0], sizes[i][1], pad, pad / 2, random);
    for (int mode : {5, 7, 8, 9}) {
      for (int skip : {0, 1}) {
        // Modes 8 and 9 ignore brightness: one nonzero value shows that.
        for (int brightness : {37, 0, -60}) {
          if (mode >= 8 && brightness != 37) continue;
          const int extent = ExtentOf(mode, p.width, p.height).extent;
          // Modes 8 and 9 write two pixels per sample along a row: the stride must hold them.
          const int minimum = mode >= 8 ? extent : 0;
          for (int rowSkip : {minimum, minimum + 3, 640 - extent}) {
            if (rowSkip < minimum) continue;
            Check(p, {mode, brightness, skip, rowSkip}, random);
            if (HasFatalFailure()) return;
          }
        }
      }
    }
  }
}

// Widths and heights at the edges of the vector steps (16 and 32 samples, groups of eight rows),
// so that the steps moved back to end at the row end, and the last odd column, are exercised.
TEST_P(ConverterModel, SizesAtTheVectorStepEdges) {
  std::mt19937 random(GetParam() + 5);
  for (int w : {15, 16, 17, 31, 32, 33, 34, 35, 47, 65, 66}) {
    for (int h : {7, 8, 9, 16, 17, 18}) {
      const Picture p(w, h, w % 3, w % 2, random);
      for (int mode : {5, 7, 8, 9}) {
        const int extent = ExtentOf(mode, w, h).extent;
        Check(p, {mode, mode >= 8 ? 0 : 21, (w + h) % 2, mode >= 8 ? extent : 1}, random);
        if (HasFatalFailure()) return;
      }
    }
  }
}

// Random sizes around the vector step widths and the display limits, random padding, every mode
// with and without the skip check (whose previous planes differ in bands of rows).
TEST_P(ConverterModel, RandomSizesMatchThePerPixelRules) {
  std::mt19937 random(GetParam() + 99);
  std::uniform_int_distribution<int> small(1, 70), large(200, 760), pad(0, 40), coin(0, 1);
  std::uniform_int_distribution<int> bright(-300, 300);
  for (int i = 0; i < 24; ++i) {
    const int w = coin(random) ? small(random) : large(random);
    const int h = coin(random) ? small(random) : large(random) - 100;
    const int padY = pad(random);
    const Picture p(w, h, padY, pad(random) / 2, random);
    for (int mode : {5, 7, 8, 9}) {
      const int extent = ExtentOf(mode, w, h).extent;
      const int rowSkip = (mode >= 8 ? extent : 0) + pad(random);
      Check(p, {mode, mode >= 8 ? 0 : bright(random), i % 2, rowSkip}, random);
      if (HasFatalFailure()) return;
    }
  }
}

// Brightness values where the vector kernels change how they form the chrominance terms (byte
// arithmetic only where 144 - brightness fits a byte; one-step green up to 16), and the
// saturating extremes.
TEST_P(ConverterModel, BrightnessAtTheEdgesOfTheTermArithmetic) {
  std::mt19937 random(GetParam() + 11);
  const Picture p(70, 40, 5, 2, random);
  for (int brightness : {-1024, -112, -111, -110, -1, 1, 16, 17, 143, 144, 145, 255, 256, 1024}) {
    for (int mode : {5, 7}) {
      Check(p, {mode, brightness, brightness & 1, 3}, random);
      if (HasFatalFailure()) return;
    }
  }
}

TEST_P(ConverterModel, NegativeRowSkipActsAsZeroInTheOneToOneModes) {
  std::mt19937 random(7);
  const Picture p(37, 29, 3, 1, random);
  for (int mode : {5, 7}) {
    Check(p, {mode, 0, 0, -9}, random);
    Check(p, {mode, 5, 1, -1000}, random);
  }
}

TEST_P(ConverterModel, SkipWithoutPreviousPlanesWritesEverything) {
  std::mt19937 random(3);
  const Picture p(20, 10, 0, 0, random);
  for (int mode : {5, 7, 8}) {
    SelectConverter(0, mode);
    std::vector<std::uint16_t> asked(640 * 240, 0x1234), plain(640 * 240, 0x1234);
    ConverterHook(p.y.data(), p.strideY, p.u.data(), p.v.data(), p.strideU, asked.data(), 20, 10,
                  400, 0, 0, nullptr, nullptr, nullptr, 1, 0);
    ConverterHook(p.y.data(), p.strideY, p.u.data(), p.v.data(), p.strideU, plain.data(), 20, 10,
                  400, 0, 0, nullptr, nullptr, nullptr, 0, 0);
    EXPECT_EQ(asked, plain) << "mode " << mode;
  }
}

// Desktop displays: the display that fits the picture in each mode (pitch as wide as the display,
// and wider by an odd amount), and displays smaller than the picture with odd sides and pitches,
// on sizes up to 1920 x 1080; the row skip is the pitch minus the extent, as the layout gives.
TEST_P(ConverterModel, EveryModeOnDesktopDisplays) {
  std::mt19937 random(GetParam() + 1080);
  const int sizes[][2] = {{16, 16},   {17, 15},   {33, 47},    {176, 144},   {321, 241},
                          {640, 480}, {641, 479}, {1280, 720}, {1919, 1079}, {1920, 1080}};
  const DisplaySize fit{DisplaySizeMode::Fit, 0, 0};
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    const int w = sizes[i][0], h = sizes[i][1];
    const Picture p(w, h, i % 2 ? 9 : 0, i % 2 ? 3 : 0, random);
    for (int mode : {5, 7, 8, 9}) {
      platform::DisplayGeometry fitted = GeometryFor(fit, w, h, mode == 7 || mode == 9, mode >= 8);
      platform::DisplayGeometry wider = fitted;
      wider.pitch += 13;
      const platform::DisplayGeometry smaller{
          std::max(w * 2 / 3, 1) | 1, std::max(h * 3 / 5, 1) | 1, (std::max(w * 2 / 3, 1) | 1) + 7};
      for (const auto& display : {fitted, wider, smaller}) {
        // The largest display leaves no room for a wider pitch.
        if (!platform::ValidDisplayGeometry(display)) continue;
        const int extent = ExtentOf(mode, w, h, display).extent;
        Check(p, {mode, mode >= 8 ? 0 : 19, int(i + mode) % 2, display.pitch - extent, display},
              random);
        if (HasFatalFailure()) return;
      }
    }
  }
}

}  // namespace
}  // namespace mivora
