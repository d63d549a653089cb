// The state behind the four entry points of an input module: one open source, its cache and the
// read position. Every call takes the session's mutex; the reader serialises its calls anyway,
// but the module must not depend on that.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "modules/InputMediaCommon/block_cache.h"
#include "modules/InputMediaCommon/byte_source.h"
#include "modules/InputMediaCommon/cache_layout.h"

namespace mivora::io {

class MediaSession {
 public:
  using LayoutFn = CacheLayout (*)(std::int32_t a, std::int32_t b);
  explicit MediaSession(LayoutFn layout) : layout_(layout) {}

  // Closes what was open, then opens path (a local file, an http:// or https:// address).
  // Returns 0 on failure, else the length in bytes; 1 for an empty source so that success stays
  // nonzero. Sources of 2 GiB or more are refused: positions and the length are 32-bit.
  // a < 0 marks the built-in reader's header pass (see CachedLayout), which needs to jump to the
  // index: over a server that ignores Range it fails, with the reason on stderr.
  std::int32_t Open(const char16_t* path, std::int32_t a, std::int32_t b);
  // Bytes placed at the position, which advances by them; fewer at the end or on failure.
  std::int32_t Read(void* buffer, std::int32_t count);
  // origin 0 = from the start, 1 = from the current position, 2 = from the end. Returns the new
  // position. A target past the end is clamped to the end (reads there return 0). A negative
  // target, an unknown origin or a closed source leave the position as it was and return -1.
  // A seek never talks to a server: the bytes are fetched by the next read.
  std::int32_t Seek(std::int32_t offset, std::int32_t origin);
  // Returns 1, also when nothing was open.
  std::int32_t Close();

 private:
  LayoutFn layout_;
  std::mutex mutex_;
  std::unique_ptr<ByteSource> source_;
  std::unique_ptr<BlockCache> cache_;
  std::int64_t position_ = 0;
};

}  // namespace mivora::io
