// bench-readers: how fast a reader reads a whole source (every frame, then all the audio) and
// how much memory it holds meanwhile. "builtin" is the built-in AVI reader; any other name is a
// reader module ("avistream.dll", "mp3reader.dll") loaded beside this program.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "input/avi_reader.h"
#include "input/media_source.h"
#include "platform/module.h"
#include "platform/wide_string.h"

int main(int argc, char** argv) {
  using namespace mivora;
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench-readers builtin|MODULE.dll PATH [REPEATS]\n");
    return 64;
  }
  const std::string reader = argv[1];
  const std::u16string path = platform::FromUtf8(argv[2]);
  const int repeats = argc > 3 ? std::atoi(argv[3]) : 5;
  MediaSource source;
  if (reader == "builtin") {
    InitializeAviReader(&source);
    SetAviReaderReopenWait(0);
  } else {
    platform::ModuleHandle module = platform::LoadModule(platform::FromUtf8(reader));
    auto init = module ? platform::GetEntryPointAs<InitializeReaderFn>(module, u"InitializeReader")
                       : nullptr;
    if (init == nullptr) {
      std::fprintf(stderr, "bench-readers: cannot load %s\n", reader.c_str());
      return 1;
    }
    init(&source);
  }
  double best = 1e30;
  long long bytes = 0, frames = 0;
  for (int r = 0; r < repeats; ++r) {
    const auto start = std::chrono::steady_clock::now();
    MediaInfo* info = nullptr;
    if (source.Open(path.c_str(), 0, 8192, &info) == 0 || info == nullptr) {
      std::fprintf(stderr, "bench-readers: cannot open %s\n", argv[2]);
      return 1;
    }
    SetAviReaderFrameCapacity(info->largestFrameBytes);
    std::vector<std::uint8_t> buffer(std::size_t(std::max(48000, info->largestFrameBytes)));
    bytes = frames = 0;
    while (info->currentFrame < info->frameCount) {
      bytes += source.ReadVideoFrame(buffer.data(), 0);
      ++frames;
    }
    for (std::int32_t n; (n = source.ReadAudio(buffer.data(), 8192)) > 0;) bytes += n;
    source.Close();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seconds < best) best = seconds;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "reader=%s\nframes=%lld\nbytes=%lld\nbestSeconds=%.4f\nMBperSecond=%.1f\n"
      "peakMemoryKiB=%ld\n",
      reader.c_str(), frames, bytes, best, double(bytes) / best / 1e6, usage.ru_maxrss);
  return 0;
}
