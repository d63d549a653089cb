#include "tests/modules/input_module_fixture.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace mivora::test {

std::vector<std::uint8_t> TestBytes(std::size_t count, std::uint32_t seed) {
  std::vector<std::uint8_t> out(count);
  std::uint32_t x = seed * 2654435761u + 12345;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x >> 24);
  }
  return out;
}

TestFolder::TestFolder() : data_(TestBytes(300000)), small_(TestBytes(1000, 7)) {
  char name[] = "/tmp/mivora_io_XXXXXX";
  if (mkdtemp(name) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = name;
  Write("data.bin", data_);
  Write("small.bin", small_);
  Write("empty.bin", {});
}

TestFolder::~TestFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void TestFolder::Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  std::ofstream out(File(name), std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace mivora::test
