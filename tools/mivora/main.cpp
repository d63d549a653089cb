// mivora: the player as a desktop program.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/wave_out.h"
#include "platform/wide_string.h"
#include "shell/shell_window.h"
#include "tools/mivora/shell_script.h"

namespace {

const char kUsage[] =
    "usage: mivora [--autoexit] [--help] [--version] [PATH|URL|LIST.pdl]\n"
    "  --autoexit            quit when the last item has ended\n"
    "  --audio auto|sdl|null|wav:FILE   sound output (default auto)\n"
    "  --display-size handheld|fit|WxH  the display: the handheld's 640x240, the picture's\n"
    "                        own size in the output mode, or W x H (this run only)\n"
    "  --mpeg4-fourccs       play XVID, DX50, FMP4, MP4V... through the built-in decoder\n"
    "  --clock-speed X       run the player's clock X times faster (tests)\n"
    "  --script \"STEP; ...\"  drive the window: key NAME, click X Y, command ID, drop PATH,\n"
    "                        wait playing|paused|idle|frames N|status TEXT, sleep S,\n"
    "                        screenshot FILE.png, print\n";

}  // namespace

int main(int argc, char** argv) {
  std::string path, audio = "auto", script;
  bool autoExit = false;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const bool more = i + 1 < argc;
    if (std::strcmp(a, "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (std::strcmp(a, "--version") == 0) {
      std::printf("Mivora %s\n", MIVORA_VERSION);
      return 0;
    } else if (std::strcmp(a, "--autoexit") == 0) {
      autoExit = true;
    } else if (std::strcmp(a, "--audio") == 0 && more) {
      audio = argv[++i];
    } else if (std::strcmp(a, "--display-size") == 0 && more) {
      const auto size = mivora::ParseDisplaySize(argv[++i]);
      if (!size) {
        std::fprintf(stderr, "mivora: --display-size takes handheld, fit or WxH\n");
        return 64;
      }
      mivora::Shell().displaySize = *size;
    } else if (std::strcmp(a, "--mpeg4-fourccs") == 0) {
      mivora::Shell().otherMpeg4Video = true;
    } else if (std::strcmp(a, "--clock-speed") == 0 && more) {
      mivora::platform::SetClockSpeed(std::atof(argv[++i]));
    } else if (std::strcmp(a, "--script") == 0 && more) {
      script = argv[++i];
    } else if (a[0] == '-' && a[1] == '-') {
      std::fprintf(stderr, "mivora: unknown option %s\n%s", a, kUsage);
      return 64;
    } else if (path.empty()) {
      path = a;
    } else {
      std::fputs(kUsage, stderr);
      return 64;
    }
  }
  if (!mivora::platform::SelectWaveBackend(audio)) {
    std::fprintf(stderr, "mivora: unknown audio output %s\n", audio.c_str());
    return 64;
  }
  std::string error;
  if (!script.empty() && !mivora::shell_script::StartScript(script, error)) {
    std::fprintf(stderr, "mivora: --script: %s\n", error.c_str());
    return 64;
  }
  mivora::Shell().autoExit = autoExit;
  const int code = mivora::PlayerMain(nullptr, mivora::platform::FromUtf8(path), 1);
  const bool scriptOk = mivora::shell_script::FinishScript();
  return scriptOk ? code : 3;
}
