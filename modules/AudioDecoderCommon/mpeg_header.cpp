#include "modules/AudioDecoderCommon/mpeg_header.h"

namespace mivora::audio {

namespace {

// kbit/s by [MPEG-1 ? 0 : 1][layer - 1][index]; index 0 (free format) and 15 are refused.
constexpr int kBitRates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
constexpr int kSampleRates[3] = {44100, 48000, 32000};

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

// Average bit rate from a Xing/Info header (layer III) or a VBRI header in the frame at p, or 0.
int InfoFrameBitRate(const std::uint8_t* p, std::int64_t available, const FrameHeader& h) {
  if (h.layer != 3) return 0;
  std::uint64_t frames = 0, bytes = 0;
  const std::int64_t sideInfo =
      h.version == 1 ? (h.channels == 1 ? 17 : 32) : (h.channels == 1 ? 9 : 17);
  const std::int64_t xing = 4 + (h.crc ? 2 : 0) + sideInfo;
  const std::int64_t vbri = 4 + 32;
  if (xing + 16 <= available && xing + 16 <= h.frameBytes &&
      (BigEndian32(p + xing) == 0x58696E67u /* Xing */ ||
       BigEndian32(p + xing) == 0x496E666Fu /* Info */)) {
    // "Info" marks a constant bit rate stream: the frames' own rate is exact.
    if (BigEndian32(p + xing) == 0x496E666Fu) return 0;
    const std::uint32_t flags = BigEndian32(p + xing + 4);
    if ((flags & 3u) != 3u) return 0;
    frames = BigEndian32(p + xing + 8);
    bytes = BigEndian32(p + xing + 12);
  } else if (vbri + 18 <= available && vbri + 18 <= h.frameBytes &&
             BigEndian32(p + vbri) == 0x56425249u /* VBRI */) {
    bytes = BigEndian32(p + vbri + 10);
    frames = BigEndian32(p + vbri + 14);
  } else {
    return 0;
  }
  if (frames == 0 || bytes == 0) return 0;
  const std::uint64_t rate = bytes * 8u * static_cast<std::uint64_t>(h.sampleRate) /
                             (frames * static_cast<std::uint64_t>(h.samplesPerFrame));
  return rate > 0 && rate < 2000000u ? static_cast<int>(rate) : 0;
}

bool IsInfoFrame(const std::uint8_t* p, std::int64_t available, const FrameHeader& h) {
  if (h.layer != 3) return false;
  const std::int64_t sideInfo =
      h.version == 1 ? (h.channels == 1 ? 17 : 32) : (h.channels == 1 ? 9 : 17);
  const std::int64_t xing = 4 + (h.crc ? 2 : 0) + sideInfo;
  if (xing + 4 <= available) {
    const std::uint32_t tag = BigEndian32(p + xing);
    if (tag == 0x58696E67u || tag == 0x496E666Fu) return true;
  }
  return 36 + 4 <= available && BigEndian32(p + 36) == 0x56425249u;
}

}  // namespace

bool ParseFrameHeader(const std::uint8_t* p, FrameHeader* header) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const int versionBits = (p[1] >> 3) & 3;  // 0 = 2.5, 1 reserved, 2 = 2, 3 = 1
  const int layerBits = (p[1] >> 1) & 3;    // 0 reserved, 1 = III, 2 = II, 3 = I
  const int bitRateIndex = p[2] >> 4;
  const int rateIndex = (p[2] >> 2) & 3;
  const int padding = (p[2] >> 1) & 1;
  const int emphasis = p[3] & 3;
  if (versionBits == 1 || layerBits == 0 || bitRateIndex == 0 || bitRateIndex == 15 ||
      rateIndex == 3 || emphasis == 2) {
    return false;
  }
  FrameHeader h;
  h.version = versionBits == 3 ? 1 : (versionBits == 2 ? 2 : 25);
  h.layer = 4 - layerBits;
  h.crc = (p[1] & 1) == 0;
  h.bitRate = kBitRates[h.version == 1 ? 0 : 1][h.layer - 1][bitRateIndex] * 1000;
  h.sampleRate = kSampleRates[rateIndex] >> (h.version == 1 ? 0 : (h.version == 2 ? 1 : 2));
  h.channels = (p[3] >> 6) == 3 ? 1 : 2;
  if (h.layer == 1) {
    h.samplesPerFrame = 384;
    h.frameBytes = (12 * h.bitRate / h.sampleRate + padding) * 4;
  } else if (h.layer == 2 || h.version == 1) {
    h.samplesPerFrame = 1152;
    h.frameBytes = 144 * h.bitRate / h.sampleRate + padding;
  } else {
    h.samplesPerFrame = 576;
    h.frameBytes = 72 * h.bitRate / h.sampleRate + padding;
  }
  if (h.frameBytes < 24) return false;  // smaller than any real frame (8 kbit/s MPEG-2.5 is 72+)
  *header = h;
  return true;
}

std::int64_t Id3v2TagBytes(const std::uint8_t* p, std::int64_t length) {
  if (length < 10 || p[0] != 'I' || p[1] != 'D' || p[2] != '3') return 0;
  if (p[3] == 0xFF || p[4] == 0xFF) return 0;
  if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;
  const std::int64_t body =
      (std::int64_t{p[6]} << 21) | (std::int64_t{p[7]} << 14) | (std::int64_t{p[8]} << 7) | p[9];
  return 10 + body + ((p[5] & 0x10) != 0 ? 10 : 0);
}

bool FindStreamStart(const std::uint8_t* data, std::int64_t length, StreamStart* start) {
  if (data == nullptr || length < 4) return false;
  std::int64_t pos = 0;
  while (pos + 4 <= length) {
    const std::int64_t tag = Id3v2TagBytes(data + pos, length - pos);
    if (tag > 0) {
      pos += tag;
      continue;
    }
    FrameHeader h;
    if (!ParseFrameHeader(data + pos, &h)) {
      ++pos;
      continue;
    }
    const std::int64_t next = pos + h.frameBytes;
    if (next + 4 <= length) {
      FrameHeader n;
      if (!ParseFrameHeader(data + next, &n) || n.version != h.version || n.layer != h.layer ||
          n.sampleRate != h.sampleRate) {
        ++pos;
        continue;
      }
      start->offset = pos;
      start->header = h;
      start->averageBitRate = InfoFrameBitRate(data + pos, length - pos, h);
      // An info frame carries no audio and its own bit rate field says little: without the
      // average, the first audio frame's rate stands.
      if (start->averageBitRate == 0) {
        start->averageBitRate = IsInfoFrame(data + pos, length - pos, h) ? n.bitRate : h.bitRate;
      }
      return true;
    }
    // The data end before the next header: the frame stands alone.
    start->offset = pos;
    start->header = h;
    start->averageBitRate = InfoFrameBitRate(data + pos, length - pos, h);
    if (start->averageBitRate == 0) start->averageBitRate = h.bitRate;
    return true;
  }
  return false;
}

}  // namespace mivora::audio
