// SDL's disk driver writes what the device plays to a file: the test's own process, since SDL
// reads its driver settings at its first audio init.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "wave_test_support.h"

using namespace wave_test;

TEST(SdlWave, DiskDriverReceivesTheBlocksInOrder) {
  const std::string disk = (std::filesystem::temp_directory_path() /
                            ("mivora-sdl-disk-" + std::to_string(::getpid()) + ".raw"))
                               .string();
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  ::setenv("SDL_DISKAUDIOFILE", disk.c_str(), 1);
  ::setenv("SDL_DISKAUDIODELAY", "1", 1);
  ASSERT_TRUE(SelectWaveBackend("sdl"));
  Recorder rec;
  WaveOutHandle d = nullptr;
  const std::uint32_t opened =
      WaveOutOpen(&d, kWaveMapper, Format(44100, 2), &Recorder::Callback,
                  reinterpret_cast<std::uintptr_t>(&rec), kWaveCallbackFunction);
  if (opened != kWaveNoError) GTEST_SKIP() << "SDL's disk audio did not open";
  EXPECT_EQ(ActiveWaveBackend(), "sdl");
  // Lengths that are no multiple of SDL's buffer, so blocks meet inside one buffer. All four are
  // queued while paused: a writer slower than SDL's thread would otherwise let silence in between.
  ASSERT_EQ(WaveOutPause(d), kWaveNoError);
  std::vector<std::unique_ptr<Block>> blocks;
  for (int i = 0; i < 4; ++i) {
    blocks.push_back(std::make_unique<Block>(3000 + 1000 * i, i + 1));
    ASSERT_EQ(PrepareAndWrite(d, &blocks.back()->header), kWaveNoError);
  }
  ASSERT_EQ(WaveOutRestart(d), kWaveNoError);
  ASSERT_TRUE(rec.WaitDone(4));
  const auto done = rec.DoneCalls();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(done[i].header, &blocks[i]->header);
  EXPECT_EQ(Position(d), (3000u + 4000 + 5000 + 6000) / 4);
  ASSERT_EQ(WaveOutClose(d), kWaveNoError);

  std::ifstream in(disk, std::ios::binary);
  const std::vector<std::uint8_t> file(std::istreambuf_iterator<char>(in), {});
  std::filesystem::remove(disk);
  std::vector<std::uint8_t> played;
  for (const auto& block : blocks)
    played.insert(played.end(), block->bytes.begin(), block->bytes.end());
  // Silence may come before and after.
  EXPECT_NE(std::search(file.begin(), file.end(), played.begin(), played.end()), file.end())
      << "the disk file (" << file.size() << " bytes) lacks the " << played.size()
      << " bytes played";
}
