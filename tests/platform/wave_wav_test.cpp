#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "wave_test_support.h"

using namespace wave_test;

namespace {

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}
std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::int16_t Sample(const std::uint8_t* p) {
  std::int16_t s;
  std::memcpy(&s, p, 2);
  return s;
}

// Checks the 44-byte header against format and dataBytes; returns the PCM after it.
std::vector<std::uint8_t> CheckedPcm(const std::string& path, const WaveFormat& format,
                                     std::uint32_t dataBytes) {
  const std::vector<std::uint8_t> file = ReadFile(path);
  if (file.size() < 44) {
    ADD_FAILURE() << path << " holds " << file.size() << " bytes";
    return {};
  }
  EXPECT_EQ(std::memcmp(file.data(), "RIFF", 4), 0);
  EXPECT_EQ(Le32(file, 4), 36 + dataBytes);
  EXPECT_EQ(std::memcmp(file.data() + 8, "WAVEfmt ", 8), 0);
  EXPECT_EQ(Le32(file, 16), 16u);
  EXPECT_EQ(Le16(file, 20), 1u);
  EXPECT_EQ(Le16(file, 22), format.channels);
  EXPECT_EQ(Le32(file, 24), format.samplesPerSecond);
  EXPECT_EQ(Le32(file, 28), format.averageBytesPerSecond);
  EXPECT_EQ(Le16(file, 32), format.blockAlign);
  EXPECT_EQ(Le16(file, 34), 16u);
  EXPECT_EQ(std::memcmp(file.data() + 36, "data", 4), 0);
  EXPECT_EQ(Le32(file, 40), dataBytes);
  EXPECT_EQ(file.size(), 44u + dataBytes);
  return std::vector<std::uint8_t>(file.begin() + 44, file.end());
}

class WavWave : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("mivora-wave-" + std::to_string(::getpid()) + ".wav"))
                .string();
    ASSERT_TRUE(SelectWaveBackend("wav:" + path_));
    SetClockStepped(true);
  }
  void TearDown() override {
    SetClockStepped(false);
    SelectWaveBackend("null");
    std::filesystem::remove(path_);
  }
  WaveOutHandle Open(const WaveFormat& format) {
    WaveOutHandle d = nullptr;
    EXPECT_EQ(WaveOutOpen(&d, kWaveMapper, format, &Recorder::Callback,
                          reinterpret_cast<std::uintptr_t>(&rec_), kWaveCallbackFunction),
              kWaveNoError);
    EXPECT_EQ(ActiveWaveBackend(), "wav");
    return d;
  }
  std::string path_;
  Recorder rec_;
};

}  // namespace

