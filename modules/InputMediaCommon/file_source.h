// Local files through POSIX positioned reads.
#pragma once

#include <memory>
#include <string>

#include "modules/InputMediaCommon/byte_source.h"

namespace mivora::io {

class FileSource final : public ByteSource {
 public:
  // Null when the file cannot be opened or is not a regular file.
  static std::unique_ptr<FileSource> Open(const std::string& path);
  ~FileSource() override;

  std::int64_t Length() const override { return length_; }
  std::int64_t ReadAt(std::int64_t pos, std::uint8_t* buffer, std::int64_t count) override;

 private:
  FileSource(int fd, std::int64_t length) : fd_(fd), length_(length) {}
  int fd_;
  std::int64_t length_;
};

}  // namespace mivora::io
