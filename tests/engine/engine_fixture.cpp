#include "tests/engine/engine_fixture.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "engine/controls.h"
#include "engine/shell_hooks.h"
#include "input/avi_reader.h"
#include "input/open_item.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/wave_out.h"
#include "platform/wide_string.h"
#include "shell/player_options.h"
#include "shell/playlist.h"

namespace mivora::test {

std::atomic<int> EngineTest::framesShown{0};
std::atomic<int> EngineTest::lastRunDropped{0};
std::atomic<int> EngineTest::runsEnded{0};
std::atomic<int> EngineTest::naturalEnds{0};
std::atomic<bool> EngineTest::exitAtEnd{false};

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "mivora_engine_" + std::to_string(getpid()) + "_" + name;
}

std::string SamplePath() {
  return std::string(MIVORA_SOURCE_DIR) + "/samples/sample.avi";
}

std::string MakeClip(const std::string& name, const std::string& video, int seconds, int rate,
                     const std::string& extra, const std::string& audioCodec) {
  const std::string path = TempPath(name + ".avi");
  if (access(path.c_str(), R_OK) == 0) return path;
  std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i '" + video + ",fps=25' ";
  if (rate > 0) {
    command += "-f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(rate) + " ";
  }
  command += "-t " + std::to_string(seconds) + " -c:v mpeg4 -vtag DIVX -threads 1 -g 12 -q:v 4 " +
             extra + " ";
  if (rate > 0) command += "-c:a " + audioCodec + " ";
  command += "'" + path + "'";
  if (std::system(command.c_str()) != 0) return "";
  return path;
}

void EngineTest::SetUp() {
  platform::SetClockSpeed(4.0);
  ASSERT_TRUE(platform::SelectWaveBackend("null"));
  platform::SetWaveFormatFilter({});
  platform::RefuseAllWaveOpens(false);
  platform::SetHeadlessQuiet(true);
  platform::SetHeadlessAnswer(platform::MessageAnswer::Ok);
  platform::ClearMessageBoxLog();
  SetAviReaderReopenWait(0);
  Options() = PlayerOptions{};
  ClearPlaylist();
  CreateNamedObjects();
  framesShown = 0;
  lastRunDropped = 0;
  runsEnded = 0;
  naturalEnds = 0;
  exitAtEnd = false;
  State().exiting = 0;
  Hooks().FrameShown = [](std::int32_t) { framesShown.fetch_add(1); };
  Hooks().RunEnded = [](bool end) {
    lastRunDropped = static_cast<int>(State().droppedFrames.load());
    runsEnded.fetch_add(1);
    if (end) naturalEnds.fetch_add(1);
    if (end && exitAtEnd.load()) State().exiting = 1;
  };
}

void EngineTest::TearDown() {
  EndPlayback();
  UnloadItem();
  State().exiting = 0;
  SetCurrentPath(u"");
  Hooks() = ShellHooks{};
  platform::SetClockSpeed(1.0);
}

void EngineTest::Open(const std::string& path, bool autoStart) {
  SetCurrentPath(platform::FromUtf8(path));
  State().autoStart = autoStart ? 1 : 0;
  LoadCurrentItem(nullptr);
}

bool EngineTest::WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool EngineTest::WaitForNaturalEnd(int timeoutMs) {
  const int before = naturalEnds.load();
  return WaitFor([&] { return naturalEnds.load() > before; }, timeoutMs);
}

}  // namespace mivora::test