// 48000 Hz stereo: 4800 bytes = 25 ms, after 20 ms of device latency.
TEST_F(WavWave, FileHoldsWhatWasPlayedAndASecondOpenAppends) {
  const WaveFormat format = Format(48000, 2);
  WaveOutHandle d = Open(format);
  Block a(4800, 1), b(4800, 2), c(4800, 3);
  ASSERT_EQ(PrepareAndWrite(d, &a.header), kWaveNoError);
  ASSERT_EQ(PrepareAndWrite(d, &b.header), kWaveNoError);
  ASSERT_EQ(PrepareAndWrite(d, &c.header), kWaveNoError);
  AdvanceClock(20000 + 2 * 25000);
  ASSERT_TRUE(rec_.WaitDone(2));
  AdvanceClock(12500);  // half of c heard, then cut off
  ASSERT_EQ(WaveOutReset(d), kWaveNoError);
  ASSERT_EQ(WaveOutClose(d), kWaveNoError);

  std::vector<std::uint8_t> expected(a.bytes);
  expected.insert(expected.end(), b.bytes.begin(), b.bytes.end());
  expected.insert(expected.end(), c.bytes.begin(), c.bytes.begin() + 2400);
  EXPECT_EQ(CheckedPcm(path_, format, 9600 + 2400), expected);

  // The same format again: the next item follows in the same file, the header covers both.
  Recorder second;
  WaveOutHandle e = nullptr;
  ASSERT_EQ(WaveOutOpen(&e, kWaveMapper, format, &Recorder::Callback,
                        reinterpret_cast<std::uintptr_t>(&second), kWaveCallbackFunction),
            kWaveNoError);
  Block f(4800, 4);
  ASSERT_EQ(PrepareAndWrite(e, &f.header), kWaveNoError);
  AdvanceClock(20000 + 25000);
  ASSERT_TRUE(second.WaitDone(1));
  ASSERT_EQ(WaveOutClose(e), kWaveNoError);
  expected.insert(expected.end(), f.bytes.begin(), f.bytes.end());
  EXPECT_EQ(CheckedPcm(path_, format, 9600 + 2400 + 4800), expected);

  // Another format starts the file afresh, and so does selecting the backend again.
  const WaveFormat mono = Format(22050, 1);
  WaveOutHandle m = Open(mono);
  Block g(2204, 5);
  ASSERT_EQ(PrepareAndWrite(m, &g.header), kWaveNoError);
  AdvanceClock(20000 + 50000);
  ASSERT_TRUE(rec_.WaitDone(4));
  ASSERT_EQ(WaveOutClose(m), kWaveNoError);
  EXPECT_EQ(CheckedPcm(path_, mono, 2204),
            std::vector<std::uint8_t>(g.bytes.begin(), g.bytes.begin() + 2204));

  ASSERT_TRUE(SelectWaveBackend("wav:" + path_));
  m = Open(mono);
  ASSERT_EQ(WaveOutClose(m), kWaveNoError);
  EXPECT_TRUE(CheckedPcm(path_, mono, 0).empty());
}

TEST_F(WavWave, VolumeScalesEachChannelAsItIsHeard) {
  const WaveFormat format = Format(48000, 2);
  WaveOutHandle d = Open(format);
  // Every value from -32768 to 32767 in turn, so the rounding of odd and negative samples shows.
  Block full(65536 * 2);
  for (int i = 0; i < 65536; ++i) {
    const std::uint16_t s = static_cast<std::uint16_t>(i - 32768);
    full.bytes[2 * i] = static_cast<std::uint8_t>(s);
    full.bytes[2 * i + 1] = static_cast<std::uint8_t>(s >> 8);
  }
  Block quiet(4800, 7);
  ASSERT_EQ(WaveOutSetVolume(d, 0x80008000u), kWaveNoError);  // half on both
  ASSERT_EQ(PrepareAndWrite(d, &full.header), kWaveNoError);
  AdvanceClock(20000 + 682667);
  ASSERT_TRUE(rec_.WaitDone(1));
  ASSERT_EQ(WaveOutSetVolume(d, 0xFFFF0000u), kWaveNoError);  // left silent, right unchanged
  ASSERT_EQ(PrepareAndWrite(d, &quiet.header), kWaveNoError);
  AdvanceClock(20000 + 25000);
  ASSERT_TRUE(rec_.WaitDone(2));
  ASSERT_EQ(WaveOutClose(d), kWaveNoError);

  const std::vector<std::uint8_t> pcm = CheckedPcm(path_, format, 65536 * 2 + 4800);
  ASSERT_EQ(pcm.size(), 65536u * 2 + 4800);
  int wrong = 0;
  for (int i = 0; i < 65536; ++i) {
    const int s = i - 32768;
    wrong += Sample(&pcm[2 * i]) != s / 2;  // halved, towards zero
  }
  EXPECT_EQ(wrong, 0);
  const std::uint8_t* second = pcm.data() + 65536 * 2;
  for (int i = 0; i < 2400; i += 2) {
    EXPECT_EQ(Sample(second + 2 * i), 0) << i;
    EXPECT_EQ(Sample(second + 2 * i + 2), Sample(quiet.bytes.data() + 2 * i + 2)) << i;
  }
}
