#include "platform/presentation.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/clock.h"
#include "platform/display_memory.h"

using namespace mivora::platform;

namespace {

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void Paint(int seed) {
  std::uint16_t* pixels = DisplayMemory();
  for (int i = 0; i < kDisplayPixels; ++i)
    pixels[i] = static_cast<std::uint16_t>(i * 31 + seed * 977 + (i >> 9));
}

class Presentation : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("mivora-present-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    SetClockStepped(true);
  }
  void TearDown() override {
    ClosePresentation();
    SetClockStepped(false);
    ClearDisplayMemory();
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
};

// Checks frame `index` of a raw file: the time, then the pixels of `seed` little-endian.
void ExpectRawFrame(const std::vector<std::uint8_t>& file, int index, std::int64_t timeUs,
                    int seed) {
  constexpr std::size_t kFrame = 8 + kDisplayPixels * 2;
  ASSERT_GE(file.size(), (index + 1) * kFrame);
  const std::uint8_t* at = file.data() + index * kFrame;
  std::uint64_t time = 0;
  for (int i = 0; i < 8; ++i) time |= static_cast<std::uint64_t>(at[i]) << (8 * i);
  EXPECT_EQ(static_cast<std::int64_t>(time), timeUs);
  Paint(seed);
  const std::uint16_t* pixels = DisplayMemory();
  int wrong = 0;
  for (int i = 0; i < kDisplayPixels; ++i)
    wrong += (at[8 + 2 * i] | at[9 + 2 * i] << 8) != pixels[i];
  EXPECT_EQ(wrong, 0) << "frame " << index;
}

}  // namespace

TEST_F(Presentation, RawAppendsTimeAndPixelsAndBadSelectionsKeepIt) {
  const std::filesystem::path raw = dir_ / "frames.raw";
  ASSERT_TRUE(SelectPresentation("raw:" + raw.string()));
  const std::uint64_t before = PresentedFrames();
  Paint(1);
  AdvanceClock(1234567);
  const std::int64_t first = ClockNowUs();
  PresentDisplay();
  // Unknown names, a missing path and a file that cannot be made leave "raw" in place.
  EXPECT_FALSE(SelectPresentation("nosuch:x"));
  EXPECT_FALSE(SelectPresentation("raw"));
  EXPECT_FALSE(SelectPresentation("raw:" + (dir_ / "no" / "dir" / "f.raw").string()));
  Paint(2);
  AdvanceClock(16667);
  PresentDisplay();
  EXPECT_EQ(PresentedFrames() - before, 2u);
  ClosePresentation();
  PresentDisplay();  // "none" now: counted, written nowhere
  EXPECT_EQ(PresentedFrames() - before, 3u);

  const std::vector<std::uint8_t> file = ReadFile(raw);
  EXPECT_EQ(file.size(), 2u * (8 + 307200));
  ExpectRawFrame(file, 0, first, 1);
  ExpectRawFrame(file, 1, first + 16667, 2);
}

TEST_F(Presentation, PngWritesNumberedFiles) {
  const std::filesystem::path pngs = dir_ / "png" / "out";  // made when missing
  if (!SelectPresentation("png:" + pngs.string())) GTEST_SKIP() << "built without libpng";
  Paint(3);
  PresentDisplay();
  PresentDisplay();
  ClosePresentation();
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const char* name : {"frame-000001.png", "frame-000002.png"}) {
    const std::vector<std::uint8_t> file = ReadFile(pngs / name);
    ASSERT_GT(file.size(), 8u) << name;
    EXPECT_EQ(std::memcmp(file.data(), kSignature, 8), 0) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(pngs / "frame-000003.png"));
  EXPECT_FALSE(std::filesystem::exists(pngs / "frame-000000.png"));
}

namespace {
struct Probe {
  std::string argument;
  int made = 0;
  int presents = 0;
  int closed = 0;
  bool sawDisplay = false;
  bool copied = false;
  std::int64_t timeUs = -1;
};

class ProbeBackend final : public PresentationBackend {
 public:
  explicit ProbeBackend(Probe* probe) : probe_(probe) {}
  ~ProbeBackend() override { ++probe_->closed; }
  void Present(const std::uint16_t* pixels, int width, int height, std::int64_t timeUs) override {
    ++probe_->presents;
    probe_->timeUs = timeUs;
    probe_->copied = pixels != DisplayMemory();
    probe_->sawDisplay = width == kDisplayWidth && height == kDisplayHeight &&
                         std::memcmp(pixels, DisplayMemory(), kDisplayPixels * 2) == 0;
  }

 private:
  Probe* probe_;
};
}  // namespace

TEST_F(Presentation, RegisteredBackendsAreMadeCalledAndClosed) {
  Probe probe;
  RegisterPresentationBackend("probe", [&](std::string_view argument) {
    probe.argument = std::string(argument);
    ++probe.made;
    return std::make_unique<ProbeBackend>(&probe);
  });
  RegisterPresentationBackend("broken", [](std::string_view) { return nullptr; });
  ASSERT_TRUE(SelectPresentation("probe:left:right"));
  EXPECT_EQ(probe.argument, "left:right");
  EXPECT_FALSE(SelectPresentation("broken"));  // a failing factory keeps the current one
  Paint(4);
  PresentDisplay();
  EXPECT_EQ(probe.presents, 1);
  EXPECT_TRUE(probe.sawDisplay);
  EXPECT_TRUE(probe.copied);
  EXPECT_EQ(probe.timeUs, ClockNowUs());
  EXPECT_EQ(probe.closed, 0);

  ASSERT_TRUE(SelectPresentation("probe"));  // a new one replaces and closes the old
  EXPECT_EQ(probe.argument, "");
  EXPECT_EQ(probe.made, 2);
  EXPECT_EQ(probe.closed, 1);
  ASSERT_TRUE(SelectPresentation("none"));
  EXPECT_EQ(probe.closed, 2);
  PresentDisplay();
  EXPECT_EQ(probe.presents, 1);
}
