// One DivX 3 decoder, opened for a picture size and fed one compressed frame at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "decoder/decoded_frame.h"
#include "decoder/decoder_status.h"
#include "modules/LibavCommon/picture_pair.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace mivora::msmpeg {

class MsmpegDecoder {
 public:
  ~MsmpegDecoder();
  // False when the size is out of range or libavcodec cannot open; the decoder is then closed.
  bool Open(int width, int height);
  void Close();
  bool IsOpen() const { return context_ != nullptr; }
  // Decodes length bytes at data and describes the newest picture and the one before it. A frame
  // without a picture (empty, damaged beyond use) describes the last picture again.
  DecodeStatus Decode(const std::uint8_t* data, std::int32_t length, DecodedFrame* out);

 private:
  AVCodecContext* context_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  libav::PicturePair pictures_;
  // libavcodec reads a little past the end of its input; the engine's buffers have no such room.
  std::vector<std::uint8_t> padded_;
};

MsmpegDecoder& TheDecoder();

}  // namespace mivora::msmpeg
