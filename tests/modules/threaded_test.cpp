// The reader calls the module from several threads; each call must stay whole on its own.
#include <mutex>
#include <random>
#include <thread>

#include "tests/modules/input_module_fixture.h"
#include "tests/support/test_http_server.h"

namespace mivora::test {
namespace {

TEST(ThreadedInputTest, ThreeThreadsShareOneSource) {
  TestFolder folder;
  TestHttpServer server(folder.path());
  for (const char16_t* name : {u"InputMediaCache.dll", u"InputMedia.dll"}) {
    InputModule module(name);
    ASSERT_TRUE(module.ok());
    ASSERT_EQ(module.Open(server.Url("data.bin"), 4000000, 512), 300000);

    // Like the reader: every seek-plus-read pair under one lock, checked byte for byte.
    std::mutex reader_lock;
    std::vector<int> mismatches(3, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
      threads.emplace_back([&, t] {
        std::mt19937 rng(static_cast<unsigned>(t + 1));
        for (int i = 0; i < 150; ++i) {
          const std::int32_t pos = static_cast<std::int32_t>(rng() % 300000);
          const std::int32_t count = static_cast<std::int32_t>(rng() % 9000);
          std::vector<std::uint8_t> got;
          {
            std::lock_guard lock(reader_lock);
            got = module.ReadAt(pos, count);
          }
          if (got != Slice(folder.data(), pos, count)) ++mismatches[t];
        }
      });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(mismatches, std::vector<int>(3, 0));

    // Without the caller's lock the pairs interleave, but each call keeps to its bounds.
    threads.clear();
    std::vector<int> overruns(3, 0);
    for (int t = 0; t < 3; ++t) {
      threads.emplace_back([&, t] {
        std::mt19937 rng(static_cast<unsigned>(t + 10));
        std::vector<std::uint8_t> buf(5000);
        for (int i = 0; i < 150; ++i) {
          module.seek(static_cast<std::int32_t>(rng() % 300000), rng() % 2);
          const std::int32_t got = module.read(buf.data(), 5000);
          const std::int32_t where = module.seek(0, 1);
          if (got < 0 || got > 5000 || where < 0 || where > 300000) ++overruns[t];
        }
      });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(overruns, std::vector<int>(3, 0));
    EXPECT_EQ(module.close(), 1);
  }
}

}  // namespace
}  // namespace mivora::test
