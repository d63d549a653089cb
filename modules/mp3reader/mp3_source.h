// The MP3 file reader behind "mp3reader.dll": audio only, delivered from the first frame to the
// last, without the tags around it. It describes itself as the player requires of a source
// without video: fourcc "divx", audioFormatTag 85, frameCount 0.
#pragma once

#include <cstdint>

#include "input/media_source.h"
#include "modules/ReaderCommon/input_io.h"

namespace mivora::mp3 {

void FillTable(mivora::MediaSource* table);

// Open over an input that is already loaded (tests and fuzzers pass one over memory).
std::int32_t OpenWithInput(const reader::InputIo& io, const char16_t* path,
                           std::int32_t cacheParameter, mivora::MediaInfo** info);

// What the open source's headers give (0 while nothing is open): the playing time in seconds,
// from the Xing/Info or VBRI frame count when there is one, else from the bit rate; and where
// the audio lies in the file.
struct Mp3Layout {
  double durationSeconds = 0;
  std::int64_t audioStart = 0;
  std::int64_t audioEnd = 0;
  int sampleRate = 0;
  int channels = 0;
  bool vbrHeader = false;
  bool seekTable = false;
};
Mp3Layout GetLayout();

}  // namespace mivora::mp3
