#include "modules/mpegreader/audio_reader.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
}

#include "modules/mpegreader/demuxer.h"

namespace mivora::mpeg {

namespace {
// A seek whose packet is not found within this many goes on from where it is.
constexpr int kMaxPacketsToTarget = 400;
}  // namespace

bool AudioReader::Open(const std::string& path, int stream) {
  Close();
  format_ = OpenFormat(path);
  packet_ = av_packet_alloc();
  if (format_ == nullptr || packet_ == nullptr || stream < 0 ||
      unsigned(stream) >= format_->nb_streams) {
    Close();
    return false;
  }
  stream_ = stream;
  KeepOnly(format_, stream);
  return true;
}

void AudioReader::Close() {
  av_packet_free(&packet_);
  CloseFormat(format_);
  pending_.clear();
  offset_ = 0;
  ended_ = false;
  stream_ = -1;
  seeking_ = false;
}

bool AudioReader::NextPacket() {
  if (ended_ || format_ == nullptr) return false;
  while (av_read_frame(format_, packet_) >= 0) {
    bool keep = packet_->stream_index == stream_ && packet_->size > 0;
    std::int32_t from = 0;
    if (keep && seeking_) {
      if (IsMarked(target_, packet_->data, packet_->size)) {
        // Bytes of the packet before it, read along from the middle of their PES packet.
        from = packet_->size - target_.size;
        seeking_ = false;
      } else if (++skippedPackets_ < kMaxPacketsToTarget) {
        keep = false;
      } else {
        seeking_ = false;  // not found: the audio goes on from here rather than not at all
      }
    }
    if (keep) {
      pending_.assign(packet_->data + from, packet_->data + packet_->size);
      offset_ = 0;
      av_packet_unref(packet_);
      return true;
    }
    av_packet_unref(packet_);
  }
  ended_ = true;
  return false;
}

std::int32_t AudioReader::Read(std::uint8_t* buffer, std::int32_t count) {
  if (buffer == nullptr || count < 1) return 0;
  std::int32_t delivered = 0;
  while (delivered < count) {
    if (offset_ >= pending_.size() && !NextPacket()) break;
    const std::size_t n =
        std::min(pending_.size() - offset_, static_cast<std::size_t>(count - delivered));
    std::memcpy(buffer + delivered, pending_.data() + offset_, n);
    offset_ += n;
    delivered += static_cast<std::int32_t>(n);
  }
  return delivered;
}

void AudioReader::SeekTo(const AudioEntry& entry) {
  if (format_ == nullptr) return;
  pending_.clear();
  offset_ = 0;
  ended_ = false;
  bool sought = false;
  if (entry.mark.seekPos >= 0) {
    sought = av_seek_frame(format_, -1, entry.mark.seekPos, AVSEEK_FLAG_BYTE) >= 0;
  }
  if (!sought) av_seek_frame(format_, -1, 0, AVSEEK_FLAG_BYTE);
  seeking_ = true;
  skippedPackets_ = 0;
  target_ = entry.mark;
}

void AudioReader::SeekToEnd() {
  pending_.clear();
  offset_ = 0;
  ended_ = true;
}

}  // namespace mivora::mpeg
