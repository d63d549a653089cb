// Walks the "movi" data of an AVI front to back and hands out the chunks of the chosen video
// and audio streams. It steps into "LIST rec " groups and into the "RIFF AVIX" parts of OpenDML
// files, steps over "JUNK", index chunks and other streams, and finds its place again after
// damage. It keeps no state besides the stream's position, so a seek only moves the stream.
#pragma once

#include <cstdint>

#include "modules/ReaderCommon/byte_stream.h"

namespace mivora::avistream {

enum class ChunkKind { Video, Audio, End };

struct MediaChunk {
  ChunkKind kind = ChunkKind::End;
  std::int64_t position = 0;  // of the chunk header
  std::uint32_t size = 0;     // data bytes that follow (cut at the end of a truncated source)
  std::uint32_t padding = 0;  // 1 after an odd size
};

// A claimed chunk larger than this is damage, not a frame.
inline constexpr std::uint32_t kMaxChunkBytes = 64u << 20;
// How far a lost walk or a seek looks for its next chunk before giving up.
inline constexpr std::int64_t kSearchBytes = 16 << 20;

class MoviWalker {
 public:
  void Start(reader::ByteStream* stream, int videoStream, int audioStream, const char* fourcc);

  // The next chunk of either stream, with the stream at its first data byte. The caller reads
  // or skips size bytes, then calls Finish.
  MediaChunk Next();
  void Finish(const MediaChunk& chunk);

  // From the stream's position, the next video chunk that holds a key frame (or, with
  // audioOnly, the next audio chunk) whose neighbour also looks like a chunk; the stream is left
  // at its header. False when none lies within kSearchBytes.
  bool FindSeekPoint(bool audioOnly);

 private:
  bool IsOurs(const std::uint8_t* header, bool videoOnly, bool audioOnly) const;
  bool SizeFits(std::uint32_t size) const;
  // Steps forward to the next header that one of the streams or a movi/rec/AVIX group would
  // have; false when none lies within kSearchBytes.
  bool Resync();

  reader::ByteStream* stream_ = nullptr;
  int videoStream_ = -1;
  int audioStream_ = -1;
  char fourcc_[4] = {};
};

}  // namespace mivora::avistream
