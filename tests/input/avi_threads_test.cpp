// The engine's three users of one source at once: video reads, audio reads and seeks on their
// own threads. Every read must deliver bytes that really belong together in the file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>
#include <thread>

#include "input/avi_reader.h"
#include "platform/module.h"
#include "platform/wide_string.h"
#include "tests/input/avi_builder.h"

namespace mivora::test {
namespace {

constexpr std::int32_t kFrames = 120;
constexpr std::int32_t kAudioChunks = 60;
constexpr std::uint32_t kAudioChunkBytes = 1000;  // seeks restart such chunks at their start

std::uint32_t FrameSize(std::int32_t i) {
  return 200 + std::uint32_t(i * 37) % 900;
}

// Frame i starts with its own index, so a reader can tell which frame it got.
Bytes FrameData(std::int32_t i) {
  Bytes data;
  PutU32(data, static_cast<std::uint32_t>(i));
  const Bytes rest = Pattern(1, std::uint64_t(i) * 100000, FrameSize(i) - 4);
  data.insert(data.end(), rest.begin(), rest.end());
  return data;
}

std::string WriteClip() {
  AviBuilder clip;
  clip.Video("DIVX", 1, 25, kFrames).Audio(85, 0);
  for (std::int32_t i = 0; i < kFrames; ++i) {
    clip.Chunk("00dc", FrameData(i), i % 5 == 0 ? 0x10 : 0);
    if (i % 2 == 0 && i / 2 < kAudioChunks) {
      clip.Chunk("01wb", Pattern(2, std::uint64_t(i / 2) * kAudioChunkBytes, kAudioChunkBytes));
    }
  }
  const Bytes file = clip.Build();
  char name[] = "/tmp/mivora_avi_threads_XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) return {};
  const bool written = write(fd, file.data(), file.size()) == ssize_t(file.size());
  close(fd);
  return written ? name : "";
}

bool AudioMatches(const std::uint8_t* data, std::int32_t n, std::uint64_t from) {
  if (from + std::uint64_t(n) > std::uint64_t(kAudioChunks) * kAudioChunkBytes) return false;
  for (std::int32_t i = 0; i < n; ++i) {
    if (data[i] != PatternByte(2, from + i)) return false;
  }
  return true;
}

TEST(AviThreads, VideoAudioAndSeeksOnThreeThreadsReadTheRightBytes) {
  const std::string path = WriteClip();
  ASSERT_FALSE(path.empty());
  platform::SetModuleDirectory("");
  SetAviReaderReopenWait(0);
  MediaSource source;
  InitializeAviReader(&source);
  MediaInfo* info = nullptr;
  ASSERT_NE(source.Open(platform::FromUtf8(path).c_str(), 0, 0, &info), 0);
  ASSERT_EQ(info->audioBytes, kAudioChunks * std::int32_t(kAudioChunkBytes));

  std::atomic<bool> stop{false};
  std::atomic<int> badFrames{0}, goodFrames{0}, badAudio{0}, goodAudio{0};

  std::thread video([&] {
    Bytes buffer(kDefaultFrameCapacity);
    while (!stop.load()) {
      const std::int32_t n = source.ReadVideoFrame(buffer.data(), 0);
      if (n <= 0) {
        std::this_thread::yield();
        continue;
      }
      const std::int32_t index = std::int32_t(buffer[0] | buffer[1] << 8 | buffer[2] << 16);
      const bool good = index < kFrames && n == std::int32_t(FrameSize(index)) &&
                        Bytes(buffer.begin(), buffer.begin() + n) == FrameData(index);
      (good ? goodFrames : badFrames)++;
    }
  });

  std::thread audio([&] {
    Bytes buffer(8192);
    std::mt19937 random(5);
    std::uint64_t end = 0;  // where the last read stopped
    while (!stop.load()) {
      const std::int32_t n = source.ReadAudio(buffer.data(), 1 + std::int32_t(random() % 8192));
      if (n <= 0) {
        std::this_thread::yield();
        continue;
      }
      // Either the read went on where the last one stopped, or a seek moved it to the start
      // of a chunk in between.
      std::int64_t from = AudioMatches(buffer.data(), n, end) ? std::int64_t(end) : -1;
      for (std::int32_t k = 0; from < 0 && k < kAudioChunks; ++k) {
        if (AudioMatches(buffer.data(), n, std::uint64_t(k) * kAudioChunkBytes)) {
          from = std::int64_t(k) * kAudioChunkBytes;
        }
      }
      if (from < 0) {
        badAudio++;
      } else {
        goodAudio++;
        end = std::uint64_t(from) + std::uint64_t(n);
      }
    }
  });

  std::thread seeks([&] {
    std::mt19937 random(9);
    for (int i = 0; i < 300; ++i) {
      const std::int32_t remaining = source.SeekPercent(std::int32_t(random() % 101));
      EXPECT_GE(remaining, 0);
      if (i % 3 == 0) source.SyncAudioToVideo();
      const double position = source.GetPositionPercent();
      EXPECT_GE(position, 0.0);
      EXPECT_LE(position, 100.0);
      source.IsKeyFrame(std::int32_t(random() % kFrames));
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    stop.store(true);
  });

  seeks.join();
  video.join();
  audio.join();
  source.Close();
  std::remove(path.c_str());
  RecordProperty("framesChecked", goodFrames.load());
  RecordProperty("audioReadsChecked", goodAudio.load());
  EXPECT_EQ(badFrames.load(), 0);
  EXPECT_EQ(badAudio.load(), 0);
  EXPECT_GT(goodFrames.load(), 0);
  EXPECT_GT(goodAudio.load(), 0);
}

}  // namespace
}  // namespace mivora::test
