// Both input modules over http:// against the loopback test server.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "tests/modules/input_module_fixture.h"
#include "tests/support/test_http_server.h"

namespace mivora::test {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::size_t CountContaining(const std::vector<std::string>& lines, const std::string& part) {
  return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
    return l.find(part) != std::string::npos;
  }));
}

class HttpTest : public ::testing::TestWithParam<const char16_t*> {
 protected:
  bool cached() const { return std::u16string(GetParam()) == u"InputMediaCache.dll"; }
  // Bytes one miss fetches: the plain module's window, or the cache's read-ahead run.
  std::int32_t fetch_bytes() const { return cached() ? 4 * 65536 : 65536; }

  TestFolder folder_;
  InputModule module_{GetParam()};
};

TEST_P(HttpTest, RandomSeeksAndReadsMatchTheFile) {
  ASSERT_TRUE(module_.ok());
  TestHttpServer server(folder_.path());
  // The reader's header pass: start, then the index at the end, then back.
  ASSERT_EQ(module_.Open(server.Url("data.bin"), -1, 1000000), 300000);
  EXPECT_EQ(module_.ReadAt(0, 12), Slice(folder_.data(), 0, 12));
  EXPECT_EQ(module_.ReadAt(299000, 2000), Slice(folder_.data(), 299000, 1000));
  EXPECT_EQ(module_.ReadAt(200, 16000), Slice(folder_.data(), 200, 16000));
  // Back at the start the cache still holds the first bytes; the plain window has moved on.
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), cached() ? 2u : 3u);
  EXPECT_EQ(requests[0], "GET /data.bin bytes=0-" + std::to_string(fetch_bytes() - 1));
  EXPECT_NE(requests[1].find("GET /data.bin bytes=2"), std::string::npos) << requests[1];

  ASSERT_EQ(module_.close(), 1);
  ASSERT_EQ(module_.Open(server.Url("data.bin"), 4000000, 0), 300000);
  std::mt19937 rng(7);
  for (int i = 0; i < 400; ++i) {
    const std::int32_t pos = static_cast<std::int32_t>(rng() % 300000);
    const std::int32_t count = static_cast<std::int32_t>(rng() % (i % 20 == 0 ? 100000 : 4000));
    ASSERT_EQ(module_.ReadAt(pos, count), Slice(folder_.data(), pos, count)) << "at " << pos;
  }
  // Every request asked for a bounded range; none fetched the whole file.
  for (const auto& line : server.Requests()) EXPECT_NE(line.find(" bytes="), std::string::npos);
}

TEST_P(HttpTest, RedirectsUpToFiveAreFollowed) {
  ASSERT_TRUE(module_.ok());
  TestHttpServer server(folder_.path(), "redirect=6");
  ASSERT_EQ(module_.Open(server.Url("r/5/data.bin")), 300000);
  EXPECT_EQ(module_.ReadAt(150000, 5000), Slice(folder_.data(), 150000, 5000));
  // Reads after the open go straight to the final address.
  EXPECT_EQ(CountContaining(server.Requests(), "GET /r/0/data.bin"), 2u);
  EXPECT_EQ(module_.Open(server.Url("r/6/data.bin")), 0);
  // Host names are looked up; "localhost" may list ::1 first, where nothing listens.
  ASSERT_EQ(module_.Open("http://localhost:" + std::to_string(server.port()) + "/r/0/small.bin"),
            1000);
  EXPECT_EQ(module_.ReadAt(0, 1000), folder_.small());
  EXPECT_EQ(module_.Open("http://no-such-host.invalid/x"), 0);
  EXPECT_EQ(module_.Open(server.Url("r/1/missing.bin")), 0);
}

