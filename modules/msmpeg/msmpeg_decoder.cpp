#include "modules/msmpeg/msmpeg_decoder.h"

#include "modules/LibavCommon/quiet_log.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
}

namespace mivora::msmpeg {

namespace {
// The same bounds as the built-in decoder's: they keep allocations sane.
constexpr int kMinDimension = 16;
constexpr int kMaxDimension = 4096;
}  // namespace

MsmpegDecoder& TheDecoder() {
  static MsmpegDecoder decoder;
  return decoder;
}

MsmpegDecoder::~MsmpegDecoder() {
  Close();
}

bool MsmpegDecoder::Open(int width, int height) {
  Close();
  if (width < kMinDimension || height < kMinDimension || width > kMaxDimension ||
      height > kMaxDimension) {
    return false;
  }
  libav::QuietLog();
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MSMPEG4V3);
  if (codec == nullptr) return false;
  context_ = avcodec_alloc_context3(codec);
  packet_ = av_packet_alloc();
  frame_ = av_frame_alloc();
  if (context_ == nullptr || packet_ == nullptr || frame_ == nullptr) {
    Close();
    return false;
  }
  // The stream carries no picture size; the container's is the only one.
  context_->width = width;
  context_->height = height;
  context_->coded_width = width;
  context_->coded_height = height;
  // One thread: each frame's picture comes out of its own call, not frames later.
  context_->thread_count = 1;
  if (avcodec_open2(context_, codec, nullptr) < 0) {
    Close();
    return false;
  }
  pictures_.SetSize(width, height);
  return true;
}

void MsmpegDecoder::Close() {
  avcodec_free_context(&context_);
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  pictures_.Clear();
  padded_.clear();
  padded_.shrink_to_fit();
}

DecodeStatus MsmpegDecoder::Decode(const std::uint8_t* data, std::int32_t length,
                                   DecodedFrame* out) {
  if (!IsOpen()) {
    if (out != nullptr) *out = DecodedFrame{};
    return DecodeStatus::NotInitialised;
  }
  // An empty chunk repeats the picture: that is how AVI files hold a frame still.
  if (data == nullptr || length <= 0) {
    pictures_.DescribeRepeat(out);
    return DecodeStatus::NotCoded;
  }
  const std::size_t size = static_cast<std::size_t>(length);
  padded_.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
  std::memcpy(padded_.data(), data, size);
  std::memset(padded_.data() + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  packet_->data = padded_.data();
  packet_->size = length;
  const int sent = avcodec_send_packet(context_, packet_);
  packet_->data = nullptr;
  packet_->size = 0;
  bool fresh = false;
  bool damaged = sent < 0;
  // Every picture the packet gave is taken, so none is left for a later frame. A concealed
  // picture is still the best there is, so it is shown too.
  while (sent >= 0 && avcodec_receive_frame(context_, frame_) == 0) {
    if (frame_->decode_error_flags != 0 || (frame_->flags & AV_FRAME_FLAG_CORRUPT) != 0) {
      damaged = true;
    }
    if (pictures_.Accept(frame_)) fresh = true;
  }
  av_frame_unref(frame_);
  if (!fresh) {
    pictures_.DescribeRepeat(out);
    return pictures_.HasPicture() ? DecodeStatus::Damaged : DecodeStatus::NoPicture;
  }
  pictures_.Describe(out);
  return damaged ? DecodeStatus::Damaged : DecodeStatus::Ok;
}

}  // namespace mivora::msmpeg
