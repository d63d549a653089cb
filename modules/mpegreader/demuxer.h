// Opening an MPEG file with libavformat and choosing its streams.
#pragma once

#include <string>

struct AVFormatContext;

namespace mivora::mpeg {

struct StreamChoice {
  int video = -1;  // first video stream libavcodec can decode, or -1
  int audio = -1;  // first MPEG audio stream (layer I, II or III), or -1
};

// The file's format context with its stream parameters read; nullptr when libavformat cannot
// read it. Network reads give up after a bounded wait.
AVFormatContext* OpenFormat(const std::string& path);
void CloseFormat(AVFormatContext*& format);
StreamChoice ChooseStreams(const AVFormatContext* format);
// The demuxer drops the packets of every other stream.
void KeepOnly(AVFormatContext* format, int stream);

}  // namespace mivora::mpeg
