#include "shell/playlist_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/wide_string.h"

namespace mivora {

bool ReadPlaylistFileBytes(std::u16string_view path, std::string& bytes) {
  bytes.clear();
  const int fd = open(platform::ToUtf8(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (ok) bytes.resize(std::size_t(std::min<off_t>(info.st_size, kMostPlaylistFileBytes)));
  std::size_t have = 0;
  while (ok && have < bytes.size()) {
    const ssize_t n = read(fd, bytes.data() + have, bytes.size() - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    have += std::size_t(n);
  }
  close(fd);
  bytes.resize(ok ? have : 0);
  return ok;
}

}  // namespace mivora
