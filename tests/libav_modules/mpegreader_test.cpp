// mpegreader loaded as the player loads it, against ffmpeg's decode and ffmpeg's copy of the
// audio of the same program streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "input/media_source.h"
#include "platform/module.h"
#include "platform/wide_string.h"
#include "tests/libav_modules/libav_fixtures.h"

namespace mivora::test {
namespace {

class MpegReader : public ::testing::Test {
 protected:
  void SetUp() override {
    module = platform::LoadModule(u"mpegreader.dll");
    ASSERT_NE(module, nullptr);
    auto initialize = platform::GetEntryPointAs<InitializeReaderFn>(module, u"InitializeReader");
    ASSERT_NE(initialize, nullptr);
    initialize(&source);
  }
  void TearDown() override {
    if (source.Close) source.Close();
    platform::FreeModule(module);
  }
  MediaInfo* OpenFile(const std::string& path) {
    MediaInfo* info = nullptr;
    const std::u16string wide = platform::FromUtf8(path);
    if (source.Open(wide.c_str(), 0, 0, &info) == 0) return nullptr;
    return info;
  }
  DecodedFrame ReadPicture() {
    DecodedFrame picture;
    if (source.ReadVideoFrame(buffer.data(), 0) != std::int32_t(sizeof picture)) return {};
    std::memcpy(&picture, buffer.data(), sizeof picture);
    return picture;
  }
  std::vector<std::uint8_t> ReadAllAudio() {
    std::vector<std::uint8_t> all;
    std::vector<std::uint8_t> piece(8192);
    for (int n; (n = source.ReadAudio(piece.data(), 8192)) > 0;) {
      all.insert(all.end(), piece.begin(), piece.begin() + n);
    }
    return all;
  }

