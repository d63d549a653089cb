#include "modules/mpegreader/video_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace mivora::mpeg {

namespace {
// A seek whose key frame is not found within this many packets decodes from where it is: a
// damaged flag must not cost the rest of the file.
constexpr int kMaxPacketsToKey = 300;
// Errors in a row without a picture before the stream counts as ended.
constexpr int kMaxErrorsInRow = 64;
// At most this many pictures come out of the decoder ahead of a key frame fed after a seek.
constexpr int kMaxLeadingPictures = 16;
}  // namespace

bool VideoReader::Open(const std::string& path, int stream, int width, int height) {
  Close();
  format_ = OpenFormat(path);
  if (format_ == nullptr || stream < 0 || unsigned(stream) >= format_->nb_streams) {
    Close();
    return false;
  }
  stream_ = stream;
  KeepOnly(format_, stream);
  const AVCodecParameters* parameters = format_->streams[stream]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
  codec_ = codec ? avcodec_alloc_context3(codec) : nullptr;
  packet_ = av_packet_alloc();
  frame_ = av_frame_alloc();
  if (codec_ == nullptr || packet_ == nullptr || frame_ == nullptr ||
      avcodec_parameters_to_context(codec_, parameters) < 0) {
    Close();
    return false;
  }
  // One thread: no frame delay beyond the stream's own reordering, and the order is exact.
  codec_->thread_count = 1;
  if (avcodec_open2(codec_, codec, nullptr) < 0) {
    Close();
    return false;
  }
  pictures_.SetSize(width, height);
  return true;
}

void VideoReader::Close() {
  avcodec_free_context(&codec_);
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  CloseFormat(format_);
  pictures_.Clear();
  stream_ = -1;
  draining_ = waitForKey_ = false;
  key_ = PacketMark{};
  leadingPictures_ = 0;
}

bool VideoReader::Feed() {
  if (draining_ || format_ == nullptr) return false;
  for (;;) {
    if (av_read_frame(format_, packet_) < 0) {
      // The end: the decoder gives up the pictures it still holds.
      draining_ = true;
      avcodec_send_packet(codec_, nullptr);
      return true;
    }
    if (packet_->stream_index != stream_) {
      av_packet_unref(packet_);
      continue;
    }
    if (waitForKey_) {
      const bool found =
          (packet_->flags & AV_PKT_FLAG_KEY) != 0 && IsMarked(key_, packet_->data, packet_->size);
      if (!found && ++skippedPackets_ < kMaxPacketsToKey) {
        av_packet_unref(packet_);
        continue;
      }
      waitForKey_ = false;
    }
    // A damaged packet is refused here and costs only its own picture.
    avcodec_send_packet(codec_, packet_);
    av_packet_unref(packet_);
    return true;
  }
}

bool VideoReader::Next(DecodedFrame* out) {
  if (codec_ == nullptr) return false;
  int errors = 0;
  for (;;) {
    const int r = avcodec_receive_frame(codec_, frame_);
    if (r == 0) {
      if (leadingPictures_ > 0) {
        const bool intra = frame_->key_frame != 0 || frame_->pict_type == AV_PICTURE_TYPE_I;
        if (!intra) {
          --leadingPictures_;
          av_frame_unref(frame_);
          continue;
        }
        leadingPictures_ = 0;
      }
      if (!pictures_.Accept(frame_)) {
        if (++errors > kMaxErrorsInRow) return false;
        continue;
      }
      pictures_.Describe(out);
      return true;
    }
    if (r == AVERROR_EOF) return false;
    if (r == AVERROR(EAGAIN)) {
      if (!Feed()) return false;
      continue;
    }
    if (++errors > kMaxErrorsInRow) return false;
  }
}

void VideoReader::SeekTo(const VideoEntry& entry) {
  if (format_ == nullptr || codec_ == nullptr) return;
  bool sought = false;
  if (entry.mark.seekPos >= 0) {
    sought = av_seek_frame(format_, -1, entry.mark.seekPos, AVSEEK_FLAG_BYTE) >= 0;
  }
  if (!sought) av_seek_frame(format_, -1, 0, AVSEEK_FLAG_BYTE);
  avcodec_flush_buffers(codec_);
  draining_ = false;
  waitForKey_ = entry.key;
  skippedPackets_ = 0;
  key_ = entry.mark;
  leadingPictures_ = entry.key ? kMaxLeadingPictures : 0;
}

}  // namespace mivora::mpeg
