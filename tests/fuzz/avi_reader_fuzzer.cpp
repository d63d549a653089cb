// Fuzzes the built-in AVI reader through its MediaSource table: the input is read from memory
// (no input module is loaded, no file written), opened, read to the end (video and audio), seeked
// and read again, and closed.
#include <cstdint>
#include <vector>

#include "input/avi_reader.h"
#include "input/media_source.h"
#include "modules/ReaderCommon/memory_input.h"

namespace {

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
  static const bool once = [] {
    const mivora::reader::InputIo io = mivora::reader::MemoryInput();
    mivora::SetAviReaderInput(io.open, io.read, io.seek, io.close);
    mivora::SetAviReaderReopenWait(0);
    // A small capacity so oversized frames are met too; the buffer has exactly that size.
    mivora::SetAviReaderFrameCapacity(64 * 1024);
    return true;
  }();
  (void)once;
  mivora::reader::SetMemoryInput(data, size);

  mivora::MediaSource source;
  mivora::InitializeAviReader(&source);
  static std::vector<std::uint8_t> buffer(64 * 1024);
  mivora::MediaInfo* info = nullptr;
  if (source.Open(u"fuzz.avi", 0, 0, &info) && info) {
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
  }
  // A failed open may leave the input open; Close releases it either way.
  source.Close();
  return 0;
}
