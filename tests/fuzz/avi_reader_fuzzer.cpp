// Fuzzes the built-in AVI reader through its MediaSource table: the input becomes a file that is
// opened, read to the end (video and audio), seeked and read again, and closed.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "input/avi_reader.h"
#include "input/media_source.h"
#include "platform/wide_string.h"

namespace {

const std::string& TempPath() {
  static const std::string path = "/tmp/mivora_avi_fuzz_" + std::to_string(getpid()) + ".avi";
  return path;
}

void ReadAll(mivora::MediaSource& source, const mivora::MediaInfo& info,
             std::vector<std::uint8_t>& buffer) {
  for (long i = 0; i < std::int64_t{info.frameCount} + 2 && i < 4096; ++i)
    source.ReadVideoFrame(buffer.data(), i & 1);
  std::uint8_t audio[4096];
  for (int i = 0; i < 4096 && source.ReadAudio(audio, sizeof audio) > 0; ++i) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(TempPath().c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  mivora::MediaSource source;
  mivora::InitializeAviReader(&source);
  mivora::SetAviReaderReopenWait(0);
  // A small capacity so oversized frames are met too; the buffer has exactly that size.
  mivora::SetAviReaderFrameCapacity(64 * 1024);
  std::vector<std::uint8_t> buffer(64 * 1024);
  mivora::MediaInfo* info = nullptr;
  const std::u16string path = mivora::platform::FromUtf8(TempPath());
  if (source.Open(path.c_str(), 0, 0, &info) && info) {
    ReadAll(source, *info, buffer);
    for (int percent : {50, 0, 100, 37}) {
      source.SeekPercent(percent);
      source.SyncAudioToVideo();
      source.GetPositionPercent();
      source.ReadVideoFrame(buffer.data(), 0);
    }
    source.SeekPercent(0);
    ReadAll(source, *info, buffer);
    for (int i = -1; i <= info->frameCount && i < 4096; ++i) source.IsKeyFrame(i);
    source.Close();
  }
  std::remove(TempPath().c_str());
  return 0;
}
