// A memory-backed input module for the AVI reader's tests: serves bytes the test hands it, logs
// how it was opened and can refuse an open or stop delivering after some byte. Built as
// fake_input/InputMedia.so, fake_input/InputMediaCache.so and (without InputMediaSeek)
// fake_broken/InputMedia.so.
#include <cstdint>
#include <cstring>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::vector<std::uint8_t> g_data;
std::int64_t g_position = 0;
bool g_open = false;
std::int32_t g_refuseOpenNumber = 0;  // 1-based open call to refuse; 0: none
std::int64_t g_readableBytes = -1;    // bytes beyond this are never delivered; -1: all
std::int32_t g_reportedLength = -1;   // length the second open reports; -1: the real one
std::int32_t g_openCalls = 0;
std::int32_t g_closeCalls = 0;
std::int32_t g_openA[8] = {};
std::int32_t g_openB[8] = {};
char16_t g_lastPath[256] = {};
}  // namespace

FAKE_EXPORT void FakeInputSetData(const std::uint8_t* data, std::int32_t length) {
  g_data.assign(data, data + length);
  g_position = 0;
  g_open = false;
  g_refuseOpenNumber = 0;
  g_readableBytes = -1;
  g_reportedLength = -1;
  g_openCalls = g_closeCalls = 0;
}

FAKE_EXPORT void FakeInputRefuseOpen(std::int32_t callNumber) {
  g_refuseOpenNumber = callNumber;
}
FAKE_EXPORT void FakeInputLimitReadable(std::int32_t bytes) {
  g_readableBytes = bytes;
}
FAKE_EXPORT void FakeInputReportLength(std::int32_t length) {
  g_reportedLength = length;
}
FAKE_EXPORT std::int32_t FakeInputOpenCalls() {
  return g_openCalls;
}
FAKE_EXPORT std::int32_t FakeInputCloseCalls() {
  return g_closeCalls;
}
FAKE_EXPORT std::int32_t FakeInputIsOpen() {
  return g_open ? 1 : 0;
}
FAKE_EXPORT std::int32_t FakeInputOpenArgument(std::int32_t call, std::int32_t which) {
  if (call < 0 || call >= 8) return 0;
  return which == 0 ? g_openA[call] : g_openB[call];
}
FAKE_EXPORT const char16_t* FakeInputLastPath() {
  return g_lastPath;
}

FAKE_EXPORT std::int32_t InputMediaOpen(const char16_t* path, std::int32_t, std::int32_t,
                                        std::int32_t a, std::int32_t b) {
  const std::int32_t call = g_openCalls++;
  if (call < 8) {
    g_openA[call] = a;
    g_openB[call] = b;
  }
  std::size_t n = 0;
  while (path != nullptr && path[n] != 0 && n < 255) {
    g_lastPath[n] = path[n];
    ++n;
  }
  g_lastPath[n] = 0;
  if (call + 1 == g_refuseOpenNumber) return 0;
  g_open = true;
  g_position = 0;
  if (call > 0 && g_reportedLength >= 0) return g_reportedLength;
  return g_data.empty() ? 1 : static_cast<std::int32_t>(g_data.size());
}

FAKE_EXPORT std::int32_t InputMediaRead(void* buffer, std::int32_t count) {
  if (!g_open || count <= 0) return 0;
  std::int64_t end = static_cast<std::int64_t>(g_data.size());
  if (g_readableBytes >= 0 && g_readableBytes < end) end = g_readableBytes;
  if (g_position >= end) return 0;
  const std::int64_t n = count < end - g_position ? count : end - g_position;
  std::memcpy(buffer, g_data.data() + g_position, static_cast<std::size_t>(n));
  g_position += n;
  return static_cast<std::int32_t>(n);
}

#ifndef FAKE_WITHOUT_SEEK
FAKE_EXPORT std::int32_t InputMediaSeek(std::int32_t offset, std::int32_t origin) {
  if (!g_open) return -1;
  const std::int64_t target = (origin == 1 ? g_position : 0) + offset;
  if (target < 0) return -1;
  g_position = target;
  return static_cast<std::int32_t>(target);
}
#endif

FAKE_EXPORT std::int32_t InputMediaClose() {
  ++g_closeCalls;
  g_open = false;
  return 1;
}
