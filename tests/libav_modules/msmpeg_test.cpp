// msmpeg loaded as the player loads it and called as the engine calls a decoder, with the frames
// of a DIV3 AVI read by the built-in AVI reader.
#include <gtest/gtest.h>

#include <random>

#include "decoder/decore.h"
#include "input/avi_reader.h"
#include "platform/module.h"
#include "platform/wide_string.h"
#include "tests/libav_modules/libav_fixtures.h"

namespace mivora::test {
namespace {

class Msmpeg : public ::testing::Test {
 protected:
  void SetUp() override {
    module = platform::LoadModule(u"msmpeg.dll");
    ASSERT_NE(module, nullptr);
    decore = platform::GetEntryPointAs<DecoreFn>(module, u"decore");
    decoreFrame = platform::GetEntryPointAs<DecoreFrameFn>(module, u"decore_frame");
    ASSERT_NE(decore, nullptr);
    ASSERT_NE(decoreFrame, nullptr);
  }
  void TearDown() override {
    if (decore) decore(0, kDecoreRelease, nullptr, nullptr);
    platform::FreeModule(module);
  }
  bool Init(int width, int height) {
    DecoderParams params;
    params.width = width;
    params.height = height;
    return decore(0, kDecoreInit, &params, nullptr) == 0;
  }
  // The compressed frames of the clip, in order.
  static std::vector<std::vector<std::uint8_t>> Frames(const Clip& clip) {
    std::vector<std::vector<std::uint8_t>> frames;
    SetAviReaderReopenWait(0);
    MediaSource avi;
    InitializeAviReader(&avi);
    MediaInfo* info = nullptr;
    const std::u16string path = platform::FromUtf8(clip.path);
    if (avi.Open(path.c_str(), 0, 0, &info) == 0 || info == nullptr) return frames;
    std::vector<std::uint8_t> buffer(kDefaultFrameCapacity);
    const std::int32_t entries = GetAviReaderCounts().videoEntries;
    for (std::int32_t i = 0; i < entries; ++i) {
      const std::int32_t size = avi.ReadVideoFrame(buffer.data(), 0);
      frames.emplace_back(buffer.begin(), buffer.begin() + std::max(size, 0));
    }
    avi.Close();
    return frames;
  }

  platform::ModuleHandle module = nullptr;
  DecoreFn decore = nullptr;
  DecoreFrameFn decoreFrame = nullptr;
};

// Each picture as good as ffmpeg's decode of the same frames, and each description names the
// picture before it as its previous one.
TEST_F(Msmpeg, DecodesEveryFrameAsFfmpegDoes) {
  const Clip clip = Div3Clip();
  ASSERT_FALSE(clip.path.empty());
  const auto original = SourcePictures(clip.width, clip.height);
  const auto ffmpeg = FfmpegPictures(clip.path);
  const auto frames = Frames(clip);
  ASSERT_TRUE(Init(clip.width, clip.height));
  // ffmpeg's muxer leaves an empty chunk where a frame is held; its decode gives no picture for
  // it, so pictures are counted without them.
  DecodedFrame last;
  int shown = 0;
  for (std::size_t i = 0; i < frames.size() && shown < clip.frames; ++i) {
    if (frames[i].empty()) continue;
    DecodedFrame picture;
    decoreFrame(frames[i].data(), std::int32_t(frames[i].size()), &picture, 1, 0);
    ASSERT_NE(picture.y, nullptr) << "frame " << i;
    if (shown > 0) {
      EXPECT_EQ(picture.prevY, last.y);
    }
    const double ours = PicturePsnr(picture, original, shown, clip.width, clip.height);
    const double theirs = RawPsnr(ffmpeg, original, shown, clip.width, clip.height);
    EXPECT_NEAR(ours, theirs, 0.5) << "frame " << i;
    EXPECT_GT(PicturePsnr(picture, ffmpeg, shown, clip.width, clip.height), 45.0) << "frame " << i;
    last = picture;
    ++shown;
  }
  EXPECT_EQ(shown, clip.frames);
  // An empty frame holds the picture: the same planes, nothing changed since.
  DecodedFrame still;
  decoreFrame(nullptr, 0, &still, 1, 0);
  EXPECT_EQ(still.y, last.y);
  EXPECT_EQ(still.prevY, last.y);
}

// Cut, flipped, random and empty frames, frames before the first key frame, calls before the
// decoder is opened or after it is released: every call returns and every description it gives
// is a whole picture.
TEST_F(Msmpeg, DamagedFramesAndMisuseNeverCrash) {
  const Clip clip = Div3Clip();
  ASSERT_FALSE(clip.path.empty());
  const auto frames = Frames(clip);
  ASSERT_GE(frames.size(), 24u);
  DecodedFrame picture;
  EXPECT_GE(decoreFrame(frames[0].data(), std::int32_t(frames[0].size()), &picture, 1, 0), 0);
  EXPECT_EQ(picture.y, nullptr);  // not opened: nothing to show

  ASSERT_TRUE(Init(clip.width, clip.height));
  std::mt19937 random(5);
  // A P frame first: nothing decoded yet to predict from.
  decoreFrame(frames[3].data(), std::int32_t(frames[3].size()), &picture, 1, 0);
  TouchPicture(picture, clip.width, clip.height);
  for (int round = 0; round < 3; ++round) {
    for (std::size_t i = 0; i < 24; ++i) {
      std::vector<std::uint8_t> bytes = frames[i];
      if (round == 0) bytes.resize(bytes.size() * (i % 4) / 4);
      if (round == 1) {
        for (int k = 0; k < 8 && !bytes.empty(); ++k) bytes[random() % bytes.size()] ^= 0x5A;
      }
      if (round == 2) {
        bytes.resize(random() % 3000);
        for (auto& b : bytes) b = std::uint8_t(random());
      }
      decoreFrame(bytes.data(), std::int32_t(bytes.size()), &picture, 1, 0);
      TouchPicture(picture, clip.width, clip.height);
    }
  }
  // A fresh start after damage decodes cleanly again from a key frame.
  ASSERT_TRUE(Init(clip.width, clip.height));
  decoreFrame(frames[0].data(), std::int32_t(frames[0].size()), &picture, 1, 0);
  EXPECT_GT(PicturePsnr(picture, FfmpegPictures(clip.path), 0, clip.width, clip.height), 45.0);

  // Sizes outside what the decoder holds are refused, and it is closed afterwards.
  for (const auto& [w, h] : {std::pair{0, 0}, {-16, 144}, {8, 8}, {100000, 144}}) {
    EXPECT_FALSE(Init(w, h)) << w << "x" << h;
  }
  EXPECT_EQ(decore(0, kDecoreInit, nullptr, nullptr), -1);
  decoreFrame(frames[0].data(), std::int32_t(frames[0].size()), &picture, 1, 0);
  EXPECT_EQ(picture.y, nullptr);
  decore(0, kDecoreRelease, nullptr, nullptr);
  decore(0, kDecoreRelease, nullptr, nullptr);
}

}  // namespace
}  // namespace mivora::test
