#include "modules/InputMediaCommon/block_cache.h"

#include <algorithm>
#include <cstring>

namespace mivora::io {

BlockCache::BlockCache(ByteSource* source, std::int64_t block_bytes, std::int64_t capacity_blocks,
                       std::int64_t read_ahead_blocks)
    : source_(source),
      block_bytes_(std::max<std::int64_t>(block_bytes, 1)),
      capacity_(std::max<std::int64_t>(capacity_blocks, 1)),
      read_ahead_(std::clamp<std::int64_t>(read_ahead_blocks, 1, capacity_)) {}

std::int64_t BlockCache::Read(std::int64_t pos, std::uint8_t* buffer, std::int64_t count) {
  const std::int64_t length = source_->Length();
  if (pos < 0 || count <= 0 || pos >= length) return 0;
  count = std::min(count, length - pos);
  std::int64_t total = 0;
  while (total < count) {
    const std::int64_t at = pos + total;
    const Block* block = Find(at / block_bytes_, at % block_bytes_);
    if (block == nullptr) break;
    const std::int64_t offset = at - block->index * block_bytes_;
    const std::int64_t available = static_cast<std::int64_t>(block->data.size()) - offset;
    if (available <= 0) break;
    const std::int64_t n = std::min(available, count - total);
    std::memcpy(buffer + total, block->data.data() + offset, static_cast<std::size_t>(n));
    total += n;
    // A short block (the source failed part-way) ends what can be had for now.
    const auto size = static_cast<std::int64_t>(block->data.size());
    if (size < block_bytes_ && offset + n >= size) break;
  }
  return total;
}

const BlockCache::Block* BlockCache::Find(std::int64_t index, std::int64_t offset) {
  if (auto it = by_index_.find(index); it != by_index_.end()) {
    ++hits_;
    blocks_.splice(blocks_.begin(), blocks_, it->second);
    return &*it->second;
  }
  const std::int64_t length = source_->Length();
  const std::int64_t start = index * block_bytes_;
  if (partial_.index == index && !partial_.data.empty()) {
    const auto have = static_cast<std::int64_t>(partial_.data.size());
    if (offset < have) {
      ++hits_;
      return &partial_;
    }
    // Go on filling the short block from where it stopped rather than fetching it again.
    ++misses_;
    const std::int64_t expected = std::min(block_bytes_, length - start);
    partial_.data.resize(static_cast<std::size_t>(expected));
    const std::int64_t got = std::max<std::int64_t>(
        0, source_->ReadAt(start + have, partial_.data.data() + have, expected - have));
    partial_.data.resize(static_cast<std::size_t>(have + got));
    if (have + got < expected) return got > 0 ? &partial_ : nullptr;
    Insert(std::move(partial_));
    partial_ = Block{-1, {}};
    return &blocks_.front();
  }
  ++misses_;
  // Read ahead over the following blocks that are not cached yet, within the source.
  std::int64_t run = 1;
  while (run < read_ahead_ && start + run * block_bytes_ < length &&
         by_index_.find(index + run) == by_index_.end()) {
    ++run;
  }
  const std::int64_t want = std::min(run * block_bytes_, length - start);
  staging_.resize(static_cast<std::size_t>(want));
  const std::int64_t got = source_->ReadAt(start, staging_.data(), want);
  if (got <= 0) return nullptr;
  // Complete blocks are kept; one that came back short is kept apart as the partial block.
  std::vector<Block> loaded;
  for (std::int64_t i = 0; i < run; ++i) {
    const std::int64_t from = i * block_bytes_;
    if (from >= got) break;
    const std::int64_t expected = std::min(block_bytes_, length - (start + from));
    const std::int64_t have = std::min(expected, got - from);
    loaded.push_back(Block{index + i, std::vector<std::uint8_t>(staging_.begin() + from,
                                                                staging_.begin() + from + have)});
    if (have < expected) break;
  }
  const std::int64_t first_expected = std::min(block_bytes_, length - start);
  if (static_cast<std::int64_t>(loaded.front().data.size()) < first_expected) {
    partial_ = std::move(loaded.front());
    return &partial_;
  }
  if (partial_.index >= index &&
      partial_.index < index + static_cast<std::int64_t>(loaded.size())) {
    partial_ = Block{-1, {}};
  }
  // A read-ahead block that came back short waits as the partial block for the next read.
  if (static_cast<std::int64_t>(loaded.back().data.size()) <
      std::min(block_bytes_, length - loaded.back().index * block_bytes_)) {
    partial_ = std::move(loaded.back());
    loaded.pop_back();
  }
  // The requested block goes in last so that it is the most recently used; the capacity always
  // holds a whole read-ahead run, so none of these evicts another.
  for (auto it = loaded.rbegin(); it != loaded.rend(); ++it) Insert(std::move(*it));
  return &blocks_.front();
}

void BlockCache::Insert(Block block) {
  const std::int64_t index = block.index;
  blocks_.push_front(std::move(block));
  by_index_[index] = blocks_.begin();
  while (static_cast<std::int64_t>(blocks_.size()) > capacity_) {
    by_index_.erase(blocks_.back().index);
    blocks_.pop_back();
  }
}

}  // namespace mivora::io
