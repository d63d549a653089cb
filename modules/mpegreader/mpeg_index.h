// What one pass over the file learns: every picture in display order with its key-frame flag and
// where its packet starts, and every audio packet with the audio bytes before it. Frame counts,
// key frames and seek targets come from here, not from estimates.
#pragma once

#include <cstdint>
#include <vector>

#include "modules/mpegreader/demuxer.h"

struct AVFormatContext;

namespace mivora::mpeg {

inline constexpr std::int64_t kNoTime = INT64_MIN;

// A packet as a seek finds it again. Times after a byte seek are not those of a read from the
// start, and the first packet may carry the tail of the one before; its last bytes and its size
// are what stay the same.
struct PacketMark {
  std::int64_t seekPos = -1;  // a file position at or before the packet, -1 unknown
  std::uint64_t tail = 0;     // TailHash of the packet
  std::int32_t size = 0;
};

// A hash of the last bytes of a packet.
std::uint64_t TailHash(const std::uint8_t* data, std::int32_t size);
// The packet read after a seek is the marked one (perhaps with bytes of the one before it).
bool IsMarked(const PacketMark& mark, const std::uint8_t* data, std::int32_t size);

struct VideoEntry {
  std::int64_t time = kNoTime;  // display time, in the video stream's time base
  PacketMark mark;
  bool key = false;
};

struct AudioEntry {
  std::int64_t pts = kNoTime;  // in the audio stream's time base
  PacketMark mark;
  std::int64_t start = 0;  // audio bytes in all earlier packets
};

struct Rational {
  int num = 0;
  int den = 1;
};

struct MpegIndex {
  std::vector<VideoEntry> video;  // display order
  std::vector<AudioEntry> audio;  // stream order
  std::int64_t audioBytes = 0;
  Rational videoTimeBase;
  Rational audioTimeBase;

  // Reads every packet of the chosen streams (the format is left at its end).
  void Build(AVFormatContext* format, const StreamChoice& choice);
  void Clear() { *this = MpegIndex{}; }

  // The first key frame at or after frame, else the last one before it, else frame itself
  // (clamped to the pictures there are); -1 without pictures.
  int KeyFrameFrom(int frame) const;
  bool IsKey(int frame) const;
  // The audio packet playing at the picture's time: the last one that starts at or before it
  // (the first one for pictures before all audio). By share of the audio when the times are
  // unknown. audio.size() when there is no audio.
  std::size_t AudioForFrame(int frame) const;
  // The audio packet that holds byte; audio.size() when byte is at or past the end.
  std::size_t AudioAtByte(std::int64_t byte) const;
};

}  // namespace mivora::mpeg
