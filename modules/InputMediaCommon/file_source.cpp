#include "modules/InputMediaCommon/file_source.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mivora::io {

std::unique_ptr<FileSource> FileSource::Open(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  // Directories and devices have no meaningful fixed length; refuse them.
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<FileSource>(new FileSource(fd, st.st_size));
}

FileSource::~FileSource() {
  close(fd_);
}

std::int64_t FileSource::ReadAt(std::int64_t pos, std::uint8_t* buffer, std::int64_t count) {
  if (pos < 0 || count <= 0 || pos >= length_) return 0;
  if (count > length_ - pos) count = length_ - pos;
  std::int64_t total = 0;
  while (total < count) {
    const ssize_t n = pread(fd_, buffer + total, static_cast<size_t>(count - total), pos + total);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += n;
  }
  return total;
}

}  // namespace mivora::io
