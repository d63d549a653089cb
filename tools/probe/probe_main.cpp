// mivora-probe: opens a file or http:// address through the built-in AVI reader and prints the
// source's description, one name=value line per field.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "input/avi_reader.h"
#include "platform/wide_string.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: mivora-probe [--mode N] [--cache N] PATH-or-URL\n"
               "  --mode N   input mode handed to Open (default: 1 for http(s):// paths, else 0)\n"
               "  --cache N  cache parameter handed to Open (default 0)\n");
  return 2;
}

bool ParseInt(const char* text, int& value) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != 0 || v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int mode = -1;
  int cache = 0;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--mode" || arg == "--cache") && i + 1 < argc) {
      if (!ParseInt(argv[++i], arg == "--mode" ? mode : cache)) return Usage();
    } else if (path == nullptr && !arg.empty() && arg[0] != '-') {
      path = argv[i];
    } else {
      return Usage();
    }
  }
  if (path == nullptr) return Usage();
  const bool network =
      std::strncmp(path, "http://", 7) == 0 || std::strncmp(path, "https://", 8) == 0;
  if (mode < 0) mode = network ? 1 : 0;

  // Probing reads headers only; the pause after reopening helps nothing here.
  if (std::getenv("MIVORA_AVI_REOPEN_WAIT_MS") == nullptr) mivora::SetAviReaderReopenWait(0);

  mivora::MediaSource source;
  mivora::InitializeAviReader(&source);
  const std::u16string widePath = mivora::platform::FromUtf8(path);
  mivora::MediaInfo* info = nullptr;
  if (source.Open(widePath.c_str(), mode, cache, &info) == 0 || info == nullptr) {
    source.Close();
    std::fprintf(stderr, "Failed to load file\n");
    return 1;
  }
  const mivora::AviReaderCounts counts = mivora::GetAviReaderCounts();
  std::printf("width=%d\n", info->width);
  std::printf("height=%d\n", info->height);
  std::printf("framesPerSecond=%.6f\n", info->framesPerSecond);
  std::printf("fourcc=%s\n", info->fourcc);
  std::printf("frameCount=%d\n", info->frameCount);
  std::printf("currentFrame=%d\n", info->currentFrame);
  std::printf("audioFormatTag=%d\n", info->audioFormatTag);
  std::printf("audioBytes=%d\n", info->audioBytes);
  std::printf("largeFrameBytes=%d\n", info->largeFrameBytes);
  std::printf("videoEntries=%d\n", counts.videoEntries);
  std::printf("keyFrames=%d\n", counts.keyFrames);
  std::printf("audioChunks=%d\n", counts.audioChunks);
  std::printf("largestFrameBytes=%d\n", counts.largestFrameBytes);
  source.Close();
  return 0;
}
