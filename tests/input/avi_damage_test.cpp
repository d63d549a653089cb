// Damaged files must open or fail cleanly: no read or write outside a buffer (run under
// AddressSanitizer), no hang, every result inside its documented range.
#include <fstream>
#include <iterator>
#include <random>

#include "tests/input/fake_source.h"

namespace mivora::test {
namespace {

Bytes SampleClip() {
  std::ifstream in(MIVORA_SAMPLE_CLIP, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class AviDamage : public FakeSourceTest {
 protected:
  // Opens the bytes and drives every operation over them; frames go into a buffer of exactly
  // the capacity the reader was given, so an overrun is caught.
  void Exercise(const Bytes& file, std::uint32_t seed) {
    MediaInfo* info = OpenBytes(file);
    if (info == nullptr) {
      source.Close();
      return;
    }
    const AviReaderCounts counts = GetAviReaderCounts();
    ASSERT_GE(counts.videoEntries, 0);
    ASSERT_GE(info->audioBytes, 0);
    ASSERT_LE(counts.largestFrameBytes, static_cast<std::int32_t>(file.size()));
    std::vector<std::uint8_t> frame(kDefaultFrameCapacity);
    const std::int32_t frames =
        std::min(std::max(info->frameCount, counts.videoEntries), counts.videoEntries + 4);
    for (std::int32_t i = 0; i < frames; ++i) {
      const std::int32_t n = source.ReadVideoFrame(frame.data(), 0);
      ASSERT_GE(n, 0);
      ASSERT_LE(n, kDefaultFrameCapacity);
    }
    std::vector<std::uint8_t> audio(8192);
    std::int64_t audioTotal = 0;
    for (std::int32_t i = 0; i < info->audioBytes / 8192 + 4; ++i) {
      const std::int32_t n = source.ReadAudio(audio.data(), 8192);
      ASSERT_GE(n, 0);
      ASSERT_LE(n, 8192);
      audioTotal += n;
    }
    ASSERT_LE(audioTotal, info->audioBytes);
    std::mt19937 random(seed);
    for (int i = 0; i < 8; ++i) {
      const std::int32_t remaining = source.SeekPercent(std::int32_t(random() % 101));
      ASSERT_GE(remaining, 0);
      ASSERT_LE(remaining, std::max(info->audioBytes, 1));
      ASSERT_GE(source.SyncAudioToVideo(), 0);
      const double position = source.GetPositionPercent();
      ASSERT_GE(position, 0.0);
      source.IsKeyFrame(std::int32_t(random()) % (counts.videoEntries + 3) - 1);
      source.ReadVideoFrame(frame.data(), 1);
      source.ReadAudio(audio.data(), std::int32_t(random() % 8192) + 1);
    }
    source.Close();
  }
};

TEST_F(AviDamage, SampleClipIsReadWhole) {
  const Bytes clip = SampleClip();
  ASSERT_GT(clip.size(), 100000u);
  MediaInfo* info = OpenBytes(clip);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->width, 320);
  EXPECT_EQ(info->audioFormatTag, 85);
  EXPECT_EQ(GetAviReaderCounts().videoEntries, info->frameCount);
  EXPECT_GT(info->audioBytes, 0);
  Exercise(clip, 1);
}

TEST_F(AviDamage, BitFlipsAnywhere) {
  const Bytes clip = SampleClip();
  std::mt19937 random(42);
  for (int round = 0; round < 150; ++round) {
    Bytes damaged = clip;
    const int flips = 1 + int(random() % 16);
    for (int i = 0; i < flips; ++i) {
      // Half the flips go into the headers and the index, where they matter most.
      const std::size_t at =
          (i & 1) ? random() % 4096
                  : damaged.size() - 1 - random() % std::min<std::size_t>(damaged.size(), 16000);
      damaged[at] ^= std::uint8_t(1u << (random() % 8));
    }
    Exercise(damaged, std::uint32_t(round));
    if (HasFatalFailure()) FAIL() << "round " << round;
  }
}

TEST_F(AviDamage, TruncatedAnywhere) {
  const Bytes clip = SampleClip();
  for (std::size_t keep : {0ul, 5ul, 12ul, 20ul, 200ul, 2000ul, clip.size() / 2,
                           clip.size() - 16000, clip.size() - 17, clip.size() - 1}) {
    Exercise(Bytes(clip.begin(), clip.begin() + std::min(keep, clip.size())), 7);
    if (HasFatalFailure()) FAIL() << "kept " << keep;
  }
}

TEST_F(AviDamage, ScrambledIndexAndJunkOverHeaders) {
  const Bytes clip = SampleClip();
  // The index is the last chunk: find its header.
  std::size_t index = 0;
  for (std::size_t i = clip.size() - 8; i > 12; --i) {
    if (clip[i] == 'i' && clip[i + 1] == 'd' && clip[i + 2] == 'x' && clip[i + 3] == '1') {
      index = i;
      break;
    }
  }
  ASSERT_GT(index, 0u);
  std::mt19937 random(3);
  for (int round = 0; round < 40; ++round) {
    Bytes damaged = clip;
    for (std::size_t i = index + 8; i < damaged.size(); ++i) {
      // Keep the ids (so entries are taken) and scramble flags, offsets and sizes.
      if ((i - index - 8) % 16 >= 4) damaged[i] = std::uint8_t(random());
    }
    Exercise(damaged, std::uint32_t(round));
    if (HasFatalFailure()) FAIL() << "index round " << round;
  }
  for (int round = 0; round < 40; ++round) {
    Bytes damaged = clip;
    const std::size_t from = 12 + random() % 3000;
    for (std::size_t i = from; i < from + 1 + random() % 600; ++i)
      damaged[i] = std::uint8_t(random());
    Exercise(damaged, std::uint32_t(round));
    if (HasFatalFailure()) FAIL() << "junk round " << round;
  }
  // Sizes at their limits in every header the walk reads.
  for (std::size_t at : {16ul, 28ul, index + 4}) {
    for (std::uint32_t size : {0u, 1u, 3u, 0x7FFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
      Bytes damaged = clip;
      for (int b = 0; b < 4; ++b) damaged[at + b] = std::uint8_t(size >> (8 * b));
      Exercise(damaged, size);
      if (HasFatalFailure()) FAIL() << "size " << size << " at " << at;
    }
  }
}

}  // namespace
}  // namespace mivora::test