TEST_P(HttpTest, ErrorAnswersAndUnusableSourcesFailTheOpen) {
  ASSERT_TRUE(module_.ok());
  {
    TestHttpServer server(folder_.path());
    EXPECT_EQ(module_.Open(server.Url("missing.bin")), 0);
    EXPECT_EQ(module_.Open(server.Url("../etc/passwd")), 0);
    // An empty resource opens like an empty file.
    ASSERT_EQ(module_.Open(server.Url("empty.bin")), 1);
    std::uint8_t byte = 0;
    EXPECT_EQ(module_.read(&byte, 1), 0);
    // 2 GiB and more cannot be addressed with 32-bit positions.
    const int fd = open(folder_.File("huge.bin").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    const bool sparse = ftruncate(fd, off_t{1} << 31) == 0;
    ::close(fd);
    if (sparse) {
      EXPECT_EQ(module_.Open(server.Url("huge.bin")), 0);
    }
  }
  for (const char* mode : {"status=500", "status=403", "status=302", "status=204"}) {
    TestHttpServer server(folder_.path(), mode);
    EXPECT_EQ(module_.Open(server.Url("data.bin")), 0) << mode;
  }
}

TEST_P(HttpTest, ServerIgnoringRangeServesOnlyWhatNeedsNoJump) {
  ASSERT_TRUE(module_.ok());
  const std::vector<std::uint8_t> big = TestBytes(1000000, 9);
  folder_.Write("big.bin", big);
  TestHttpServer server(folder_.path(), "no-range");
  ASSERT_EQ(module_.Open(server.Url("data.bin")), 300000);
  // Reading on from the start streams the one response; seeks to the current position or
  // within what is buffered need no request.
  EXPECT_EQ(module_.ReadAt(0, 100), Slice(folder_.data(), 0, 100));
  EXPECT_EQ(module_.seek(0, 1), 100);
  EXPECT_EQ(module_.ReadAt(10, 1000), Slice(folder_.data(), 10, 1000));
  EXPECT_EQ(module_.ReadAt(1010, 100000), Slice(folder_.data(), 1010, 100000));
  EXPECT_EQ(server.RequestCount(), 1u);
  // A jump the stream cannot serve fails cleanly instead of handing out wrong bytes.
  ASSERT_EQ(module_.Open(server.Url("big.bin")), 1000000);
  EXPECT_EQ(module_.ReadAt(0, 1000), Slice(big, 0, 1000));
  std::vector<std::uint8_t> buf(1000);
  EXPECT_EQ(module_.seek(900000, 0), 900000);
  EXPECT_EQ(module_.read(buf.data(), 1000), 0);
  EXPECT_EQ(module_.seek(0, 1), 900000);
  // The start can always be fetched again.
  EXPECT_EQ(module_.ReadAt(5, 100), Slice(big, 5, 100));
}

TEST_P(HttpTest, ConnectionsCutShortGiveShortReadsOfTheRightBytes) {
  ASSERT_TRUE(module_.ok());
  const auto start = Clock::now();
  {
    TestHttpServer server(folder_.path(), "drop-after=1000");
    ASSERT_EQ(module_.Open(server.Url("data.bin")), 300000);
    std::int32_t pos = 0;
    int short_reads = 0;
    for (int i = 0; i < 400 && pos < 300000; ++i) {
      std::vector<std::uint8_t> buf(65536);
      const std::int32_t got = module_.read(buf.data(), 65536);
      ASSERT_GT(got, 0);
      buf.resize(static_cast<std::size_t>(got));
      ASSERT_EQ(buf, Slice(folder_.data(), static_cast<std::size_t>(pos), buf.size()));
      if (got < 65536 && pos + got < 300000) ++short_reads;
      pos += got;
    }
    EXPECT_GT(short_reads, 0);
  }
  {
    TestHttpServer server(folder_.path(), "drop-after=0");
    ASSERT_EQ(module_.Open(server.Url("data.bin")), 300000);
    std::vector<std::uint8_t> buf(100);
    EXPECT_EQ(module_.read(buf.data(), 100), 0);
  }
  EXPECT_LT(SecondsSince(start), 15.0);  // a hang check, not a speed target
}

TEST_P(HttpTest, ClosedKeepAliveConnectionsAreReopened) {
  ASSERT_TRUE(module_.ok());
  // The server closes each connection right after a complete response.
  TestHttpServer server(folder_.path(), "drop-after=" + std::to_string(fetch_bytes()));
  ASSERT_EQ(module_.Open(server.Url("data.bin")), 300000);
  std::vector<std::uint8_t> all(300000);
  std::int32_t pos = 0;
  while (pos < 300000) {
    const std::int32_t got = module_.read(all.data() + pos, 30000);
    ASSERT_EQ(got, 30000);
    pos += got;
  }
  EXPECT_EQ(all, folder_.data());
  EXPECT_EQ(server.RequestCount(),
            static_cast<std::size_t>((300000 + fetch_bytes() - 1) / fetch_bytes()));
}

TEST_P(HttpTest, ReReadsComeFromMemory) {
  ASSERT_TRUE(module_.ok());
  TestHttpServer server(folder_.path());
  ASSERT_EQ(module_.Open(server.Url("data.bin"), 4000000, 1024), 300000);
  // Many small reads inside one fetched stretch cost the one request.
  for (std::int32_t pos = 0; pos + 100 <= fetch_bytes(); pos += 100) {
    ASSERT_EQ(module_.ReadAt(pos, 100), Slice(folder_.data(), pos, 100));
  }
  EXPECT_EQ(module_.ReadAt(1234, 10), Slice(folder_.data(), 1234, 10));
  EXPECT_EQ(server.RequestCount(), 1u);
  if (!cached()) return;
  // The cache holds the whole file once read: any re-read is served without a request.
  EXPECT_EQ(module_.ReadAt(0, 300000), folder_.data());
  const std::size_t after_first_pass = server.RequestCount();
  std::mt19937 rng(3);
  for (int i = 0; i < 200; ++i) {
    const std::int32_t pos = static_cast<std::int32_t>(rng() % 300000);
    ASSERT_EQ(module_.ReadAt(pos, 3000), Slice(folder_.data(), pos, 3000));
  }
  EXPECT_EQ(server.RequestCount(), after_first_pass);
}

INSTANTIATE_TEST_SUITE_P(Modules, HttpTest,
                         ::testing::Values(u"InputMedia.dll", u"InputMediaCache.dll"),
                         [](const auto& info) {
                           return std::string(info.index == 0 ? "InputMedia" : "InputMediaCache");
                         });

// The time-out paths are shared by both modules; one is enough.
TEST(HttpTimeoutTest, SilentServersEndOpensAndReadsInBoundedTime) {
  TestFolder folder;
  InputModule module(u"InputMedia.dll");
  ASSERT_TRUE(module.ok());
  {
    TestHttpServer server(folder.path(), "silent");
    const auto start = Clock::now();
    EXPECT_EQ(module.Open(server.Url("data.bin")), 0);
    EXPECT_LT(SecondsSince(start), 15.0);  // a hang check, not a speed target
  }
  {
    // The server stops sending in the middle of a body but keeps the connection open.
    TestHttpServer server(folder.path(), "stall-after=1000");
    ASSERT_EQ(module.Open(server.Url("data.bin")), 300000);
    const auto start = Clock::now();
    EXPECT_EQ(module.ReadAt(0, 65536), Slice(folder.data(), 0, 1000));
    EXPECT_LT(SecondsSince(start), 15.0);
  }
}

}  // namespace
}  // namespace mivora::test
