// Writing decoded pictures out of mivora-decode: YUV4MPEG2 streams and per-frame checksums of the
// visible planes.
#pragma once

#include <cstdio>
#include <string>

#include "decoder/decoded_frame.h"

namespace mivora {

// Visible plane sizes of a 4:2:0 picture; odd sizes round the chroma up.
struct VisibleSize {
  int width, height;
  int chromaWidth() const { return (width + 1) / 2; }
  int chromaHeight() const { return (height + 1) / 2; }
};

class Y4mWriter {
 public:
  // path "-" writes to standard output.
  bool Open(const std::string& path, VisibleSize size, double framesPerSecond);
  // frame.y == nullptr writes a black picture, so the frame count stays that of the stream.
  bool Write(const DecodedFrame& frame);
  bool Close();
  ~Y4mWriter() { Close(); }

 private:
  std::FILE* file_ = nullptr;
  bool ownsFile_ = false;
  VisibleSize size_{};
};

// MD5 over the visible Y, then U, then V samples, row by row.
std::string VisibleFrameMd5(const DecodedFrame& frame, VisibleSize size);

}  // namespace mivora
