// Fuzzes the MP3 reader over an input in memory: the first byte chooses a seekable source or
// one that reads only front to back; the rest is the file. It is opened, read to the end,
// seeked and read again, and closed.
#include <cstdint>
#include <initializer_list>

#include "input/media_source.h"
#include "modules/ReaderCommon/memory_input.h"
#include "modules/mp3reader/mp3_source.h"

namespace {

void ReadAll(mivora::MediaSource& source) {
  std::uint8_t audio[8191];
  for (int i = 0; i < 4096 && source.ReadAudio(audio, sizeof audio) > 0; ++i) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  mivora::reader::SetMemoryInput(data + 1, size - 1, (data[0] & 1) != 0);
  mivora::MediaSource source;
  mivora::mp3::FillTable(&source);
  mivora::MediaInfo* info = nullptr;
  if (mivora::mp3::OpenWithInput(mivora::reader::MemoryInput(), u"fuzz.mp3", 0, &info) &&
      info != nullptr) {
    ReadAll(source);
    for (int percent : {50, 0, 99, 100, 13}) {
      source.SeekPercent(percent);
      source.GetPositionPercent();
      source.SyncAudioToVideo();
      ReadAll(source);
    }
  }
  source.Close();
  return 0;
}
