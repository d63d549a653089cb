// InputMedia: plain reads from a local file, one open source at a time.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "platform/wide_string.h"

namespace {
int g_fd = -1;
std::int64_t g_length = 0;
}  // namespace

extern "C" {

__attribute__((visibility("default"))) std::int32_t InputMediaOpen(const char16_t* path,
                                                                   std::int32_t, std::int32_t,
                                                                   std::int32_t, std::int32_t) {
  if (g_fd >= 0) close(g_fd);
  g_fd = -1;
  if (path == nullptr) return 0;
  const std::string file = mivora::platform::ToUtf8(path);
  g_fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (g_fd < 0) return 0;
  g_length = lseek(g_fd, 0, SEEK_END);
  lseek(g_fd, 0, SEEK_SET);
  if (g_length < 0 || g_length > INT32_MAX) {
    close(g_fd);
    g_fd = -1;
    return 0;
  }
  return g_length > 0 ? static_cast<std::int32_t>(g_length) : 1;
}

__attribute__((visibility("default"))) std::int32_t InputMediaRead(void* buffer,
                                                                   std::int32_t count) {
  if (g_fd < 0 || buffer == nullptr || count <= 0) return 0;
  std::int32_t total = 0;
  while (total < count) {
    const ssize_t n = read(g_fd, static_cast<char*>(buffer) + total, count - total);
    if (n <= 0) break;
    total += static_cast<std::int32_t>(n);
  }
  return total;
}

__attribute__((visibility("default"))) std::int32_t InputMediaSeek(std::int32_t offset,
                                                                   std::int32_t origin) {
  if (g_fd < 0) return -1;
  const off_t pos = lseek(g_fd, offset, origin == 1 ? SEEK_CUR : SEEK_SET);
  return pos < 0 ? -1 : static_cast<std::int32_t>(pos);
}

__attribute__((visibility("default"))) std::int32_t InputMediaClose() {
  if (g_fd >= 0) close(g_fd);
  g_fd = -1;
  return 1;
}
}
