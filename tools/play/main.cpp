// mivora-play: the player's whole path (options, loading step, threads, modules, converters,
// display memory) without a window. Plays an item, or every item of a playlist once, and prints
// a report.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "engine/audio_thread.h"
#include "engine/controls.h"
#include "engine/player_state.h"
#include "engine/shell_hooks.h"
#include "input/avi_reader.h"
#include "input/open_item.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/presentation.h"
#include "platform/sync.h"
#include "platform/wave_out.h"
#include "platform/wide_string.h"
#include "shell/display_size_option.h"
#include "shell/player_options.h"
#include "shell/playlist.h"
#include "tools/play/play_report.h"
#include "tools/play/play_script.h"

namespace {

using namespace mivora;

const char kUsage[] =
    "usage: mivora-play [options] PATH|URL|LIST.pdl\n"
    "  --no-audio            play the picture only\n"
    "  --rotate              turn the picture 90 degrees\n"
    "  --double              show the picture at twice its size\n"
    "  --brightness N        brightness added to every pixel (-1024..1024)\n"
    "  --clean-video         the Clean Video option\n"
    "  --cache-mode          read local files through the cached input module\n"
    "  --cache KIB           size of the input cache in KiB\n"
    "  --direct-read         read frames directly, without the reader thread\n"
    "  --shuffle             play a playlist in random order\n"
    "  --show-dropped        report dropped frames at the end of each run\n"
    "  --paused              open the item paused (as without the auto-play option)\n"
    "  --audio auto|sdl|null|wav:FILE   sound output (default auto)\n"
    "  --display none|raw:FILE|png:DIR  where shown frames go (default none)\n"
    "  --display-size handheld|fit|WxH  the display: the handheld's 640x240 (default), the\n"
    "                        picture's own size in the output mode, or W x H\n"
    "  --mpeg4-fourccs       play XVID, DX50, FMP4, MP4V... through the built-in decoder\n"
    "  --script \"T CONTROL; ...\"      controls at T seconds: pause, ff, seek P, stop,\n"
    "                        next, rotate, double, brighter, darker, audio, quit\n"
    "  --clock-speed X       run the player's clock X times faster than real time\n"
    "  --quiet               no progress line\n";

struct Run {
  play::PlayReport report;
  std::atomic<int> naturalEnds{0};
  std::atomic<int> itemsStarted{0};
  int itemsToPlay = 1;
  std::atomic<int> failedLoads{0};
};
Run& TheRun() {
  static Run run;
  return run;
}

void OnFrameShown(std::int32_t frameIndex) {
  Run& run = TheRun();
  const MediaInfo* info = State().info.load();
  const AudioClockBase base = CurrentAudioClockBase();
  if (AudioClockRunning() && base.sampleRate > 0 && info != nullptr && info->framesPerSecond > 0) {
    const double audioSeconds =
        base.startSeconds + double(AudioDevicePosition()) / double(base.sampleRate);
    const double frameSeconds = double(frameIndex) / info->framesPerSecond;
    run.report.FrameShown(true, (frameSeconds - audioSeconds) * 1000.0);
  } else {
    run.report.FrameShown(false, 0);
  }
}

void OnRunEnded(bool endOfStream) {
  Run& run = TheRun();
  if (endOfStream && run.naturalEnds.fetch_add(1) + 1 >= run.itemsToPlay) State().exiting = 1;
}

// Headless answers: a playlist whose items all fail to load is not offered for ever.
platform::MessageAnswer Answer(const platform::MessageBoxRecord& box) {
  std::cerr << platform::ToUtf8(box.caption) << ": " << platform::ToUtf8(box.text) << "\n";
  if (box.buttons != platform::MessageButtons::OkCancel) return platform::MessageAnswer::Ok;
  const int failed = TheRun().failedLoads.fetch_add(1) + 1;
  return failed < ThePlaylist().playlistCount ? platform::MessageAnswer::Ok
                                              : platform::MessageAnswer::Cancel;
}

bool Apply(const play::ScriptStep& step) {
  PlayerOptions& o = Options();
  switch (step.action) {
    case play::ScriptAction::Pause:
      PauseCommand();
      break;
    case play::ScriptAction::FastForward:
      FastForwardCommand();
      break;
    case play::ScriptAction::Seek:
      SeekToPercent(step.argument);
      break;
    case play::ScriptAction::Stop:
      StopPlayback();
      break;
    case play::ScriptAction::Next:
      NextItemCommand();
      break;
    case play::ScriptAction::Rotate:
      WriteOption(o.Rotate, std::uint8_t(ReadOption(o.Rotate) ? 0 : 1));
      RefreshPicture();
      break;
    case play::ScriptAction::DoubleSize:
      WriteOption(o.DoubleSize, std::uint8_t(ReadOption(o.DoubleSize) ? 0 : 1));
      RefreshPicture();
      break;
    case play::ScriptAction::BrightnessUp:
    case play::ScriptAction::BrightnessDown: {
      const int delta = step.action == play::ScriptAction::BrightnessUp ? 10 : -10;
      WriteOption(o.Brightness, ReadOption(o.Brightness) + delta);
      State().previousShown = 0;
      break;
    }
    case play::ScriptAction::Audio:
      // As the menu command: the choice holds from the next item or the next stop.
      WriteOption(o.Audio, std::uint8_t(ReadOption(o.Audio) ? 0 : 1));
      break;
    case play::ScriptAction::Quit:
      return false;
  }
  return true;
}

bool Flag(const char* arg, const char* name) {
  return std::strcmp(arg, name) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  PlayerOptions& o = Options();
  o.Audio = 1;
  o.AutoPlay = 1;
  std::string audio = "auto", display = "none", scriptText, path;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const bool more = i + 1 < argc;
    if (Flag(a, "--no-audio"))
      o.Audio = 0;
    else if (Flag(a, "--rotate"))
      o.Rotate = 1;
    else if (Flag(a, "--double"))
      o.DoubleSize = 1;
    else if (Flag(a, "--clean-video"))
      o.CleanVideo = 1;
    else if (Flag(a, "--cache-mode"))
      o.CacheMode = 1;
    else if (Flag(a, "--direct-read"))
      o.DirectRead = 1;
    else if (Flag(a, "--shuffle"))
      o.Shuffle = 1;
    else if (Flag(a, "--show-dropped"))
      o.ShowDroppedFrames = 1;
    else if (Flag(a, "--paused"))
      o.AutoPlay = 0;
    else if (Flag(a, "--quiet"))
      quiet = true;
    else if (Flag(a, "--brightness") && more)
      o.Brightness = std::atoi(argv[++i]);
    else if (Flag(a, "--cache") && more)
      o.CacheParam = std::atoi(argv[++i]);
    else if (Flag(a, "--audio") && more)
      audio = argv[++i];
    else if (Flag(a, "--display") && more)
      display = argv[++i];
    else if (Flag(a, "--script") && more)
      scriptText = argv[++i];
    else if (Flag(a, "--display-size") && more) {
      const auto size = ParseDisplaySize(argv[++i]);
      if (!size) {
        std::cerr << "mivora-play: --display-size takes handheld, fit or WxH\n";
        return 64;
      }
      SetDisplaySizeOption(o, *size);
    } else if (Flag(a, "--mpeg4-fourccs"))
      o.OtherMpeg4Video = 1;
    else if (Flag(a, "--clock-speed") && more)
      platform::SetClockSpeed(std::atof(argv[++i]));
    else if (Flag(a, "--help")) {
      std::cout << kUsage;
      return 0;
    } else if (a[0] == '-' && a[1] == '-') {
      std::cerr << "mivora-play: unknown option " << a << "\n" << kUsage;
      return 64;
    } else if (path.empty()) {
      path = a;
    } else {
      std::cerr << kUsage;
      return 64;
    }
  }
  if (path.empty()) {
    std::cerr << kUsage;
    return 64;
  }
  std::string error;
  const auto script = play::ParseScript(scriptText, error);
  if (!script) {
    std::cerr << "mivora-play: --script: " << error << "\n";
    return 64;
  }
  if (!platform::SelectWaveBackend(audio)) {
    std::cerr << "mivora-play: unknown audio output " << audio << "\n";
    return 64;
  }
  if (!platform::SelectPresentation(display)) {
    std::cerr << "mivora-play: cannot use display " << display << "\n";
    return 64;
  }
  SetAviReaderReopenWait(0);
  platform::SetMessageBoxHandler(&Answer);
  Hooks().FrameShown = &OnFrameShown;
  Hooks().RunEnded = &OnRunEnded;
  CreateNamedObjects();

