// bench-input: reads a path or address through an input module front to back in pieces (as a
// streaming reader does), then at random places (as the built-in reader seeks), and prints the
// rates.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "input/input_module.h"
#include "platform/module.h"
#include "platform/wide_string.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: bench-input InputMedia|InputMediaCache PATH-or-URL [PIECE [CACHE_KIB]]\n");
    return 2;
  }
  using namespace mivora;
  const std::u16string module_name = platform::FromUtf8(std::string(argv[1]) + ".dll");
  const int piece = argc > 3 ? std::atoi(argv[3]) : 8192;
  const int cache = argc > 4 ? std::atoi(argv[4]) : 0;
  if (piece <= 0) return 2;
  platform::ModuleHandle module = platform::LoadModule(module_name.c_str());
  if (module == nullptr) {
    std::fprintf(stderr, "cannot load %s\n", argv[1]);
    return 1;
  }
  auto open = platform::GetEntryPointAs<InputMediaOpenFn>(module, u"InputMediaOpen");
  auto read = platform::GetEntryPointAs<InputMediaReadFn>(module, u"InputMediaRead");
  auto seek = platform::GetEntryPointAs<InputMediaSeekFn>(module, u"InputMediaSeek");
  auto close = platform::GetEntryPointAs<InputMediaCloseFn>(module, u"InputMediaClose");
  if (open == nullptr || read == nullptr || seek == nullptr || close == nullptr) return 1;

  const std::u16string path = platform::FromUtf8(argv[2]);
  auto start = std::chrono::steady_clock::now();
  const std::int32_t length = open(path.c_str(), 0, 0, 4000000, cache);
  if (length == 0) {
    std::fprintf(stderr, "cannot open %s\n", argv[2]);
    return 1;
  }
  std::printf("open: %.1f ms, %d bytes\n", Seconds(start) * 1000, length);

  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(piece));
  start = std::chrono::steady_clock::now();
  long long total = 0;
  for (std::int32_t n; (n = read(buffer.data(), piece)) > 0;) total += n;
  double took = Seconds(start);
  std::printf("front to back: %lld bytes in %.3f s, %.1f MB/s\n", total, took, total / took / 1e6);

  std::mt19937 rng(1);
  int reads = 0;
  start = std::chrono::steady_clock::now();
  while ((took = Seconds(start)) < 2.0) {
    const std::int32_t at = static_cast<std::int32_t>(rng() % static_cast<unsigned>(length));
    if (seek(at, 0) != at || read(buffer.data(), 4096) < 0) break;
    ++reads;
  }
  std::printf("random 4 KiB reads: %.0f per second\n", reads / took);
  close();
  platform::FreeModule(module);
  return 0;
}
