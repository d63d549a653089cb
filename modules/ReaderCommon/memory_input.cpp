#include "modules/ReaderCommon/memory_input.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace mivora::reader {

namespace {

struct Memory {
  const std::uint8_t* data = nullptr;
  std::int64_t size = 0;
  bool sequentialOnly = false;
  bool open = false;
  std::int64_t position = 0;
  std::int64_t streamed = 0;  // where a sequential-only source can go on
};
Memory& M() {
  static Memory memory;
  return memory;
}

std::int32_t Open(const char16_t*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {
  Memory& m = M();
  m.open = true;
  m.position = m.streamed = 0;
  const std::int64_t length = std::min<std::int64_t>(m.size, INT32_MAX);
  return length > 0 ? static_cast<std::int32_t>(length) : 1;
}

std::int32_t Read(void* buffer, std::int32_t count) {
  Memory& m = M();
  if (!m.open || count <= 0 || m.position >= m.size) return 0;
  if (m.sequentialOnly && m.position != m.streamed) return 0;
  const std::int64_t n = std::min<std::int64_t>(count, m.size - m.position);
  std::memcpy(buffer, m.data + m.position, std::size_t(n));
  m.position += n;
  m.streamed = m.position;
  return static_cast<std::int32_t>(n);
}

std::int32_t Seek(std::int32_t offset, std::int32_t origin) {
  Memory& m = M();
  if (!m.open || (origin != 0 && origin != 1)) return -1;
  const std::int64_t target = (origin == 0 ? 0 : m.position) + offset;
  if (target < 0) return -1;
  m.position = std::min(target, m.size);
  return static_cast<std::int32_t>(m.position);
}

std::int32_t Close() {
  M().open = false;
  return 1;
}

}  // namespace

void SetMemoryInput(const std::uint8_t* data, std::size_t size, bool sequentialOnly) {
  Memory& m = M();
  m = Memory{};
  m.data = data;
  m.size = static_cast<std::int64_t>(size);
  m.sequentialOnly = sequentialOnly;
}

InputIo MemoryInput() {
  return InputIo{&Open, &Read, &Seek, &Close};
}

}  // namespace mivora::reader
