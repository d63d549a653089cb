// The four entry points of an input I/O module, as the reader modules call them.
#pragma once

#include <cstdint>

namespace mivora::reader {

struct InputIo {
  std::int32_t (*open)(const char16_t* path, std::int32_t, std::int32_t, std::int32_t a,
                       std::int32_t b) = nullptr;
  std::int32_t (*read)(void* buffer, std::int32_t count) = nullptr;
  std::int32_t (*seek)(std::int32_t offset, std::int32_t origin) = nullptr;
  std::int32_t (*close)() = nullptr;

  bool Complete() const {
    return open != nullptr && read != nullptr && seek != nullptr && close != nullptr;
  }
};

}  // namespace mivora::reader
