// mivora-decode's display options: parsing, and the raw display frames they write (whole display,
// picture placed as the player places it, black around it, skip-unchanged after the first frame).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "output/convert_sample.h"
#include "output/display_layout.h"
#include "tools/decode/display_output.h"

namespace mivora {
namespace {

bool Parse(std::vector<const char*> args, DisplayOutputOptions& options) {
  std::vector<char*> argv;
  for (const char* a : args) argv.push_back(const_cast<char*>(a));
  for (int i = 0; i < static_cast<int>(argv.size()); ++i)
    if (!ParseDisplayOption(i, static_cast<int>(argv.size()), argv.data(), options)) return false;
  return true;
}

TEST(DisplayOutput, ParsesItsOptionsAndRejectsOthers) {
  DisplayOutputOptions o;
  EXPECT_TRUE(Parse({"--output-type", "9", "--brightness", "-12", "--skip-unchanged", "--display",
                     "out.raw", "--png", "dir", "--contact-sheet", "s.png"},
                    o));
  EXPECT_EQ(o.outputType, 9);
  EXPECT_EQ(o.brightness, -12);
  EXPECT_TRUE(o.skipUnchanged);
  EXPECT_EQ(o.displayPath, "out.raw");
  EXPECT_EQ(o.pngDir, "dir");
  EXPECT_EQ(o.contactSheetPath, "s.png");
  EXPECT_EQ(o.displaySize, DisplaySize{});
  EXPECT_TRUE(Parse({"--display-size", "fit"}, o));
  EXPECT_EQ(o.displaySize.mode, DisplaySizeMode::Fit);
  EXPECT_TRUE(Parse({"--display-size", "1000x500"}, o));
  EXPECT_EQ(o.displaySize, (DisplaySize{DisplaySizeMode::Explicit, 1000, 500}));

  DisplayOutputOptions d;
  for (auto bad : std::vector<std::vector<const char*>>{{"--output-type", "6"},
                                                        {"--output-type", "5x"},
                                                        {"--brightness", ""},
                                                        {"--display"},
                                                        {"--display-size", "big"},
                                                        {"--display-size", "0x5"},
                                                        {"--y4m", "x"},
                                                        {"file.avi"}})
    EXPECT_FALSE(Parse(bad, d)) << bad[0];
  EXPECT_EQ(d.outputType, 5);
}

std::vector<std::uint16_t> ReadPixels(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::uint16_t> pixels(bytes.size() / 2);
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                           (static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8));
  return pixels;
}

TEST(DisplayOutput, WritesWholePlacedDisplaysAndSkipsUnchangedBlocks) {
  const auto dir = std::filesystem::temp_directory_path() / "mivora_display_output_test";
  std::filesystem::create_directories(dir);
  DisplayOutputOptions o;
  o.outputType = 5;
  o.skipUnchanged = true;
  o.displayPath = (dir / "display.raw").string();
  o.pngDir = (dir / "png").string();
  o.contactSheetPath = (dir / "sheet.png").string();

  // A 6 x 4 grey picture, then the same picture with one sample changed and one block's
  // unchecked sample changed (which skip-unchanged leaves on screen as it was).
  const int w = 6, h = 4;
  std::vector<std::uint8_t> y1(w * h, 128), u1(3 * 2, 128), v1(3 * 2, 128);
  std::vector<std::uint8_t> y2 = y1;
  y2[0] = 235;      // checked: block (0, 0) is redrawn
  y2[2 + 1] = 235;  // Y(x + 1, y) of block (2, 0): not checked, stays grey
  DecodedFrame first{y1.data(), u1.data(), v1.data(), w, 3, 3, 0, nullptr, nullptr, nullptr, 0};
  DecodedFrame second{y2.data(), u1.data(), v1.data(), w,         3, 3,
                      0,         y1.data(), u1.data(), v1.data(), 0};
  {
    DisplayOutput out(o);
    ASSERT_TRUE(out.Begin(w, h, 2));
    ASSERT_TRUE(out.AddFrame(first, w, h));
    ASSERT_TRUE(out.AddFrame(second, w, h));
    ASSERT_TRUE(out.Finish());
  }
  const auto pixels = ReadPixels(dir / "display.raw");
  ASSERT_EQ(pixels.size(), 2u * 640 * 240);
  const DisplayLayout layout = LayoutForOutputType(w, h, 5);
  const std::uint16_t grey = convert::ConvertSample(128, 128, 128, 0);
  const std::uint16_t white = convert::ConvertSample(235, 128, 128, 0);
  for (int frame = 0; frame < 2; ++frame) {
    const std::uint16_t* display = pixels.data() + frame * 640 * 240;
    for (int r = 0; r < 240; ++r)
      for (int c = 0; c < 640; ++c) {
        const int pr = r - layout.topOffset, pc = c - layout.leftOffset;
        std::uint16_t expected = 0;
        if (pr >= 0 && pr < h && pc >= 0 && pc < w)
          expected = (frame == 1 && pr == 0 && pc == 0) ? white : grey;
        ASSERT_EQ(display[r * 640 + c], expected) << "frame " << frame << " " << r << "," << c;
      }
  }
  EXPECT_TRUE(std::filesystem::exists(dir / "png" / "frame_000001.png"));
  EXPECT_TRUE(std::filesystem::exists(dir / "sheet.png"));
  std::filesystem::remove_all(dir);
}

// At "fit" the display is as large as the picture in the mode: a 64 x 48 picture turned fills a
// 48 x 64 display, written as 48 x 64 pixels per frame.
TEST(DisplayOutput, FitDisplaysShowTheWholePicture) {
  const auto dir = std::filesystem::temp_directory_path() / "mivora_display_fit_test";
  std::filesystem::create_directories(dir);
  DisplayOutputOptions o;
  o.outputType = 7;
  o.displaySize = {DisplaySizeMode::Fit, 0, 0};
  o.displayPath = (dir / "display.raw").string();
  o.contactSheetPath = (dir / "sheet.png").string();
  const int w = 64, h = 48;
  std::vector<std::uint8_t> y(w * h), u(32 * 24, 128), v(32 * 24, 128);
  for (int i = 0; i < w * h; ++i) y[i] = static_cast<std::uint8_t>(16 + i % 200);
  DecodedFrame frame{y.data(), u.data(), v.data(), w, 32, 32, 0, nullptr, nullptr, nullptr, 0};
  {
    DisplayOutput out(o);
    ASSERT_TRUE(out.Begin(w, h, 1));
    ASSERT_TRUE(out.AddFrame(frame, w, h));
    ASSERT_TRUE(out.Finish());
  }
  const platform::DisplayGeometry inForce = platform::CurrentDisplayGeometry();
  platform::SetDisplayGeometry(platform::kHandheldGeometry);
  EXPECT_EQ(inForce, (platform::DisplayGeometry{h, w, h}));
  const auto pixels = ReadPixels(dir / "display.raw");
  ASSERT_EQ(pixels.size(), std::size_t(w * h));
  // Source sample (x, r) at display row w - 1 - x, column r: the corners and one inside.
  for (auto [x, r] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}, {21, 30}})
    EXPECT_EQ(pixels[(w - 1 - x) * h + r], convert::ConvertSample(y[r * w + x], 128, 128, 0))
        << x << "," << r;
  EXPECT_TRUE(std::filesystem::exists(dir / "sheet.png"));
  std::filesystem::remove_all(dir);
}

TEST(DisplayOutput, ReportsOutputsItCannotWrite) {
  DisplayOutputOptions o;
  o.displayPath = "/nonexistent-folder/display.raw";
  DisplayOutput out(o);
  EXPECT_FALSE(out.Begin(16, 16, 1));
}

}  // namespace
}  // namespace mivora
