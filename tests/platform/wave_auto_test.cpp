// "auto" without a usable SDL driver: its own process, since SDL reads the driver name at its
// first audio init.
#include <gtest/gtest.h>

#include <cstdlib>

#include "wave_test_support.h"

using namespace wave_test;

TEST(AutoWave, FallsBackToNullWhenNoSdlDriverOpens) {
  ::setenv("SDL_AUDIODRIVER", "mivora-no-such-driver", 1);
  WaveOutHandle d = nullptr;
  ASSERT_TRUE(SelectWaveBackend("sdl"));
  EXPECT_EQ(WaveOutOpen(&d, kWaveMapper, Format(44100, 2), nullptr, 0, 0), kWaveBadDeviceId);
  EXPECT_EQ(d, nullptr);
  EXPECT_EQ(ActiveWaveBackend(), "");

  ASSERT_TRUE(SelectWaveBackend("auto"));
  for (int i = 0; i < 2; ++i) {  // the second open does not try SDL again
    Recorder rec;
    ASSERT_EQ(WaveOutOpen(&d, kWaveMapper, Format(44100, 2), &Recorder::Callback,
                          reinterpret_cast<std::uintptr_t>(&rec), kWaveCallbackFunction),
              kWaveNoError);
    EXPECT_EQ(ActiveWaveBackend(), "null");
    SetClockSpeed(50.0);
    Block a(4410);
    ASSERT_EQ(PrepareAndWrite(d, &a.header), kWaveNoError);
    EXPECT_TRUE(rec.WaitDone(1));
    SetClockSpeed(1.0);
    EXPECT_EQ(WaveOutClose(d), kWaveNoError);
  }
}
