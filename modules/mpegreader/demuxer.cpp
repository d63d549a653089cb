#include "modules/mpegreader/demuxer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace mivora::mpeg {

namespace {
// A network source that sends nothing for this long fails instead of holding the player.
constexpr const char* kNetworkTimeoutUs = "15000000";

bool IsMpegAudio(AVCodecID id) {
  return id == AV_CODEC_ID_MP1 || id == AV_CODEC_ID_MP2 || id == AV_CODEC_ID_MP3;
}
}  // namespace

namespace {
std::string Url(const std::string& path) {
  if (path.rfind("http://", 0) == 0 || path.rfind("https://", 0) == 0) return path;
  // Everything else is a file, also a name with a colon that libavformat would take for a
  // protocol ("a:b.mpg", "pipe:0").
  return "file:" + path;
}
}  // namespace

AVFormatContext* OpenFormat(const std::string& path) {
  if (path.empty()) return nullptr;
  AVFormatContext* format = nullptr;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "rw_timeout", kNetworkTimeoutUs, 0);
  // Files and web addresses only; a file cannot name further sources to open.
  av_dict_set(&options, "protocol_whitelist", "file,http,https,tcp,tls", 0);
  const std::string url = Url(path);
  const int opened = avformat_open_input(&format, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (opened < 0) return nullptr;
  if (avformat_find_stream_info(format, nullptr) < 0) {
    avformat_close_input(&format);
    return nullptr;
  }
  return format;
}

void CloseFormat(AVFormatContext*& format) {
  if (format != nullptr) avformat_close_input(&format);
  format = nullptr;
}

StreamChoice ChooseStreams(const AVFormatContext* format) {
  StreamChoice choice;
  if (format == nullptr) return choice;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* stream = format->streams[i];
    const AVCodecParameters* p = stream->codecpar;
    if (p->codec_type == AVMEDIA_TYPE_VIDEO && choice.video < 0 &&
        (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 && p->width > 0 && p->height > 0 &&
        avcodec_find_decoder(p->codec_id) != nullptr) {
      choice.video = static_cast<int>(i);
    }
    // The audio decoder module takes MPEG audio only; other sound is left out.
    if (p->codec_type == AVMEDIA_TYPE_AUDIO && choice.audio < 0 && IsMpegAudio(p->codec_id)) {
      choice.audio = static_cast<int>(i);
    }
  }
  return choice;
}

void KeepOnly(AVFormatContext* format, int stream) {
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    format->streams[i]->discard = static_cast<int>(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  }
}

}  // namespace mivora::mpeg
