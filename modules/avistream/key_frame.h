// Without an index the key-frame flags come from the frames themselves.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mivora::avistream {

// True when the compressed frame starts an intra-coded picture. "DIV3"/"div3": the picture
// type in the first two bits is 0. Everything else is taken as MPEG-4 video: the first picture
// start code within the frame's first bytes is followed by coding type 0.
bool IsKeyFramePayload(const char (&fourcc)[4], const std::uint8_t* data, std::size_t size);

}  // namespace mivora::avistream
