// Reading 4:2:0 pictures from YUV4MPEG2 and raw files, and comparing them plane by plane.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mivora::conformance {

struct YuvFrames {
  int width = 0, height = 0;
  std::vector<std::vector<std::uint8_t>> frames;  // Y, U, V planes back to back
  std::size_t FrameBytes() const;
  std::size_t ChromaBytes() const;
};

// False with a message in error when the file is missing or malformed.
bool ReadY4m(const std::string& path, YuvFrames& out, std::string& error);
bool ReadRawYuv420(const std::string& path, int width, int height, YuvFrames& out,
                   std::string& error);

// Peak signal-to-noise ratio of one plane in dB; identical planes give kIdenticalPsnr.
inline constexpr double kIdenticalPsnr = 99.0;
double PlanePsnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t count);

struct FramePsnr {
  double y, u, v;
};
FramePsnr ComparePictures(const YuvFrames& a, std::size_t frameA, const YuvFrames& b,
                          std::size_t frameB);

}  // namespace mivora::conformance
