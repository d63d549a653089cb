// MPEG-1/2/2.5 audio frame headers (layers I, II, III), the search for the first frame of a
// stream (ID3v2 tags and junk skipped) and the average bit rate of a Xing/Info or VBRI header.
#pragma once

#include <cstdint>

namespace mivora::audio {

struct FrameHeader {
  int version = 0;  // 1 = MPEG-1, 2 = MPEG-2, 25 = MPEG-2.5
  int layer = 0;    // 1, 2 or 3
  int bitRate = 0;  // bits per second of this frame
  int sampleRate = 0;
  int channels = 0;    // 1 or 2
  int frameBytes = 0;  // the whole frame, header included
  int samplesPerFrame = 0;
  bool crc = false;
};

// Parses the four header bytes at p. False for a reserved or free-format header.
bool ParseFrameHeader(const std::uint8_t* p, FrameHeader* header);

// Bytes taken by an ID3v2 tag (header, body and footer) starting at p, or 0 when p does not start
// one; length bounds what may be read.
std::int64_t Id3v2TagBytes(const std::uint8_t* p, std::int64_t length);

struct StreamStart {
  std::int64_t offset = 0;  // of the first frame header in the data
  FrameHeader header;
  int averageBitRate = 0;  // bits per second: Xing/Info or VBRI average, else the frame's
};

// The first frame whose successor (when it lies within the data) is a frame of the same version,
// layer and sample rate. False when there is none.
bool FindStreamStart(const std::uint8_t* data, std::int64_t length, StreamStart* start);

}  // namespace mivora::audio
