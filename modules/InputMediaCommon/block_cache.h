// Fixed-size blocks of a ByteSource kept in memory, least recently used evicted first.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

#include "modules/InputMediaCommon/byte_source.h"

namespace mivora::io {

class BlockCache {
 public:
  // capacity_blocks blocks of block_bytes each are kept at most; a miss loads the missing block
  // and up to read_ahead_blocks - 1 following ones with one source read (one request over http).
  BlockCache(ByteSource* source, std::int64_t block_bytes, std::int64_t capacity_blocks,
             std::int64_t read_ahead_blocks);

  // Copies up to count bytes at pos; fewer at the end of the source or when it fails.
  std::int64_t Read(std::int64_t pos, std::uint8_t* buffer, std::int64_t count);

  std::int64_t hits() const { return hits_; }
  std::int64_t misses() const { return misses_; }
  std::int64_t block_bytes() const { return block_bytes_; }
  std::int64_t capacity_blocks() const { return capacity_; }

 private:
  struct Block {
    std::int64_t index;
    std::vector<std::uint8_t> data;  // complete: block_bytes, or less for the source's last block
  };
  using BlockList = std::list<Block>;

  // Block number index, loading it on a miss; null when not even byte offset of it can be had.
  const Block* Find(std::int64_t index, std::int64_t offset);
  void Insert(Block block);

  ByteSource* source_;
  std::int64_t block_bytes_;
  std::int64_t capacity_;
  std::int64_t read_ahead_;
  BlockList blocks_;  // most recently used first
  std::unordered_map<std::int64_t, BlockList::iterator> by_index_;
  std::vector<std::uint8_t> staging_;
  // A block the source delivered only in part (it failed or a connection was cut); a later
  // read past its end goes on filling it from where it stopped.
  Block partial_{-1, {}};
  std::int64_t hits_ = 0;
  std::int64_t misses_ = 0;
};

}  // namespace mivora::io
