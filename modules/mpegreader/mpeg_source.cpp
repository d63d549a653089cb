#include "modules/mpegreader/mpeg_source.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavformat/avformat.h>
}

#include "decoder/decoded_frame.h"
#include "modules/LibavCommon/quiet_log.h"
#include "modules/mpegreader/audio_reader.h"
#include "modules/mpegreader/demuxer.h"
#include "modules/mpegreader/mpeg_index.h"
#include "modules/mpegreader/utf8_path.h"
#include "modules/mpegreader/video_reader.h"

namespace mivora::mpeg {

namespace {

// Audio layers I and II; layer III keeps its own tag.
constexpr std::int32_t kMpegAudioTag = 80;
constexpr std::int32_t kMp3Tag = 85;
constexpr std::int32_t kRecordBytes = static_cast<std::int32_t>(sizeof(DecodedFrame));

struct Source {
  MediaInfo info;
  MpegIndex index;
  VideoReader video;
  AudioReader audio;
  bool hasVideo = false;
  bool hasAudio = false;
  std::atomic<std::int64_t> audioDelivered{0};
  // Video and audio are read on their own threads with their own demuxers; a seek takes both.
  std::mutex videoLock;
  std::mutex audioLock;
};

Source& TheSource() {
  static Source source;
  return source;
}

double FrameRate(const AVStream* stream, const MpegIndex& index) {
  for (const AVRational r : {stream->avg_frame_rate, stream->r_frame_rate}) {
    if (r.num > 0 && r.den > 0) return av_q2d(r);
  }
  // No declared rate: the pictures' own times.
  if (index.video.size() > 1 && index.video.front().time != kNoTime &&
      index.video.back().time > index.video.front().time && index.videoTimeBase.num > 0) {
    const double span = double(index.video.back().time - index.video.front().time) *
                        index.videoTimeBase.num / index.videoTimeBase.den;
    return double(index.video.size() - 1) / span;
  }
  return 25.0;
}

void SetFourcc(MediaInfo& info, AVCodecID id) {
  const char* code = id == AV_CODEC_ID_MPEG1VIDEO   ? "mpg1"
                     : id == AV_CODEC_ID_MPEG2VIDEO ? "mpg2"
                                                    : "MPEG";
  std::memcpy(info.fourcc, code, 4);
  info.fourcc[4] = 0;
}

void CloseAll(Source& s) {
  s.video.Close();
  s.audio.Close();
  s.index.Clear();
  s.hasVideo = s.hasAudio = false;
  s.audioDelivered = 0;
  s.info = MediaInfo{};
}

// Both locks held. Puts the audio at the packet playing when frame is shown (or at byte when
// there is no video) and returns the audio bytes from there.
std::int32_t PlaceAudio(Source& s, std::size_t entry) {
  if (!s.hasAudio) return 0;
  if (entry >= s.index.audio.size()) {
    s.audio.SeekToEnd();
    s.audioDelivered = s.index.audioBytes;
    return 0;
  }
  const AudioEntry& target = s.index.audio[entry];
  s.audio.SeekTo(target);
  s.audioDelivered = target.start;
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(s.index.audioBytes - target.start, 0, INT32_MAX));
}

}  // namespace

std::int32_t Open(const char16_t* path, std::int32_t, std::int32_t, MediaInfo** info) {
  Source& s = TheSource();
  std::scoped_lock hold(s.videoLock, s.audioLock);
  CloseAll(s);
  if (path == nullptr || info == nullptr) return 0;
  libav::QuietLog();
  const std::string file = PathToUtf8(path);
  AVFormatContext* probe = OpenFormat(file);
  StreamChoice choice = ChooseStreams(probe);
  if (probe == nullptr || (choice.video < 0 && choice.audio < 0)) {
    CloseFormat(probe);
    return 0;
  }
  MediaInfo& m = s.info;
  if (choice.video >= 0) {
    const AVCodecParameters* p = probe->streams[choice.video]->codecpar;
    m.width = p->width;
    m.height = p->height;
    SetFourcc(m, p->codec_id);
  }
  if (choice.audio >= 0) {
    m.audioFormatTag = probe->streams[choice.audio]->codecpar->codec_id == AV_CODEC_ID_MP3
                           ? kMp3Tag
                           : kMpegAudioTag;
  }
  s.index.Build(probe, choice);
  if (choice.video >= 0) m.framesPerSecond = FrameRate(probe->streams[choice.video], s.index);
  CloseFormat(probe);
  s.hasVideo =
      choice.video >= 0 && !s.index.video.empty() && s.index.video.size() <= std::size_t(INT32_MAX);
  s.hasAudio = choice.audio >= 0 && s.index.audioBytes > 0;
  if (s.hasVideo && !s.video.Open(file, choice.video, m.width, m.height)) s.hasVideo = false;
  if (s.hasAudio && !s.audio.Open(file, choice.audio)) s.hasAudio = false;
  if (!s.hasVideo && !s.hasAudio) {
    CloseAll(s);
    return 0;
  }
  if (!s.hasVideo) {
    m.width = m.height = 0;
    m.framesPerSecond = 0;
  }
  m.frameCount = s.hasVideo ? static_cast<std::int32_t>(s.index.video.size()) : 0;
  // Audio past 2 GiB is not counted; the record's field is 32-bit.
  m.audioBytes =
      s.hasAudio ? static_cast<std::int32_t>(std::min<std::int64_t>(s.index.audioBytes, INT32_MAX))
                 : 0;
  m.currentFrame = 0;
  // What ReadVideoFrame returns is a picture description, never a large frame: the converters
  // may skip what the previous picture left unchanged.
  m.largestFrameBytes = kRecordBytes;
  m.largeFrameBytes = kRecordBytes;
  *info = &m;
  return 1;
}

