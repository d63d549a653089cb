#include "modules/mp3reader/frame_header.h"

namespace mivora::mp3 {

namespace {

// kbit/s by [MPEG-1 ? 0 : 1][layer - 1][index 1..14].
constexpr int kBitRates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};

constexpr int kSampleRates[3][3] = {
    {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

}  // namespace

bool ParseFrameHeader(const std::uint8_t* p, FrameHeader& out) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const int versionBits = (p[1] >> 3) & 3;
  const int layerBits = (p[1] >> 1) & 3;
  const int rateIndex = p[2] >> 4;
  const int srIndex = (p[2] >> 2) & 3;
  if (versionBits == 1 || layerBits == 0 || rateIndex == 0 || rateIndex == 15 || srIndex == 3 ||
      (p[3] & 3) == 2) {
    return false;
  }
  FrameHeader h;
  h.version = versionBits == 3 ? 10 : versionBits == 2 ? 20 : 25;
  h.layer = 4 - layerBits;
  h.crc = (p[1] & 1) == 0;
  const int row = h.version == 10 ? 0 : 1;
  h.bitRate = kBitRates[row][h.layer - 1][rateIndex] * 1000;
  h.sampleRate = kSampleRates[h.version == 10 ? 0 : h.version == 20 ? 1 : 2][srIndex];
  h.channels = (p[3] >> 6) == 3 ? 1 : 2;
  const int padding = (p[2] >> 1) & 1;
  if (h.layer == 1) {
    h.samplesPerFrame = 384;
    h.frameBytes = (12 * h.bitRate / h.sampleRate + padding) * 4;
  } else {
    h.samplesPerFrame = h.layer == 3 && h.version != 10 ? 576 : 1152;
    h.frameBytes = h.samplesPerFrame / 8 * h.bitRate / h.sampleRate + padding;
  }
  out = h;
  return true;
}

}  // namespace mivora::mp3
