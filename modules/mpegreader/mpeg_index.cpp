#include "modules/mpegreader/mpeg_index.h"

#include <algorithm>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

namespace mivora::mpeg {

namespace {
std::int64_t TimeOf(std::int64_t pts) {
  return pts == AV_NOPTS_VALUE ? kNoTime : pts;
}
}  // namespace

void MpegIndex::Build(AVFormatContext* format, const StreamChoice& choice) {
  Clear();
  if (format == nullptr) return;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const int n = static_cast<int>(i);
    format->streams[i]->discard =
        (n == choice.video || n == choice.audio) ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  }
  if (choice.video >= 0) {
    const AVRational tb = format->streams[choice.video]->time_base;
    videoTimeBase = {tb.num, tb.den};
  }
  if (choice.audio >= 0) {
    const AVRational tb = format->streams[choice.audio]->time_base;
    audioTimeBase = {tb.num, tb.den};
  }
  AVPacket* packet = av_packet_alloc();
  if (packet == nullptr) return;
  bool allTimed = true;
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == choice.video && choice.video >= 0) {
      VideoEntry entry;
      entry.pts = TimeOf(packet->pts);
      entry.pos = packet->pos;
      entry.key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
      if (entry.pts == kNoTime) allTimed = false;
      video.push_back(entry);
    } else if (packet->stream_index == choice.audio && choice.audio >= 0 && packet->size > 0) {
      AudioEntry entry;
      entry.pts = TimeOf(packet->pts);
      entry.pos = packet->pos;
      entry.start = audioBytes;
      audioBytes += packet->size;
      audio.push_back(entry);
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  // Packets come in decoding order; pictures are shown, counted and sought in display order.
  // Without every time the decoding order is the best guess there is.
  if (allTimed) {
    std::stable_sort(video.begin(), video.end(),
                     [](const VideoEntry& a, const VideoEntry& b) { return a.pts < b.pts; });
  }
}

int MpegIndex::KeyFrameFrom(int frame) const {
  const int count = static_cast<int>(video.size());
  if (count == 0) return -1;
  frame = std::clamp(frame, 0, count - 1);
  for (int i = frame; i < count; ++i) {
    if (video[std::size_t(i)].key) return i;
  }
  // Past the last key frame: its group of pictures is the nearest one that can be decoded.
  for (int i = frame - 1; i >= 0; --i) {
    if (video[std::size_t(i)].key) return i;
  }
  return frame;
}

bool MpegIndex::IsKey(int frame) const {
  return frame >= 0 && std::size_t(frame) < video.size() && video[std::size_t(frame)].key;
}

std::size_t MpegIndex::AudioForFrame(int frame) const {
  if (audio.empty()) return 0;
  if (video.empty()) return 0;
  frame = std::clamp(frame, 0, static_cast<int>(video.size()) - 1);
  const std::int64_t t = video[std::size_t(frame)].pts;
  if (t == kNoTime || audio.front().pts == kNoTime || videoTimeBase.num <= 0 ||
      audioTimeBase.num <= 0) {
    return AudioAtByte(audioBytes * frame / std::int64_t(video.size()));
  }
  const std::int64_t at = av_rescale_q(t, AVRational{videoTimeBase.num, videoTimeBase.den},
                                       AVRational{audioTimeBase.num, audioTimeBase.den});
  // Times may be missing inside the stream too; those packets take their neighbours' place.
  std::size_t found = 0;
  for (std::size_t lo = 0, hi = audio.size(); lo < hi;) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (audio[mid].pts != kNoTime && audio[mid].pts > at) {
      hi = mid;
    } else {
      found = mid;
      lo = mid + 1;
    }
  }
  return found;
}

std::size_t MpegIndex::AudioAtByte(std::int64_t byte) const {
  if (byte < 0) byte = 0;
  if (byte >= audioBytes) return audio.size();
  const auto after =
      std::upper_bound(audio.begin(), audio.end(), byte,
                       [](std::int64_t b, const AudioEntry& entry) { return b < entry.start; });
  return after == audio.begin() ? 0 : std::size_t(after - audio.begin()) - 1;
}

}  // namespace mivora::mpeg
