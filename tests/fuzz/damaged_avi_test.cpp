// mivora-decode on damaged AVI files (flipped bits, truncation, a scrambled index, broken headers):
// it may report failure, but must end by itself, without a crash or a sanitizer report.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

std::string Temp(const std::string& name) {
  return ::testing::TempDir() + "mivora_damaged_" + std::to_string(getpid()) + "_" + name;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}

std::size_t Find(const Bytes& b, const char* tag) {
  for (std::size_t i = 0; i + 4 <= b.size(); ++i)
    if (std::equal(tag, tag + 4, b.begin() + i)) return i;
  return b.size();
}

class DamagedAvi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    clip_ = new std::string(Temp("clip.avi"));
    const std::string make =
        "ffmpeg -hide_banner -loglevel error -nostdin -y -threads 1 -f lavfi -i "
        "testsrc2=s=96x64:r=10 -f lavfi -i sine=r=22050 -t 1.2 -c:v mpeg4 -vtag DIVX -bf 0 "
        "-g 5 -q:v 5 -flags +mv4 -c:a libmp3lame -b:a 32k " +
        Quote(*clip_);
    ok_ = std::system(make.c_str()) == 0;
  }
  static void TearDownTestSuite() {
    std::remove(clip_->c_str());
    delete clip_;
  }

  // Runs the decoder on the damaged copy; fails on a signal, a sanitizer report or a hang.
  void Expect(const Bytes& damaged, const std::string& what) {
    const std::string path = Temp("case.avi");
    WriteFile(path, damaged);
    for (const char* mode : {"--framemd5", "--info"}) {
      const std::string command =
          "ASAN_OPTIONS=exitcode=86 UBSAN_OPTIONS=halt_on_error=1:exitcode=86 timeout 60 " +
          Quote(MIVORA_DECODE) + " " + mode + " " + Quote(path) + " >/dev/null 2>&1";
      const int status = std::system(command.c_str());
      ASSERT_TRUE(WIFEXITED(status)) << what << ": killed by a signal";
      const int code = WEXITSTATUS(status);
      // 0 decoded, 1 not opened, 2 unsupported feature, 3 damaged frames; 86 sanitizer, 124 hang.
      EXPECT_LE(code, 3) << what << " " << mode << ": exit " << code;
    }
    std::remove(path.c_str());
  }

  static std::string* clip_;
  static bool ok_;
};

std::string* DamagedAvi::clip_ = nullptr;
bool DamagedAvi::ok_ = false;

TEST_F(DamagedAvi, FlippedBits) {
  ASSERT_TRUE(ok_) << "ffmpeg could not make the clip";
  const Bytes good = ReadFile(*clip_);
  ASSERT_GT(good.size(), 1000u);
  std::mt19937 rng(7);
  for (int round = 0; round < 12; ++round) {
    Bytes b = good;
    const int flips = round < 6 ? 1 + round : 40 * round;
    for (int k = 0; k < flips; ++k)
      b[rng() % b.size()] ^= static_cast<unsigned char>(1u << (rng() % 8));
    Expect(b, "flips round " + std::to_string(round));
  }
  // Damage confined to the compressed video: every byte after the first frame's headers.
  const std::size_t movi = Find(good, "movi");
  ASSERT_LT(movi, good.size());
  Bytes b = good;
  for (std::size_t i = movi + 64; i < b.size() && i < movi + 64 + 20000; i += 7)
    b[i] = static_cast<unsigned char>(rng());
  Expect(b, "video payload noise");
}

TEST_F(DamagedAvi, Truncated) {
  ASSERT_TRUE(ok_);
  const Bytes good = ReadFile(*clip_);
  for (double part : {0.0, 0.01, 0.05, 0.3, 0.5, 0.9, 0.999}) {
    Bytes b(good.begin(), good.begin() + static_cast<long>(good.size() * part));
    Expect(b, "truncated to " + std::to_string(part));
  }
}

TEST_F(DamagedAvi, ScrambledIndexAndHeaders) {
  ASSERT_TRUE(ok_);
  const Bytes good = ReadFile(*clip_);
  const std::size_t idx = Find(good, "idx1");
  ASSERT_LT(idx, good.size());
  std::mt19937 rng(9);
  Bytes b = good;
  // Offsets and sizes of the index entries (16 bytes each after the chunk header).
  for (std::size_t i = idx + 8; i + 16 <= b.size(); i += 16)
    for (int k = 8; k < 16; ++k) b[i + k] = static_cast<unsigned char>(rng());
  Expect(b, "scrambled index entries");
  b = good;
  for (std::size_t i = idx + 8; i + 16 <= b.size(); i += 16)
    for (int k = 12; k < 16; ++k) b[i + k] = 0xFF;  // huge sizes
  Expect(b, "huge index sizes");
  b = good;
  b[idx + 4] = b[idx + 5] = b[idx + 6] = b[idx + 7] = 0xFF;  // index chunk longer than the file
  Expect(b, "index length");
  for (const char* tag : {"strh", "strf", "avih", "movi", "LIST"}) {
    b = good;
    const std::size_t at = Find(b, tag);
    if (at + 8 > b.size()) continue;
    for (int k = 4; k < 8; ++k) b[at + k] = static_cast<unsigned char>(rng());
    Expect(b, std::string("length of ") + tag);
    b = good;
    for (std::size_t k = at + 8; k < at + 72 && k < b.size(); ++k) b[k] = 0;
    Expect(b, std::string("zeroed ") + tag);
  }
}

}  // namespace
