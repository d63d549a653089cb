// The MPEG audio elementary stream of an MPEG file, its packets' bytes end to end, as the audio
// decoder module reads them. Owns its own demuxer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "modules/mpegreader/mpeg_index.h"

struct AVFormatContext;
struct AVPacket;

namespace mivora::mpeg {

class AudioReader {
 public:
  AudioReader() = default;
  AudioReader(const AudioReader&) = delete;
  AudioReader& operator=(const AudioReader&) = delete;
  ~AudioReader() { Close(); }

  bool Open(const std::string& path, int stream);
  void Close();
  // Up to count bytes into buffer; fewer at the end, 0 once nothing is left.
  std::int32_t Read(std::uint8_t* buffer, std::int32_t count);
  // The next byte read is the first of the packet entry describes.
  void SeekTo(const AudioEntry& entry);
  // Nothing more is read until the next seek.
  void SeekToEnd();

 private:
  bool NextPacket();

  AVFormatContext* format_ = nullptr;
  AVPacket* packet_ = nullptr;
  int stream_ = -1;
  std::vector<std::uint8_t> pending_;
  std::size_t offset_ = 0;
  bool ended_ = false;
  // After a seek: packets before the marked one are dropped.
  bool seeking_ = false;
  int skippedPackets_ = 0;
  PacketMark target_;
};

}  // namespace mivora::mpeg