std::int32_t ReadAudio(std::uint8_t* buffer, std::int32_t count) {
  Source& s = TheSource();
  std::lock_guard<std::mutex> hold(s.audioLock);
  if (!s.hasAudio || buffer == nullptr || count < 1) return 0;
  const std::int32_t n = s.audio.Read(buffer, count);
  s.audioDelivered += n;
  return n;
}

std::int32_t ReadVideoFrame(std::uint8_t* buffer, std::int32_t) {
  Source& s = TheSource();
  std::lock_guard<std::mutex> hold(s.videoLock);
  MediaInfo& m = s.info;
  if (!s.hasVideo || buffer == nullptr || m.currentFrame >= m.frameCount) return 0;
  DecodedFrame picture;
  if (!s.video.Next(&picture)) {
    // Fewer pictures decoded than packets counted (a damaged file): the stream has ended.
    m.currentFrame = m.frameCount;
    return 0;
  }
  std::memcpy(buffer, &picture, sizeof picture);
  ++m.currentFrame;
  return kRecordBytes;
}

std::int32_t SeekPercent(std::int32_t percent) {
  Source& s = TheSource();
  std::scoped_lock hold(s.videoLock, s.audioLock);
  percent = std::clamp(percent, 0, 100);
  if (!s.hasVideo) {
    if (!s.hasAudio) return 0;
    return PlaceAudio(s, s.index.AudioAtByte(s.index.audioBytes * percent / 100));
  }
  MediaInfo& m = s.info;
  const int target = static_cast<int>(std::int64_t(m.frameCount) * percent / 100);
  const int key = s.index.KeyFrameFrom(target);
  s.video.SeekTo(s.index.video[std::size_t(key)]);
  m.currentFrame = key;
  return PlaceAudio(s, s.index.AudioForFrame(key));
}

std::int32_t SyncAudioToVideo() {
  Source& s = TheSource();
  std::scoped_lock hold(s.videoLock, s.audioLock);
  if (!s.hasAudio) return 0;
  if (!s.hasVideo) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(s.index.audioBytes - s.audioDelivered.load(), 0, INT32_MAX));
  }
  return PlaceAudio(s, s.index.AudioForFrame(s.info.currentFrame));
}

double GetPositionPercent() {
  Source& s = TheSource();
  const MediaInfo& m = s.info;
  if (s.hasVideo && m.frameCount > 0) return m.currentFrame * 100.0 / m.frameCount;
  if (s.hasAudio && s.index.audioBytes > 0) {
    return double(s.audioDelivered.load()) * 100.0 / double(s.index.audioBytes);
  }
  return 0.0;
}

std::int32_t Close() {
  Source& s = TheSource();
  std::scoped_lock hold(s.videoLock, s.audioLock);
  CloseAll(s);
  return 1;
}

std::int32_t IsKeyFrame(std::int32_t frameIndex) {
  Source& s = TheSource();
  std::lock_guard<std::mutex> hold(s.videoLock);
  // Past the pictures every answer is yes, so a search for the next key frame always stops.
  if (frameIndex < 0 || frameIndex >= s.info.frameCount) return 1;
  return s.index.IsKey(frameIndex) ? 1 : 0;
}

}  // namespace mivora::mpeg
