#include "modules/mpegreader/mpeg_index.h"

#include <algorithm>

#include "modules/mpegreader/picture_order.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

namespace mivora::mpeg {

namespace {
// Enough to tell packets apart; short enough to stay clear of a packet's first bytes.
constexpr std::int32_t kTailBytes = 256;

std::int64_t TimeOf(std::int64_t pts) {
  return pts == AV_NOPTS_VALUE ? kNoTime : pts;
}

PacketMark MarkOf(const AVPacket* packet, std::int64_t seekPos) {
  PacketMark mark;
  mark.seekPos = seekPos;
  mark.size = packet->size;
  mark.tail = TailHash(packet->data, packet->size);
  return mark;
}
}  // namespace

std::uint64_t TailHash(const std::uint8_t* data, std::int32_t size) {
  std::uint64_t hash = 14695981039346656037ull;
  if (data == nullptr || size <= 0) return hash;
  const std::int32_t from = size > kTailBytes ? size - kTailBytes : 0;
  for (std::int32_t i = from; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
  return hash;
}

bool IsMarked(const PacketMark& mark, const std::uint8_t* data, std::int32_t size) {
  return size >= mark.size && mark.size > 0 &&
         TailHash(data + (size - mark.size), mark.size) == mark.tail;
}

void MpegIndex::Build(AVFormatContext* format, const StreamChoice& choice) {
  Clear();
  if (format == nullptr) return;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const int n = static_cast<int>(i);
    format->streams[i]->discard =
        (n == choice.video || n == choice.audio) ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  }
  std::int64_t frameTicks = 0;
  bool mpegVideo = false;
  if (choice.video >= 0) {
    const AVStream* stream = format->streams[choice.video];
    videoTimeBase = {stream->time_base.num, stream->time_base.den};
    const AVRational rate =
        stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    if (rate.num > 0 && rate.den > 0 && stream->time_base.num > 0) {
      frameTicks = av_rescale_q(1, av_inv_q(rate), stream->time_base);
    }
    const AVCodecID id = stream->codecpar->codec_id;
    mpegVideo = id == AV_CODEC_ID_MPEG1VIDEO || id == AV_CODEC_ID_MPEG2VIDEO;
  }
  if (choice.audio >= 0) {
    const AVRational tb = format->streams[choice.audio]->time_base;
    audioTimeBase = {tb.num, tb.den};
  }
  AVPacket* packet = av_packet_alloc();
  if (packet == nullptr) return;
  // Packets in decoding order. Only packets where a PES packet begins know their position; the
  // last known one before a packet is where a seek to it starts reading.
  std::vector<VideoEntry> decoded;
  std::vector<std::int64_t> times;
  std::vector<bool> isB;
  std::int64_t videoPos = 0;
  std::vector<std::int64_t> audioPositions;
  bool allTimed = true;
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == choice.video && choice.video >= 0) {
      if (packet->pos >= 0) videoPos = packet->pos;
      VideoEntry entry;
      entry.mark = MarkOf(packet, videoPos);
      entry.key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
      decoded.push_back(entry);
      times.push_back(TimeOf(packet->pts));
      if (times.back() == kNoTime) allTimed = false;
      isB.push_back(mpegVideo &&
                    IsBPicture(packet->data, packet->size > 0 ? std::size_t(packet->size) : 0));
    } else if (packet->stream_index == choice.audio && choice.audio >= 0 && packet->size > 0) {
      // Audio frames do not start with their PES packets, and the parser takes a few frames to
      // find its way in from the middle of one: a seek starts two PES packets earlier.
      if (packet->pos >= 0 && (audioPositions.empty() || audioPositions.back() != packet->pos)) {
        audioPositions.push_back(packet->pos);
        if (audioPositions.size() > 3) audioPositions.erase(audioPositions.begin());
      }
      const std::int64_t audioPos = audioPositions.empty() ? 0 : audioPositions.front();
      AudioEntry entry;
      entry.pts = TimeOf(packet->pts);
      entry.mark = MarkOf(packet, audioPos);
      entry.start = audioBytes;
      audioBytes += packet->size;
      audio.push_back(entry);
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);

  // Pictures are shown, counted and sought in display order.
  std::vector<std::size_t> order;
  if (mpegVideo) {
    order = DisplayOrder(isB);
  } else {
    order.resize(decoded.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    // Without every time the decoding order is the best guess there is.
    if (allTimed) {
      std::stable_sort(order.begin(), order.end(),
                       [&](std::size_t a, std::size_t b) { return times[a] < times[b]; });
    }
  }
  video.reserve(order.size());
  for (const std::size_t i : order) {
    VideoEntry entry = decoded[i];
    entry.time = times[i];
    // A picture without its own time follows the one before it by a frame.
    if (entry.time == kNoTime && !video.empty() && video.back().time != kNoTime && frameTicks > 0) {
      entry.time = video.back().time + frameTicks;
    }
    video.push_back(entry);
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
  const std::int64_t t = video[std::size_t(frame)].time;
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
