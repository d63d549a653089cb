// MPEG audio frame headers (MPEG-1, MPEG-2 and MPEG-2.5, layers I to III).
#pragma once

#include <cstdint>

namespace mivora::mp3 {

struct FrameHeader {
  int version = 0;  // 10 = MPEG-1, 20 = MPEG-2, 25 = MPEG-2.5
  int layer = 0;
  int bitRate = 0;  // bits per second
  int sampleRate = 0;
  int channels = 0;
  int frameBytes = 0;
  int samplesPerFrame = 0;
  bool crc = false;
};

// False for anything that is not a usable header: no sync, reserved values, free format.
bool ParseFrameHeader(const std::uint8_t* p, FrameHeader& out);

// Frames of one stream share version, layer and sample rate.
inline bool SameStream(const FrameHeader& a, const FrameHeader& b) {
  return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

}  // namespace mivora::mp3