  platform::ModuleHandle module = nullptr;
  MediaSource source;
  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(48000);
};

struct Case {
  const char* name;
  Clip (*make)();
};
const Case kClips[] = {{"mpeg1", &Mpeg1Clip}, {"mpeg2", &Mpeg2Clip}};

// Every picture in display order, as good as ffmpeg's decode of the same stream; the count,
// rate and duration of the stream; the sound byte for byte the stream's.
TEST_F(MpegReader, PlaysEveryPictureAndTheWholeAudioStream) {
  for (const Case& c : kClips) {
    SCOPED_TRACE(c.name);
    const Clip clip = c.make();
    ASSERT_FALSE(clip.path.empty());
    const auto original = SourcePictures(clip.width, clip.height);
    const auto ffmpeg = FfmpegPictures(clip.path);
    const int ffmpegFrames = int(ffmpeg.size() / (std::size_t(clip.width) * clip.height * 3 / 2));
    MediaInfo* info = OpenFile(clip.path);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->width, clip.width);
    EXPECT_EQ(info->height, clip.height);
    EXPECT_DOUBLE_EQ(info->framesPerSecond, 25.0);
    EXPECT_EQ(info->frameCount, ffmpegFrames);
    EXPECT_NEAR(info->frameCount / info->framesPerSecond, FfprobeSeconds(clip.path), 0.1);
    EXPECT_EQ(info->audioFormatTag, 80);
    EXPECT_LE(info->largeFrameBytes, 512);

    DecodedFrame last{};
    double worst = 99;
    for (int i = 0; i < info->frameCount; ++i) {
      ASSERT_EQ(info->currentFrame, i);
      const DecodedFrame picture = ReadPicture();
      ASSERT_NE(picture.y, nullptr) << "picture " << i;
      // The previous planes are those of the picture read before, and still readable.
      if (i > 0) {
        EXPECT_EQ(picture.prevY, last.y);
      }
      TouchPicture(picture, clip.width, clip.height);
      const double ours = PicturePsnr(picture, original, i, clip.width, clip.height);
      const double theirs = RawPsnr(ffmpeg, original, i, clip.width, clip.height);
      EXPECT_NEAR(ours, theirs, 0.5) << "picture " << i;
      worst = std::min(worst, PicturePsnr(picture, ffmpeg, i, clip.width, clip.height));
      last = picture;
    }
    RecordProperty(std::string(c.name) + "_worst_psnr_against_ffmpeg", std::to_string(worst));
    EXPECT_EQ(source.ReadVideoFrame(buffer.data(), 0), 0);
    EXPECT_EQ(info->currentFrame, info->frameCount);
    EXPECT_DOUBLE_EQ(source.GetPositionPercent(), 100.0);

    const auto audio = ReadAllAudio();
    EXPECT_EQ(std::int64_t(audio.size()), info->audioBytes);
    EXPECT_TRUE(audio == FfmpegAudioStream(clip.path));
    EXPECT_EQ(source.ReadAudio(buffer.data(), 100), 0);
    EXPECT_EQ(source.Close(), 1);
  }
}

// A percentage lands on a key frame no more than one key-frame interval from it; the picture
// there is ffmpeg's picture of that number, and the audio resumes where the stream's bytes say.
TEST_F(MpegReader, SeekingByPercentLandsOnKeyFrames) {
  for (const Case& c : kClips) {
    SCOPED_TRACE(c.name);
    const Clip clip = c.make();
    ASSERT_FALSE(clip.path.empty());
    const auto ffmpeg = FfmpegPictures(clip.path);
    const auto stream = FfmpegAudioStream(clip.path);
    MediaInfo* info = OpenFile(clip.path);
    ASSERT_NE(info, nullptr);
    const double bytesPerSecond = double(info->audioBytes) / (info->frameCount / 25.0);
    ReadPicture();  // the seek must also undo reads already made
    for (const int percent : {50, 0, 10, 33, 75, 99, 100, 20}) {
      SCOPED_TRACE(percent);
      const std::int32_t left = source.SeekPercent(percent);
      const int target = info->frameCount * percent / 100;
      const int landed = info->currentFrame;
      EXPECT_NE(source.IsKeyFrame(landed), 0);
      EXPECT_LE(std::abs(landed - target), clip.keyEvery);
      const DecodedFrame picture = ReadPicture();
      ASSERT_NE(picture.y, nullptr);
      EXPECT_GT(PicturePsnr(picture, ffmpeg, landed, clip.width, clip.height), 45.0);
      EXPECT_EQ(info->currentFrame, landed + 1);
      const std::size_t at = std::size_t(info->audioBytes - left);
      EXPECT_NEAR(double(at) / bytesPerSecond, landed / 25.0, 0.1);
      ASSERT_LE(at, stream.size());
      const std::size_t want = std::min<std::size_t>(4000, stream.size() - at);
      std::vector<std::uint8_t> piece(4000);
      ASSERT_EQ(source.ReadAudio(piece.data(), 4000), std::int32_t(want));
      EXPECT_TRUE(std::equal(piece.begin(), piece.begin() + std::ptrdiff_t(want),
                             stream.begin() + std::ptrdiff_t(at)));
    }
    // The fast-forward resync puts the audio at the picture now due.
    source.SeekPercent(50);
    for (int i = 0; i < 5; ++i) ReadPicture();
    const std::int32_t left = source.SyncAudioToVideo();
    EXPECT_NEAR(double(info->audioBytes - left) / bytesPerSecond, info->currentFrame / 25.0, 0.1);
    // A search for the next key frame always stops: past the pictures every answer is yes.
    EXPECT_NE(source.IsKeyFrame(info->frameCount), 0);
    EXPECT_NE(source.IsKeyFrame(-1), 0);
    EXPECT_EQ(source.IsKeyFrame(1), 0);
  }
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Cut short, overwritten with noise, empty or not MPEG at all: opening fails with 0 or the file
// plays to the end it has, and nothing reads or writes outside its buffers.
TEST_F(MpegReader, DamagedAndTruncatedFilesNeverCrash) {
  const Clip clip = Mpeg2Clip();
  ASSERT_FALSE(clip.path.empty());
  const auto whole = ReadFile(clip.path);
  const std::string path = std::string(MIVORA_FIXTURE_DIR) + "/damaged-" +
                           std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                           ".mpg";
  std::mt19937 random(11);
  std::vector<std::vector<std::uint8_t>> files;
  for (const double share : {0.0, 0.001, 0.05, 0.3, 0.77}) {
    files.emplace_back(whole.begin(), whole.begin() + std::ptrdiff_t(whole.size() * share));
  }
  for (int damage = 0; damage < 4; ++damage) {
    auto bytes = whole;
    const int spots = damage == 3 ? 2000 : 40 << damage;
    for (int i = 0; i < spots; ++i) bytes[random() % bytes.size()] = std::uint8_t(random());
    files.push_back(bytes);
  }
  files.push_back(std::vector<std::uint8_t>(70000, 0x47));  // not MPEG
  int opened = 0;
  for (std::size_t f = 0; f < files.size(); ++f) {
    SCOPED_TRACE(f);
    WriteFile(path, files[f]);
    MediaInfo* info = OpenFile(path);
    if (info == nullptr) continue;
    ++opened;
    for (int i = 0; i < info->frameCount + 3; ++i) {
      const DecodedFrame picture = ReadPicture();
      TouchPicture(picture, info->width, info->height);
    }
    ReadAllAudio();
    for (const int percent : {90, 0, 50}) {
      source.SeekPercent(percent);
      TouchPicture(ReadPicture(), info->width, info->height);
      std::vector<std::uint8_t> piece(1000);
      EXPECT_LE(source.ReadAudio(piece.data(), 1000), 1000);
    }
    source.SyncAudioToVideo();
    EXPECT_EQ(source.Close(), 1);
  }
  EXPECT_GE(opened, 5);  // the longer cuts and the lighter damage still play
  std::filesystem::remove(path);
  // Without an open file every operation answers and does nothing.
  EXPECT_EQ(source.Close(), 1);
  EXPECT_EQ(source.ReadVideoFrame(buffer.data(), 0), 0);
  EXPECT_EQ(source.ReadAudio(buffer.data(), 10), 0);
  EXPECT_EQ(source.SeekPercent(50), 0);
  EXPECT_EQ(OpenFile("/nonexistent/clip.mpg"), nullptr);
  // A path is a file or a web address, never another of libavformat's sources.
  EXPECT_EQ(OpenFile("pipe:0"), nullptr);
  EXPECT_EQ(OpenFile("concat:" + clip.path + "|" + clip.path), nullptr);
}

}  // namespace
}  // namespace mivora::test
