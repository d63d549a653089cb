#include "tests/conformance/yuv_compare.h"

#include <cmath>
#include <cstdio>
#include <memory>

namespace mivora::conformance {
namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

bool ReadLine(std::FILE* f, std::string& line) {
  line.clear();
  for (int c; (c = std::fgetc(f)) != EOF;) {
    if (c == '\n') return true;
    line += static_cast<char>(c);
    if (line.size() > 4096) return false;
  }
  return false;
}

}  // namespace

std::size_t YuvFrames::ChromaBytes() const {
  return static_cast<std::size_t>((width + 1) / 2) * ((height + 1) / 2);
}

std::size_t YuvFrames::FrameBytes() const {
  return static_cast<std::size_t>(width) * height + 2 * ChromaBytes();
}

bool ReadY4m(const std::string& path, YuvFrames& out, std::string& error) {
  File f(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!f) return error = "cannot open " + path, false;
  std::string header;
  if (!ReadLine(f.get(), header) || header.rfind("YUV4MPEG2 ", 0) != 0)
    return error = "not a YUV4MPEG2 file: " + path, false;
  out = {};
  for (std::size_t pos = 0; (pos = header.find(' ', pos)) != std::string::npos;) {
    ++pos;
    if (header[pos] == 'W') out.width = std::atoi(header.c_str() + pos + 1);
    if (header[pos] == 'H') out.height = std::atoi(header.c_str() + pos + 1);
    if (header[pos] == 'C' && header.compare(pos, 4, "C420") != 0)
      return error = "not 4:2:0: " + header, false;
  }
  if (out.width <= 0 || out.height <= 0) return error = "bad size in " + header, false;
  std::string line;
  while (ReadLine(f.get(), line)) {
    if (line.rfind("FRAME", 0) != 0) return error = "bad frame header: " + line, false;
    std::vector<std::uint8_t> frame(out.FrameBytes());
    if (std::fread(frame.data(), 1, frame.size(), f.get()) != frame.size())
      return error = "truncated frame in " + path, false;
    out.frames.push_back(std::move(frame));
  }
  return true;
}

bool ReadRawYuv420(const std::string& path, int width, int height, YuvFrames& out,
                   std::string& error) {
  File f(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!f) return error = "cannot open " + path, false;
  out = {};
  out.width = width;
  out.height = height;
  for (;;) {
    std::vector<std::uint8_t> frame(out.FrameBytes());
    const std::size_t n = std::fread(frame.data(), 1, frame.size(), f.get());
    if (n == 0) break;
    if (n != frame.size()) return error = "truncated frame in " + path, false;
    out.frames.push_back(std::move(frame));
  }
  return true;
}

double PlanePsnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t count) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int d = a[i] - b[i];
    sum += static_cast<std::uint64_t>(d * d);
  }
  if (sum == 0 || count == 0) return kIdenticalPsnr;
  const double mse = static_cast<double>(sum) / static_cast<double>(count);
  return std::min(kIdenticalPsnr, 10.0 * std::log10(255.0 * 255.0 / mse));
}

FramePsnr ComparePictures(const YuvFrames& a, std::size_t frameA, const YuvFrames& b,
                          std::size_t frameB) {
  const std::uint8_t* pa = a.frames[frameA].data();
  const std::uint8_t* pb = b.frames[frameB].data();
  const std::size_t luma = static_cast<std::size_t>(a.width) * a.height, chroma = a.ChromaBytes();
  return {PlanePsnr(pa, pb, luma), PlanePsnr(pa + luma, pb + luma, chroma),
          PlanePsnr(pa + luma + chroma, pb + luma + chroma, chroma)};
}

}  // namespace mivora::conformance
