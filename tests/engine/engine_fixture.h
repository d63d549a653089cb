// Drives the engine as the shell would, without a window: headless message boxes, the null or
// wav sound device on a clock that runs faster than real time, and clips made by ffmpeg.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/player_state.h"

namespace mivora::test {

// Makes (once per process) an AVI with ffmpeg: MPEG-4 video (tagged DIVX unless extra says
// otherwise) from the lavfi source video at 25 fps, and a tone at rate (none when rate is 0)
// coded by audioCodec, seconds long. Returns its path; empty when ffmpeg failed.
std::string MakeClip(const std::string& name, const std::string& video, int seconds, int rate,
                     const std::string& extra = "", const std::string& audioCodec = "libmp3lame");
// The bundled sample.
std::string SamplePath();
std::string TempPath(const std::string& name);

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Loads path as the shell's open command would; autoStart 0 opens it paused.
  void Open(const std::string& path, bool autoStart = true);
  // Waits (real time) until done() holds; false when it did not within timeoutMs.
  static bool WaitFor(const std::function<bool()>& done, int timeoutMs = 20000);
  // Waits until the current item has ended at its end of stream (the next item then loads).
  bool WaitForNaturalEnd(int timeoutMs = 30000);

  static std::atomic<int> framesShown;
  // Frames the last run dropped or skipped to keep time (a slowed build drops more).
  static std::atomic<int> lastRunDropped;
  static std::atomic<int> runsEnded;
  static std::atomic<int> naturalEnds;
  static std::atomic<bool> exitAtEnd;
};

}  // namespace mivora::test
