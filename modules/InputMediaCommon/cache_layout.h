// How much each input module keeps in memory and reads at once.
#pragma once

#include <cstdint>

namespace mivora::io {

struct CacheLayout {
  std::int64_t block_bytes;
  std::int64_t capacity_blocks;
  std::int64_t read_ahead_blocks;
};

inline constexpr std::int64_t kBlockBytes = 64 * 1024;

// InputMedia: one 64 KiB read-ahead window, so the reader's many small reads of neighbouring
// bytes cost one file read or one http request per window. Its open arguments a and b are not
// used.
CacheLayout PlainLayout();

// InputMediaCache, from the open arguments a and b:
// - b is the cache size in KiB, clamped to 512 KiB .. 256 MiB; b <= 0 means 8 MiB.
// - a < 0 (the reader's first open, a = -1, b = 1,000,000) marks the header pass, which reads the
//   headers and the index once; its cache is held to 4 MiB whatever b says. Any other a
//   (4,000,000 for playback) is not used further.
// A miss reads 4 blocks (256 KiB) ahead.
CacheLayout CachedLayout(std::int32_t a, std::int32_t b);

}  // namespace mivora::io
