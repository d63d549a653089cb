// The video stream of an MPEG file, decoded here: each Next gives the following picture in
// display order. Owns its own demuxer, so the audio's reads never wait on it.
#pragma once

#include <cstdint>
#include <string>

#include "decoder/decoded_frame.h"
#include "modules/LibavCommon/picture_pair.h"
#include "modules/mpegreader/mpeg_index.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;

namespace mivora::mpeg {

class VideoReader {
 public:
  VideoReader() = default;
  VideoReader(const VideoReader&) = delete;
  VideoReader& operator=(const VideoReader&) = delete;
  ~VideoReader() { Close(); }

  // Pictures are described at width x height whatever size the stream later changes to.
  bool Open(const std::string& path, int stream, int width, int height);
  void Close();
  // Describes the next picture and the one before it; false at the end of the stream.
  bool Next(DecodedFrame* out);
  // The next picture is the key frame entry describes (pictures the decoder gives before it are
  // left out).
  void SeekTo(const VideoEntry& entry);

 private:
  bool Feed();

  AVFormatContext* format_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  libav::PicturePair pictures_;
  int stream_ = -1;
  bool draining_ = false;
  // After a seek: packets before the key frame's are dropped, then the pictures the decoder
  // gives before it (B pictures of an open group that precede it on screen).
  bool waitForKey_ = false;
  int skippedPackets_ = 0;
  PacketMark key_;
  int leadingPictures_ = 0;
};

}  // namespace mivora::mpeg
