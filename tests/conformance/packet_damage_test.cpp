// Damaged copies of clips with video packets: bits flipped inside the pictures and packets cut
// out. Every frame must still decode (exit 3, damaged), and concealing only the failed packets
// must come closer to the undamaged decode than concealing the rest of each damaged picture.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/conformance/yuv_compare.h"

namespace mivora::conformance {
namespace {

using Bytes = std::vector<unsigned char>;

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

int Run(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::uint32_t Le32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Offsets and sizes of the video frames' payloads in the AVI's movi list.
std::vector<std::pair<std::size_t, std::size_t>> VideoChunks(const Bytes& b) {
  std::vector<std::pair<std::size_t, std::size_t>> chunks;
  const char* movi = "movi";
  auto at = std::search(b.begin(), b.end(), movi, movi + 4);
  if (at == b.end()) return chunks;
  for (std::size_t i = static_cast<std::size_t>(at - b.begin()) + 4; i + 8 <= b.size();) {
    const std::size_t size = Le32(b, i + 4);
    if (!std::memcmp(&b[i], "idx1", 4) || i + 8 + size > b.size()) break;
    if (!std::memcmp(&b[i], "LIST", 4)) {
      i += 12;
      continue;
    }
    if (b[i + 2] == 'd' && b[i + 3] == 'c' && size > 0) chunks.emplace_back(i + 8, size);
    i += 8 + size + (size & 1);
  }
  return chunks;
}

// Mean luminance PSNR of each frame of a against b.
double MeanPsnr(const YuvFrames& a, const YuvFrames& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.frames.size(); ++i) sum += ComparePictures(a, i, b, i).y;
  return a.frames.empty() ? 0 : sum / static_cast<double>(a.frames.size());
}

struct Decoded {
  int exit = -1;
  YuvFrames frames;
};

Decoded Decode(const std::string& avi, const std::string& options) {
  const std::string y4m = avi + ".y4m";
  Decoded d;
  d.exit = Run(Quote(MIVORA_DECODE) + " " + options + " --y4m " + Quote(y4m) + " " + Quote(avi) +
               " >/dev/null 2>&1");
  std::string error;
  EXPECT_TRUE(ReadY4m(y4m, d.frames, error)) << error;
  std::remove(y4m.c_str());
  return d;
}

void CheckDamage(const char* clip, bool cutPackets) {
  ASSERT_EQ(0, Run(Quote(MIVORA_CLIP_SCRIPT) + " " + Quote(MIVORA_CLIP_CACHE) + " >/dev/null"));
  const std::string source = std::string(MIVORA_CLIP_CACHE) + "/" + clip + ".avi";
  std::ifstream in(source, std::ios::binary);
  Bytes b((std::istreambuf_iterator<char>(in)), {});
  const auto chunks = VideoChunks(b);
  ASSERT_GT(chunks.size(), 10u);
  std::mt19937 rng(12);
  // Every third picture after the first: two flipped bits past its header, or one of its
  // packets cut out.
  for (std::size_t k = 1; k < chunks.size(); k += 3) {
    auto [at, size] = chunks[k];
    if (size < 64) continue;
    if (!cutPackets) {
      for (int f = 0; f < 2; ++f) b[at + 16 + rng() % (size - 16)] ^= 1u << (rng() % 8);
      continue;
    }
    std::vector<std::size_t> markers;
    for (std::size_t i = at + 8; i + 3 < at + size; ++i)
      if (b[i] == 0 && b[i + 1] == 0 && (b[i + 2] & 0x80)) markers.push_back(i);
    if (markers.size() < 2) continue;
    // The packet's bytes taken out and the frame's tail filled with zeros, so the AVI's sizes
    // and index stay as they were.
    const std::size_t m = rng() % (markers.size() - 1);
    const std::size_t cut = markers[m + 1] - markers[m];
    std::copy(b.begin() + static_cast<long>(markers[m + 1]),
              b.begin() + static_cast<long>(at + size), b.begin() + static_cast<long>(markers[m]));
    std::fill(b.begin() + static_cast<long>(at + size - cut),
              b.begin() + static_cast<long>(at + size), 0);
  }
  const std::string damaged =
      ::testing::TempDir() + "mivora_damage_" + clip + "_" + std::to_string(getpid()) + ".avi";
  std::ofstream(damaged, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());

  const Decoded clean = Decode(source, "");
  const Decoded packets = Decode(damaged, "");
  const Decoded rest = Decode(damaged, "--conceal-rest");
  std::remove(damaged.c_str());
  ASSERT_EQ(0, clean.exit);
  EXPECT_EQ(3, packets.exit);
  EXPECT_EQ(3, rest.exit);
  ASSERT_EQ(clean.frames.frames.size(), packets.frames.frames.size());
  ASSERT_EQ(clean.frames.frames.size(), rest.frames.frames.size());
  const double packetMean = MeanPsnr(packets.frames, clean.frames);
  const double restMean = MeanPsnr(rest.frames, clean.frames);
  std::printf("%s %s: mean PSNR Y %.2f dB concealing packets, %.2f dB concealing the rest\n", clip,
              cutPackets ? "packets cut" : "bits flipped", packetMean, restMean);
  ::testing::Test::RecordProperty("packetConcealmentPsnr", std::to_string(packetMean));
  ::testing::Test::RecordProperty("restConcealmentPsnr", std::to_string(restMean));
  EXPECT_GT(packetMean, restMean);
}

TEST(PacketDamage, FlippedBitsCostOnlyTheirPackets) {
  CheckDamage("cif_ps500_q6_mv4", false);
  CheckDamage("qcif_ps200_q2", false);
  CheckDamage("cif_dp_threads8_q4", false);
  CheckDamage("qcif_bf1_ps300_q3_rd", false);  // B pictures among them
}

TEST(PacketDamage, CutPacketsCostOnlyTheirMacroblocks) {
  CheckDamage("cif_ps500_q6_mv4", true);
  CheckDamage("qcif_ps200_q2", true);
  CheckDamage("cif_dp_threads8_q4", true);
  CheckDamage("qcif_bf1_ps300_q3_rd", true);
}

}  // namespace
}  // namespace mivora::conformance
