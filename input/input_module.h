// The four entry points of the input I/O modules ("InputMedia.dll", "InputMediaCache.dll").
// One open source per module; no handle is passed.
#pragma once

#include <cstdint>

namespace mivora {

// path: file path or http:// address. Result 0 = failure; otherwise the source's length in bytes
// (at least 1 for an empty source, so that success stays nonzero).
using InputMediaOpenFn = std::int32_t (*)(const char16_t* path, std::int32_t, std::int32_t,
                                          std::int32_t a, std::int32_t b);
// Bytes placed in the buffer; fewer than count at the end; 0 at the end or on failure.
using InputMediaReadFn = std::int32_t (*)(void* buffer, std::int32_t count);
// origin 0 = from the start, 1 = from the current position. Result: the new position.
using InputMediaSeekFn = std::int32_t (*)(std::int32_t offset, std::int32_t origin);
using InputMediaCloseFn = std::int32_t (*)();

}  // namespace mivora
