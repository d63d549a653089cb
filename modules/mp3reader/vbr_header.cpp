#include "modules/mp3reader/vbr_header.h"

#include <cstring>
#include <initializer_list>

namespace mivora::mp3 {

namespace {

std::uint32_t Be32(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
         std::uint32_t(p[3]);
}

constexpr std::size_t kVbriOffset = 36;

bool ParseXing(const std::uint8_t* p, std::size_t left, VbrHeader& out) {
  if (left < 8 || (std::memcmp(p, "Xing", 4) != 0 && std::memcmp(p, "Info", 4) != 0)) {
    return false;
  }
  const std::uint32_t flags = Be32(p + 4);
  std::size_t at = 8;
  VbrHeader h;
  h.found = true;
  if (flags & 1u) {
    if (left < at + 4) return false;
    h.frames = Be32(p + at);
    at += 4;
  }
  if (flags & 2u) {
    if (left < at + 4) return false;
    h.bytes = Be32(p + at);
    at += 4;
  }
  if (flags & 4u) {
    if (left < at + 100) return false;
    std::memcpy(h.toc, p + at, 100);
    // A table must not run backwards; one that does is not used.
    h.hasToc = true;
    for (int i = 1; i < 100; ++i) h.hasToc = h.hasToc && h.toc[i] >= h.toc[i - 1];
  }
  out = h;
  return true;
}

}  // namespace

VbrHeader ParseVbrHeader(const FrameHeader& header, const std::uint8_t* frame,
                         std::size_t available) {
  VbrHeader out;
  if (header.layer != 3) return out;
  const std::size_t side =
      header.version == 10 ? (header.channels == 1 ? 17 : 32) : (header.channels == 1 ? 9 : 17);
  // Writers put it straight after the side information; some count a CRC in front of it.
  for (std::size_t offset : {4 + side, 6 + side}) {
    if (offset < available && ParseXing(frame + offset, available - offset, out)) return out;
  }
  if (available >= kVbriOffset + 18 && std::memcmp(frame + kVbriOffset, "VBRI", 4) == 0) {
    out.found = true;
    out.bytes = Be32(frame + kVbriOffset + 10);
    out.frames = Be32(frame + kVbriOffset + 14);
  }
  return out;
}

}  // namespace mivora::mp3
