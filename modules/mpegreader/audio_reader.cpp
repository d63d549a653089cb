#include "modules/mpegreader/audio_reader.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
}

#include "modules/mpegreader/demuxer.h"

namespace mivora::mpeg {

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
  dropBefore_ = kNoTime;
  seekPos_ = -1;
}

bool AudioReader::NextPacket() {
  if (ended_ || format_ == nullptr) return false;
  while (av_read_frame(format_, packet_) >= 0) {
    bool keep = packet_->stream_index == stream_ && packet_->size > 0;
    if (keep && (dropBefore_ != kNoTime || seekPos_ >= 0)) {
      const bool early = packet_->pts != AV_NOPTS_VALUE
                             ? dropBefore_ != kNoTime && packet_->pts < dropBefore_
                             : packet_->pos >= 0 && packet_->pos < seekPos_;
      if (early) {
        keep = false;
      } else {
        dropBefore_ = kNoTime;
        seekPos_ = -1;
      }
    }
    if (keep) {
      pending_.assign(packet_->data, packet_->data + packet_->size);
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
  if (entry.pos >= 0) sought = av_seek_frame(format_, -1, entry.pos, AVSEEK_FLAG_BYTE) >= 0;
  if (!sought && entry.pts != kNoTime) {
    sought = av_seek_frame(format_, stream_, entry.pts, AVSEEK_FLAG_BACKWARD) >= 0;
  }
  dropBefore_ = entry.pts;
  seekPos_ = sought ? entry.pos : -1;
}

void AudioReader::SeekToEnd() {
  pending_.clear();
  offset_ = 0;
  ended_ = true;
}

}  // namespace mivora::mpeg
