// The display order of MPEG-1 and MPEG-2 pictures from their coding types: a B picture is shown
// when it is decoded, an I or P picture when the next I or P picture arrives. Program streams
// leave many pictures without a presentation time, so the times alone cannot order them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mivora::mpeg {

// True when the first picture header in data codes a B picture; false for I, P and anything
// that has no picture header.
bool IsBPicture(const std::uint8_t* data, std::size_t size);

// For each display position, the decoding position of its picture.
std::vector<std::size_t> DisplayOrder(const std::vector<bool>& isB);

}  // namespace mivora::mpeg
