// Fuzzes the streaming AVI reader over an input in memory: the first byte chooses a seekable
// source or one that reads only front to back; the rest is the file. It is opened, read
// (frames and audio in turns), seeked, read again and closed. The frame buffer has exactly the
// size the reader asked for, so any write past it is caught.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "input/media_source.h"
#include "modules/ReaderCommon/memory_input.h"
#include "modules/avistream/stream_source.h"

namespace {

void ReadSome(mivora::MediaSource& source, std::vector<std::uint8_t>& frame) {
  std::uint8_t audio[2048];
  for (int i = 0; i < 3000; ++i) {
    const std::int32_t v = source.ReadVideoFrame(frame.data(), i & 1);
    const std::int32_t a = (i % 3 == 0) ? source.ReadAudio(audio, sizeof audio) : 1;
    if (v == 0 && a == 0) break;
  }
  for (int i = 0; i < 3000 && source.ReadAudio(audio, sizeof audio) > 0; ++i) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  mivora::reader::SetMemoryInput(data + 1, size - 1, (data[0] & 1) != 0);
  mivora::MediaSource source;
  mivora::avistream::FillTable(&source);
  mivora::MediaInfo* info = nullptr;
  if (mivora::avistream::OpenWithInput(mivora::reader::MemoryInput(), u"fuzz.avi", 0, &info) &&
      info != nullptr) {
    std::vector<std::uint8_t> frame(std::size_t(std::max(48000, info->largestFrameBytes)));
    ReadSome(source, frame);
    for (int percent : {50, 0, 100, 37}) {
      source.SeekPercent(percent);
      source.SyncAudioToVideo();
      source.GetPositionPercent();
      source.IsKeyFrame(info->currentFrame);
      ReadSome(source, frame);
    }
  }
  source.Close();
  return 0;
}
