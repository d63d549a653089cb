// Both input modules over local files: results the AVI reader relies on, ends and bad input.
#include <fcntl.h>
#include <unistd.h>

#include <random>

#include "tests/modules/input_module_fixture.h"

namespace mivora::test {
namespace {

class LocalFileTest : public ::testing::TestWithParam<const char16_t*> {
 protected:
  TestFolder folder_;
  InputModule module_{GetParam()};
};

TEST_P(LocalFileTest, OpenReadSeekAndEnds) {
  ASSERT_TRUE(module_.ok());
  ASSERT_EQ(module_.Open(folder_.File("data.bin"), -1, 1000000), 300000);
  std::vector<std::uint8_t> buf(100);
  EXPECT_EQ(module_.read(buf.data(), 100), 100);
  EXPECT_EQ(buf, Slice(folder_.data(), 0, 100));
  EXPECT_EQ(module_.seek(0, 1), 100);
  EXPECT_EQ(module_.seek(50, 1), 150);
  EXPECT_EQ(module_.seek(-20, 1), 130);
  EXPECT_EQ(module_.ReadAt(130, 10), Slice(folder_.data(), 130, 10));
  EXPECT_EQ(module_.seek(-10, 2), 299990);

  // Short read at the end, then nothing.
  EXPECT_EQ(module_.ReadAt(299990, 100), Slice(folder_.data(), 299990, 10));
  EXPECT_EQ(module_.seek(0, 1), 300000);
  EXPECT_EQ(module_.read(buf.data(), 100), 0);

  // Past the end clamps to the end; negative targets and unknown origins change nothing.
  EXPECT_EQ(module_.seek(400000, 0), 300000);
  EXPECT_EQ(module_.read(buf.data(), 100), 0);
  EXPECT_EQ(module_.seek(1000, 0), 1000);
  EXPECT_EQ(module_.seek(-1, 0), -1);
  EXPECT_EQ(module_.seek(-2000, 1), -1);
  EXPECT_EQ(module_.seek(5, 3), -1);
  EXPECT_EQ(module_.seek(0, 1), 1000);
  EXPECT_EQ(module_.seek(INT32_MAX, 1), 300000);

  // Bad buffers and counts read nothing and keep the position.
  EXPECT_EQ(module_.read(nullptr, 10), 0);
  EXPECT_EQ(module_.read(buf.data(), 0), 0);
  EXPECT_EQ(module_.read(buf.data(), -5), 0);
  EXPECT_EQ(module_.seek(0, 1), 300000);

  // The reader's reopen: closing and opening again starts at 0.
  EXPECT_EQ(module_.close(), 1);
  EXPECT_EQ(module_.read(buf.data(), 10), 0);
  EXPECT_EQ(module_.seek(0, 1), -1);
  EXPECT_EQ(module_.close(), 1);
  ASSERT_EQ(module_.Open(folder_.File("data.bin"), 4000000, 0), 300000);
  EXPECT_EQ(module_.seek(0, 1), 0);
  // Opening another source replaces the open one.
  ASSERT_EQ(module_.Open(folder_.File("small.bin")), 1000);
  EXPECT_EQ(module_.ReadAt(0, 2000), folder_.small());
}

TEST_P(LocalFileTest, EmptyMissingAndUnusablePaths) {
  ASSERT_TRUE(module_.ok());
  // An empty file opens (nonzero) and reads nothing.
  ASSERT_EQ(module_.Open(folder_.File("empty.bin")), 1);
  std::uint8_t byte = 0;
  EXPECT_EQ(module_.read(&byte, 1), 0);
  EXPECT_EQ(module_.seek(10, 0), 0);

  EXPECT_EQ(module_.Open(folder_.File("missing.bin")), 0);
  EXPECT_EQ(module_.read(&byte, 1), 0);
  EXPECT_EQ(module_.Open(folder_.path()), 0);
  EXPECT_EQ(module_.Open(""), 0);
  EXPECT_EQ(module_.open(nullptr, 0, 0, -1, 1000000), 0);
  EXPECT_EQ(module_.Open("http://"), 0);
  EXPECT_EQ(module_.Open("http://127.0.0.1:0/x"), 0);
}

TEST_P(LocalFileTest, SourcesOf2GiBAreRefused) {
  ASSERT_TRUE(module_.ok());
  const auto make_sparse = [&](const std::string& name, off_t size) {
    const int fd = open(folder_.File(name).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    const bool ok = fd >= 0 && ftruncate(fd, size) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
  };
  if (!make_sparse("huge.bin", off_t{1} << 31) || !make_sparse("largest.bin", INT32_MAX)) {
    GTEST_SKIP() << "no sparse files here";
  }
  EXPECT_EQ(module_.Open(folder_.File("huge.bin")), 0);
  ASSERT_EQ(module_.Open(folder_.File("largest.bin")), INT32_MAX);
  EXPECT_EQ(module_.seek(-3, 2), INT32_MAX - 3);
  std::vector<std::uint8_t> tail(10, 0xFF);
  EXPECT_EQ(module_.read(tail.data(), 10), 3);
  EXPECT_EQ(tail[0], 0);
  EXPECT_EQ(module_.seek(0, 1), INT32_MAX);
}

TEST_P(LocalFileTest, RandomSeeksAndReadsMatchTheFile) {
  ASSERT_TRUE(module_.ok());
  ASSERT_EQ(module_.Open(folder_.File("data.bin")), 300000);
  std::mt19937 rng(42);
  std::int32_t pos = 0;
  for (int i = 0; i < 3000; ++i) {
    const std::int32_t count = static_cast<std::int32_t>(rng() % (i % 10 == 0 ? 150000 : 3000));
    if (rng() % 2 == 0) {
      pos = static_cast<std::int32_t>(rng() % 310000);
      ASSERT_EQ(module_.seek(pos, 0), std::min(pos, 300000));
    } else {
      const std::int32_t step = static_cast<std::int32_t>(rng() % 20000) - 10000;
      const std::int32_t expected = pos + step < 0 ? -1 : std::min(pos + step, 300000);
      ASSERT_EQ(module_.seek(step, 1), expected);
      if (expected >= 0) pos = expected;
    }
    pos = std::min(pos, 300000);
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(count));
    const std::int32_t got = module_.read(buf.data(), count);
    buf.resize(static_cast<std::size_t>(std::max(got, 0)));
    ASSERT_EQ(buf, Slice(folder_.data(), static_cast<std::size_t>(pos), count)) << "at " << pos;
    pos += got;
  }
}

INSTANTIATE_TEST_SUITE_P(Modules, LocalFileTest,
                         ::testing::Values(u"InputMedia.dll", u"InputMediaCache.dll"),
                         [](const auto& info) {
                           return std::string(info.index == 0 ? "InputMedia" : "InputMediaCache");
                         });

}  // namespace
}  // namespace mivora::test
