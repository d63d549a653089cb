// Clips made by ffmpeg at test time from one raw source, ffmpeg's own decode of them, and the
// picture measures the module tests share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/decoded_frame.h"

namespace mivora::test {

// Runs a shell command; its standard output goes to out when given. The exit status, or -1.
int Shell(const std::string& command, std::vector<std::uint8_t>* out = nullptr);

struct Clip {
  std::string path;
  int width = 0;
  int height = 0;
  int frames = 0;     // pictures in the source
  int keyEvery = 12;  // frames from one key frame to the next
};

// The clips, made once per build folder (empty path when ffmpeg failed): 4 s of testsrc at
// 25 fps with a 440 Hz tone. The MPEG ones have two B pictures between references.
Clip Mpeg1Clip();  // MPEG-1 system stream, MPEG-1 video, layer II audio at 44.1 kHz
Clip Mpeg2Clip();  // MPEG-2 program stream, MPEG-2 video, layer II audio at 48 kHz
Clip Div3Clip();   // AVI, DIV3 video, MP3 audio
// Any other clip, made by ffmpeg with arguments (inputs and codecs) into name.
std::string MakeFixture(const std::string& name, const std::string& arguments);

// The raw 4:2:0 source pictures of a clip of that size, and ffmpeg's decode of a file.
std::vector<std::uint8_t> SourcePictures(int width, int height);
std::vector<std::uint8_t> FfmpegPictures(const std::string& file);
// ffmpeg's copy of the file's audio stream as an MPEG audio elementary stream.
std::vector<std::uint8_t> FfmpegAudioStream(const std::string& file);
double FfprobeSeconds(const std::string& file);

// Luminance PSNR of a described picture against picture number index of a raw 4:2:0 set
// (99 dB when equal, 0 when either is missing).
double PicturePsnr(const DecodedFrame& picture, const std::vector<std::uint8_t>& set, int index,
                   int width, int height);
// The same between two raw sets.
double RawPsnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, int index,
               int width, int height);
// Reads every sample of the described picture and of its previous one (a sanitizer sees any
// plane that is not whole).
std::uint64_t TouchPicture(const DecodedFrame& picture, int width, int height);

}  // namespace mivora::test
