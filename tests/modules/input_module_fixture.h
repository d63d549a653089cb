// Loads an input module by its player name and offers its four entry points, plus test data.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "input/input_module.h"
#include "platform/module.h"

namespace mivora::test {

struct InputModule {
  explicit InputModule(const char16_t* name) {
    handle = platform::LoadModule(name);
    if (handle == nullptr) return;
    open = platform::GetEntryPointAs<InputMediaOpenFn>(handle, u"InputMediaOpen");
    read = platform::GetEntryPointAs<InputMediaReadFn>(handle, u"InputMediaRead");
    seek = platform::GetEntryPointAs<InputMediaSeekFn>(handle, u"InputMediaSeek");
    close = platform::GetEntryPointAs<InputMediaCloseFn>(handle, u"InputMediaClose");
  }
  ~InputModule() {
    if (close != nullptr) close();
    platform::FreeModule(handle);
  }
  bool ok() const {
    return open != nullptr && read != nullptr && seek != nullptr && close != nullptr;
  }
  std::int32_t Open(const std::string& path, std::int32_t a = 4000000, std::int32_t b = 0) {
    const std::u16string wide(path.begin(), path.end());
    return open(wide.c_str(), 0, 0, a, b);
  }
  // Seek from the start, then read count bytes; the result holds what was read.
  std::vector<std::uint8_t> ReadAt(std::int32_t pos, std::int32_t count) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(count));
    if (seek(pos, 0) != pos) return {};
    out.resize(static_cast<std::size_t>(std::max(0, read(out.data(), count))));
    return out;
  }

  platform::ModuleHandle handle = nullptr;
  InputMediaOpenFn open = nullptr;
  InputMediaReadFn read = nullptr;
  InputMediaSeekFn seek = nullptr;
  InputMediaCloseFn close = nullptr;
};

// Deterministic pseudo-random bytes, different at every position so misplaced reads show.
std::vector<std::uint8_t> TestBytes(std::size_t count, std::uint32_t seed = 1);

// A fresh folder under /tmp with data.bin (300,000 test bytes), small.bin (1,000) and empty.bin.
class TestFolder {
 public:
  TestFolder();
  ~TestFolder();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  void Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
  const std::vector<std::uint8_t>& data() const { return data_; }
  const std::vector<std::uint8_t>& small() const { return small_; }

 private:
  std::string path_;
  std::vector<std::uint8_t> data_;
  std::vector<std::uint8_t> small_;
};

inline std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& v, std::size_t pos,
                                       std::size_t count) {
  if (pos >= v.size()) return {};
  return std::vector<std::uint8_t>(v.begin() + pos, v.begin() + std::min(v.size(), pos + count));
}

}  // namespace mivora::test
