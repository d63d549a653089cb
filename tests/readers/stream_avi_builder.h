// AVI files for the streaming reader's tests: header lists with the sizes and rates it reads
// (audio of one byte per sample, so the header's length is the audio's byte count), "movi" data
// without an index, OpenDML parts and frames that say whether they are key frames.
#pragma once

#include <string>
#include <vector>

#include "tests/input/avi_builder.h"

namespace mivora::test {

// An MPEG-4 frame of size bytes (at least 5): a picture start code, then the coding type.
inline Bytes Mpeg4Frame(bool key, std::size_t size, std::uint32_t seed) {
  Bytes b = Pattern(seed, 0, size);
  const std::uint8_t start[5] = {0, 0, 1, 0xB6, std::uint8_t(key ? 0x00 : 0x40)};
  for (std::size_t i = 0; i < 5 && i < size; ++i) b[i] = start[i];
  return b;
}

struct StreamAvi {
  std::uint32_t frames = 0;      // the video header's count
  std::uint32_t audioBytes = 0;  // 0: no audio stream
  std::uint32_t dmlhFrames = 0;  // 0: no OpenDML header
  std::uint32_t suggested = 0;
  std::int32_t width = 64, height = 48;
  Bytes movi;                    // chunks of the first part
  std::vector<Bytes> moreParts;  // chunks of each "RIFF AVIX" part

  Bytes Build() const {
    Bytes hdrl;
    Bytes avih(56, 0);
    PutChunk(hdrl, "avih", avih);
    Bytes strh;
    PutId(strh, "vids");
    PutId(strh, "DIVX");
    strh.insert(strh.end(), 12, 0);
    PutU32(strh, 1);   // scale
    PutU32(strh, 25);  // rate
    PutU32(strh, 0);
    PutU32(strh, frames);
    PutU32(strh, suggested);
    strh.insert(strh.end(), 16, 0);
    Bytes strf;
    PutU32(strf, 40);
    PutU32(strf, std::uint32_t(width));
    PutU32(strf, std::uint32_t(height));
    strf.insert(strf.end(), 28, 0);
    Bytes strl;
    PutChunk(strl, "strh", strh);
    PutChunk(strl, "strf", strf);
    PutList(hdrl, "strl", strl);
    if (audioBytes > 0) {
      Bytes a;
      PutId(a, "auds");
      a.insert(a.end(), 16, 0);
      PutU32(a, 1);      // scale
      PutU32(a, 16000);  // rate: bytes a second
      PutU32(a, 0);
      PutU32(a, audioBytes);
      PutU32(a, 0);
      PutU32(a, 0);
      PutU32(a, 1);  // sample size
      a.insert(a.end(), 8, 0);
      Bytes f;
      PutU16(f, 85);
      PutU16(f, 2);
      PutU32(f, 44100);
      PutU32(f, 16000);
      f.insert(f.end(), 6, 0);
      Bytes al;
      PutChunk(al, "strh", a);
      PutChunk(al, "strf", f);
      PutList(hdrl, "strl", al);
    }
    if (dmlhFrames > 0) {
      Bytes dmlh;
      PutU32(dmlh, dmlhFrames);
      dmlh.insert(dmlh.end(), 244, 0);
      Bytes odml;
      PutChunk(odml, "dmlh", dmlh);
      PutList(hdrl, "odml", odml);
    }
    Bytes body;
    PutId(body, "AVI ");
    PutList(body, "hdrl", hdrl);
    PutChunk(body, "JUNK", Bytes(30, 0));
    PutList(body, "movi", movi);
    Bytes file;
    PutChunk(file, "RIFF", body);
    for (const Bytes& part : moreParts) {
      Bytes more;
      PutId(more, "AVIX");
      PutList(more, "movi", part);
      PutChunk(file, "RIFF", more);
    }
    return file;
  }
};

}  // namespace mivora::test