  Run& run = TheRun();
  const std::u16string wide = platform::FromUtf8(path);
  if (wide.find(u".pdl") != std::u16string::npos) {
    if (!ReadPlaylistFile(wide)) {
      std::cerr << "Load Error: Failed to load file\n";
      return 1;
    }
    ChooseFirstItem();
    run.itemsToPlay = ThePlaylist().playlistCount > 0 ? ThePlaylist().playlistCount : 1;
  } else {
    SetCurrentPath(wide);
    State().isStream = IsStreamPath(wide) ? 1 : 0;
  }
  State().autoStart = o.AutoPlay;
  LoadCurrentItem(nullptr);

  const bool progress = !quiet && isatty(STDERR_FILENO);
  const std::uint32_t start = platform::GetTickCount();
  std::size_t next = 0;
  bool quit = false;
  std::uint32_t lastProgress = 0;
  for (;;) {
    const double now = double(platform::GetTickCount() - start) / 1000.0;
    while (!quit && next < script->size() && (*script)[next].seconds <= now) {
      quit = !Apply((*script)[next++]);
    }
    if (PresentationRunning()) run.itemsStarted = 1;
    const bool running = EngineThreadsRunning();
    if (quit || !running) break;
    // After the last control a paused item is resumed, so that the run can reach its end.
    // As the pause command does: never while the next item is being loaded.
    if (next >= script->size() && State().paused.load() && !State().fastForward.load()) {
      PauseCommand();
    }
    if (progress && platform::GetTickCount() - lastProgress >= 500) {
      lastProgress = platform::GetTickCount();
      std::fprintf(stderr, "\r%3d%%  shown %llu  dropped %llu   ", PositionPercent(),
                   static_cast<unsigned long long>(run.report.FramesShown()),
                   static_cast<unsigned long long>(State().framesDecodedUnshown.load()));
    }
    platform::Sleep(10);
  }
  if (progress) std::fprintf(stderr, "\n");
  EndPlayback();
  UnloadItem();
  platform::ClosePresentation();

  std::vector<std::string> messages;
  bool loadFailed = false;
  for (const auto& box : platform::MessageBoxLog()) {
    messages.push_back(platform::ToUtf8(box.caption) + ": " + platform::ToUtf8(box.text));
    if (box.text == u"Failed to load file") loadFailed = true;
  }
  run.report.Print(std::cout, messages);
  if (run.itemsStarted.load() == 0) return loadFailed ? 1 : 2;
  return 0;
}
