// AC prediction changes how intra coefficients are coded, never the pictures: a stream encoded
// with it must decode to exactly the pictures of the same stream encoded without it. Adaptive
// quantisation makes neighbouring intra blocks differ in quantiser, so the rescaling of the
// predicted levels is exercised too.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace mivora::conformance {
namespace {

std::string Run(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return out;
  std::array<char, 4096> buffer;
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe.get()))
    out.append(buffer.data(), n);
  return out;
}

// mivora-decode's frame checksums of the clip ffmpeg encodes from `source` with `options`.
std::string Checksums(const std::string& source, const std::string& options) {
  const std::string avi =
      ::testing::TempDir() + "mivora_acpred_" + std::to_string(::getpid()) + ".avi";
  const std::string encode =
      "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i '" + source +
      "' -frames:v 16 -an -c:v mpeg4 -vtag DIVX -threads 1 -g 8 -lumi_mask 0.5 -dark_mask 0.5 "
      "-scplx_mask 0.5 " +
      options + " '" + avi + "'";
  if (std::system(encode.c_str()) != 0) return "ffmpeg failed";
  const std::string sums = Run(std::string("'") + MIVORA_DECODE + "' --framemd5 '" + avi + "'");
  std::remove(avi.c_str());
  return sums;
}

TEST(AcPrediction, GivesThePicturesOfTheSameStreamWithout) {
  for (const char* source : {"testsrc2=s=176x144:r=25", "mandelbrot=s=208x160:r=25"}) {
    for (const char* quantiser : {"-q:v 3", "-q:v 9", "-q:v 5 -mpeg_quant 1"}) {
      const std::string plain = Checksums(source, quantiser);
      ASSERT_EQ(16, std::count(plain.begin(), plain.end(), '\n')) << source << " " << quantiser;
      EXPECT_EQ(plain, Checksums(source, std::string(quantiser) + " -flags +aic"))
          << source << " " << quantiser;
    }
  }
}

}  // namespace
}  // namespace mivora::conformance
