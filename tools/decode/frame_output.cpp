#include "tools/decode/frame_output.h"

#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "tools/decode/md5.h"

namespace mivora {
namespace {

// The frame rate as a fraction with a denominator of at most 1001, e.g. 29.97 -> 30000:1001.
void RateFraction(double fps, long& num, long& den) {
  num = 25;
  den = 1;
  if (!(fps > 0) || fps > 1e6) return;
  num = std::lround(fps * 1000);
  den = 1000;
  for (long d : {1L, 1001L}) {
    const double n = fps * d;
    if (std::fabs(n - std::round(n)) < 1e-6 * d) {
      num = std::lround(n);
      den = d;
      break;
    }
  }
  const long g = std::gcd(num, den);
  num /= g;
  den /= g;
}

template <typename Sink>
void ForEachVisibleRow(const DecodedFrame& f, VisibleSize s, Sink sink) {
  const std::uint8_t* planes[3] = {f.y, f.u, f.v};
  const std::intptr_t strides[3] = {f.strideY, f.strideU, f.strideV};
  for (int p = 0; p < 3; ++p) {
    const int w = p ? s.chromaWidth() : s.width, h = p ? s.chromaHeight() : s.height;
    for (int r = 0; r < h; ++r) sink(planes[p] + r * strides[p], w);
  }
}

}  // namespace

bool Y4mWriter::Open(const std::string& path, VisibleSize size, double framesPerSecond) {
  Close();
  if (path == "-") {
    file_ = stdout;
  } else {
    file_ = std::fopen(path.c_str(), "wb");
    ownsFile_ = true;
  }
  if (!file_) return false;
  size_ = size;
  long num, den;
  RateFraction(framesPerSecond, num, den);
  return std::fprintf(file_, "YUV4MPEG2 W%d H%d F%ld:%ld Ip A1:1 C420jpeg\n", size.width,
                      size.height, num, den) > 0;
}

bool Y4mWriter::Write(const DecodedFrame& frame) {
  if (!file_) return false;
  bool ok = std::fputs("FRAME\n", file_) >= 0;
  if (frame.y) {
    ForEachVisibleRow(frame, size_, [&](const std::uint8_t* row, int w) {
      ok = ok && std::fwrite(row, 1, w, file_) == static_cast<std::size_t>(w);
    });
  } else {
    const std::size_t luma = static_cast<std::size_t>(size_.width) * size_.height;
    const std::size_t chroma = static_cast<std::size_t>(size_.chromaWidth()) * size_.chromaHeight();
    std::vector<std::uint8_t> black(luma, 16);
    ok = ok && std::fwrite(black.data(), 1, luma, file_) == luma;
    black.assign(2 * chroma, 128);
    ok = ok && std::fwrite(black.data(), 1, 2 * chroma, file_) == 2 * chroma;
  }
  return ok;
}

bool Y4mWriter::Close() {
  bool ok = true;
  if (file_) ok = std::fflush(file_) == 0;
  if (file_ && ownsFile_) ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  ownsFile_ = false;
  return ok;
}

std::string VisibleFrameMd5(const DecodedFrame& frame, VisibleSize size) {
  Md5 md5;
  if (frame.y)
    ForEachVisibleRow(frame, size, [&](const std::uint8_t* row, int w) { md5.Update(row, w); });
  return md5.HexDigest();
}

}  // namespace mivora
