// The VBR headers in the first frame of an MP3 file: Xing/Info (frames, bytes, a table of
// contents for seeking) and VBRI (frames, bytes).
#pragma once

#include <cstddef>
#include <cstdint>

#include "modules/mp3reader/frame_header.h"

namespace mivora::mp3 {

struct VbrHeader {
  bool found = false;
  std::uint32_t frames = 0;  // 0 when not given
  std::uint32_t bytes = 0;   // 0 when not given
  bool hasToc = false;
  std::uint8_t toc[100] = {};  // byte position of each percent, in 256ths of bytes
};

// frame: the first frame's bytes (available of them readable).
VbrHeader ParseVbrHeader(const FrameHeader& header, const std::uint8_t* frame,
                         std::size_t available);

}  // namespace mivora::mp3
