// The picture description a video decoder hands to the engine and the colour converters: the
// decoded picture and the one decoded before it. Eleven words; words that hold addresses are
// pointer-sized, so the record is 11 pointers wide on 64-bit builds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mivora {

struct DecodedFrame {
  std::uint8_t* y = nullptr;      // 0: first visible luminance sample
  std::uint8_t* u = nullptr;      // 1
  std::uint8_t* v = nullptr;      // 2
  std::intptr_t strideY = 0;      // 3
  std::intptr_t strideU = 0;      // 4
  std::intptr_t strideV = 0;      // 5
  std::intptr_t reserved6 = 0;    // 6
  std::uint8_t* prevY = nullptr;  // 7: planes of the picture decoded before this one
  std::uint8_t* prevU = nullptr;  // 8
  std::uint8_t* prevV = nullptr;  // 9
  std::intptr_t reserved10 = 0;   // 10
};

inline constexpr std::size_t kWord = sizeof(void*);
static_assert(offsetof(DecodedFrame, y) == 0 * kWord);
static_assert(offsetof(DecodedFrame, u) == 1 * kWord);
static_assert(offsetof(DecodedFrame, v) == 2 * kWord);
static_assert(offsetof(DecodedFrame, strideY) == 3 * kWord);
static_assert(offsetof(DecodedFrame, strideU) == 4 * kWord);
static_assert(offsetof(DecodedFrame, strideV) == 5 * kWord);
static_assert(offsetof(DecodedFrame, prevY) == 7 * kWord);
static_assert(offsetof(DecodedFrame, prevU) == 8 * kWord);
static_assert(offsetof(DecodedFrame, prevV) == 9 * kWord);
static_assert(sizeof(DecodedFrame) == 11 * kWord);

}  // namespace mivora
