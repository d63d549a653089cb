// Decodes each conformance clip with mivora-decode and with ffmpeg's own decoder and compares the
// pictures: the same number of frames, and every frame within 40 dB PSNR in each plane. When a
// checksum file exists for a clip, mivora-decode's frames must also match it bit for bit
// (MIVORA_UPDATE_FRAMEMD5=1 rewrites the files).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <ostream>
#include <sstream>
#include <string>

#include "tests/conformance/yuv_compare.h"

namespace mivora::conformance {
namespace {

struct Clip {
  const char* name;
  int width, height;
  bool inRepository = false;  // samples/NAME.avi instead of a made clip
  const char* options = "";   // mivora-decode's, before the file
};

// The clips tools/make-conformance-clips makes. "Small" ones also run under the sanitizers.
const Clip kSmallClips[] = {{"qcif_q2_g12", 176, 144},   {"w180_q5_mv4", 180, 144},
                            {"qvga_pan_q6", 320, 240},   {"sample", 320, 240, true},
                            {"qcif_bf1_q4", 176, 144},   {"qcif_bf1_ps300_q3_rd", 176, 144},
                            {"qcif_mpegq_q4", 176, 144}, {"qcif_matrices_q3", 176, 144},
                            {"qcif_qpel_q4", 176, 144},  {"qcif_il_pan_ilme_bf1_q4", 176, 144}};
const Clip kClips[] = {{"qcif_q8_g300_mv4", 176, 144},
                       {"cif_noise_q10_rd", 352, 288},
                       {"cif_static_q4", 352, 288},
                       {"cif_zoom_q16_mv4_rd", 352, 288},
                       {"vga_q12", 640, 480},
                       {"pal_pan_q20", 720, 576},
                       {"hd_q24", 1280, 720},
                       {"cif_bf2_q6_mv4", 352, 288},
                       {"qvga_pan_bf2_q5", 320, 240},
                       {"cif_static_bf2_q4", 352, 288},
                       {"vga_bf2_threads2_q5", 640, 480},
                       {"pal_pan_bf2_q12", 720, 576},
                       {"cif_mpegq_bf2_q6_mv4", 352, 288},
                       {"cif_matrices_bf1_threads2_q5_rd", 352, 288},
                       {"cif_qpel_q5_mv4", 352, 288},
                       {"qvga_pan_qpel_bf2_q5", 320, 240},
                       {"vga_qpel_bf2_q5", 640, 480},
                       {"cif_qpel_bf1_mpegq_threads2_q4_rd", 352, 288},
                       {"cif_ildct_q4", 352, 288},
                       {"cif_ildct_bf2_mpegq_q5_mv4", 352, 288},
                       {"cif_ilme_q4", 352, 288},
                       {"cif_il_ilme_bf1_q4", 352, 288},
                       {"cif_il_pan_ilme_bf2_q5_mv4_bff", 352, 288},
                       {"cif_il_ilme_bf2_q5_mv4_bff", 352, 288},
                       {"cif_il_ilme_qpel_q4", 352, 288},
                       {"cif_il_ilme_bf2_mpegq_q5_rd", 352, 288},
                       {"vga_il_pan_ilme_bf2_q5", 640, 480},
                       {"vga_il_pan_ilme_qpel_bf2_q5", 640, 480}};

// Clips with video packets, some data-partitioned (tools/make-conformance-clips), compared with
// ffmpeg only.
const Clip kPacketClips[] = {
    {"vga_threads2_q5", 640, 480},        {"vga_threads4_q3_mv4", 640, 480},
    {"cif_threads8_q10_rd", 352, 288},    {"qcif_ps200_q2", 176, 144},
    {"cif_ps500_q6_mv4", 352, 288},       {"w160_ps300_q4", 160, 96},
    {"pal_pan_ps2000_q12", 720, 576},     {"cif_dp_threads8_q4", 352, 288},
    {"cif_dp_threads4_q8_mv4", 352, 288}, {"vga_dp_threads2_q5_rd", 640, 480}};

// Names the clip in test listings (instead of its bytes).
void PrintTo(const Clip& clip, std::ostream* os) {
  *os << clip.name;
}

constexpr double kMinimumPsnr = 40.0;

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

int RunCommand(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ConformanceTest : public ::testing::TestWithParam<Clip> {
 protected:
  static std::string ClipFolder() { return MIVORA_CLIP_CACHE; }
  static void MakeClips() {
    static std::once_flag once;
    static int result = 0;
    std::call_once(once, [] {
      result = RunCommand(Quote(MIVORA_CLIP_SCRIPT) + " " + Quote(ClipFolder()) + " >/dev/null");
    });
    ASSERT_EQ(0, result) << "making the clips failed";
  }
  void Check(const Clip& clip);
};

void ConformanceTest::Check(const Clip& clip) {
  ASSERT_NO_FATAL_FAILURE(MakeClips());
  const std::string avi =
      (clip.inRepository ? std::string(MIVORA_SAMPLES) : ClipFolder()) + "/" + clip.name + ".avi";
  const std::string work =
      ::testing::TempDir() + "mivora_conf_" + clip.name + "_" + std::to_string(::getpid());
  const std::string ours = work + ".y4m", theirs = work + ".yuv", md5 = work + ".md5";
  const int decodeExit = RunCommand(Quote(MIVORA_DECODE) + " " + clip.options + " --y4m " +
                                    Quote(ours) + " --framemd5 " + Quote(avi) + " > " + Quote(md5));
  ASSERT_EQ(0, RunCommand("ffmpeg -hide_banner -loglevel error -nostdin -y -threads 1 -i " +
                          Quote(avi) + " -an -f rawvideo -pix_fmt yuv420p " + Quote(theirs)));
  YuvFrames a, b;
  std::string error;
  const bool readOurs = ReadY4m(ours, a, error);
  const bool readTheirs = readOurs && ReadRawYuv420(theirs, clip.width, clip.height, b, error);
  const std::string checksums = ReadText(md5);
  std::remove(ours.c_str());
  std::remove(theirs.c_str());
  std::remove(md5.c_str());
  ASSERT_EQ(0, decodeExit) << "mivora-decode failed on " << clip.name;
  ASSERT_TRUE(readOurs && readTheirs) << error;
  ASSERT_EQ(clip.width, a.width);
  ASSERT_EQ(clip.height, a.height);
  ASSERT_EQ(b.frames.size(), a.frames.size()) << "frame counts differ";
  ASSERT_FALSE(a.frames.empty());

  FramePsnr worst{kIdenticalPsnr, kIdenticalPsnr, kIdenticalPsnr};
  std::size_t firstBad = a.frames.size();
  for (std::size_t i = 0; i < a.frames.size(); ++i) {
    const FramePsnr p = ComparePictures(a, i, b, i);
    worst = {std::min(worst.y, p.y), std::min(worst.u, p.u), std::min(worst.v, p.v)};
    if (firstBad == a.frames.size() && std::min({p.y, p.u, p.v}) < kMinimumPsnr) firstBad = i;
  }
  std::printf("%s: %zu frames, minimum PSNR Y %.2f U %.2f V %.2f dB\n", clip.name, a.frames.size(),
              worst.y, worst.u, worst.v);
  RecordProperty("minimumPsnrY", std::to_string(worst.y));
  RecordProperty("minimumPsnrU", std::to_string(worst.u));
  RecordProperty("minimumPsnrV", std::to_string(worst.v));
  EXPECT_EQ(a.frames.size(), firstBad) << "first frame below " << kMinimumPsnr << " dB";

  const std::string stored = std::string(MIVORA_FRAMEMD5_DIR) + "/" + clip.name + ".txt";
  const char* update = std::getenv("MIVORA_UPDATE_FRAMEMD5");
  if (update && *update == '1') {
    if (firstBad == a.frames.size()) std::ofstream(stored) << checksums;
  } else if (std::ifstream(stored).good()) {
    EXPECT_EQ(ReadText(stored), checksums) << "frames differ from " << stored;
  }
}

TEST_P(ConformanceTest, MatchesFfmpeg) {
  Check(GetParam());
}

// The display output of every converter, with brightness on both sides of the byte-term range
// and skip-unchanged, over the first frames: the MD5 of all display frames must stay as stored
// (tests/conformance/display_md5; MIVORA_UPDATE_FRAMEMD5=1 rewrites them), so a faster kernel
// that changes a single pixel shows here.
TEST_P(ConformanceTest, DisplayMatchesStoredChecksums) {
  const Clip& clip = GetParam();
  ASSERT_NO_FATAL_FAILURE(MakeClips());
  const std::string avi =
      (clip.inRepository ? std::string(MIVORA_SAMPLES) : ClipFolder()) + "/" + clip.name + ".avi";
  const char* const variants[] = {"--output-type 5",
                                  "--output-type 5 --brightness 40",
                                  "--output-type 5 --brightness 200 --skip-unchanged",
                                  "--output-type 5 --skip-unchanged",
                                  "--output-type 7",
                                  "--output-type 7 --brightness -60",
                                  "--output-type 7 --brightness 180",
                                  "--output-type 7 --skip-unchanged",
                                  "--output-type 7 --brightness 30 --skip-unchanged",
                                  "--output-type 8",
                                  "--output-type 8 --skip-unchanged",
                                  "--output-type 9"};
  std::string checksums;
  for (const char* variant : variants) {
    const std::string command = Quote(MIVORA_DECODE) + " --frames 40 " + variant + " --display - " +
                                Quote(avi) + " | md5sum";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(nullptr, pipe);
    char digest[33] = {};
    const std::size_t got = std::fread(digest, 1, 32, pipe);
    pclose(pipe);
    ASSERT_EQ(32u, got) << command;
    checksums += std::string(variant) + ": " + digest + "\n";
  }
  const std::string stored = std::string(MIVORA_DISPLAY_MD5_DIR) + "/" + clip.name + ".txt";
  const char* update = std::getenv("MIVORA_UPDATE_FRAMEMD5");
  if (update && *update == '1') {
    std::ofstream(stored) << checksums;
  } else {
    ASSERT_TRUE(std::ifstream(stored).good()) << "no stored checksums " << stored;
    EXPECT_EQ(ReadText(stored), checksums) << "display output differs from " << stored;
  }
}

class PacketConformanceTest : public ConformanceTest {};

TEST_P(PacketConformanceTest, MatchesFfmpeg) {
  Check(GetParam());
}

// The B-picture clips stored the way DivX 5 writes them (a reference and the B picture after it in
// one chunk, a placeholder chunk after): the same pictures, bit for bit, in the same order.
class PackedConformanceTest : public ConformanceTest {};

TEST_P(PackedConformanceTest, PackedChunksDecodeAsUnpacked) {
  const Clip& clip = GetParam();
  ASSERT_NO_FATAL_FAILURE(MakeClips());
  const std::string avi = ClipFolder() + "/" + clip.name + ".avi";
  const std::string md5 = ::testing::TempDir() + "mivora_packed_" + clip.name + "_" +
                          std::to_string(::getpid()) + ".md5";
  const int exit = RunCommand(Quote(MIVORA_DECODE) + " --framemd5 --pack-b-pictures " + Quote(avi) +
                              " > " + Quote(md5));
  const std::string checksums = ReadText(md5);
  std::remove(md5.c_str());
  ASSERT_EQ(0, exit);
  const std::string stored = std::string(MIVORA_FRAMEMD5_DIR) + "/" + clip.name + ".txt";
  ASSERT_TRUE(std::ifstream(stored).good()) << "no stored checksums " << stored;
  EXPECT_EQ(ReadText(stored), checksums);
}

// Other FourCCs of the same video: refused unless asked for, then decoded like the rest.
class FourccConformanceTest : public ConformanceTest {};

TEST_P(FourccConformanceTest, DecodedOnlyWhenAskedFor) {
  const Clip& clip = GetParam();
  ASSERT_NO_FATAL_FAILURE(MakeClips());
  const std::string avi = ClipFolder() + "/" + clip.name + ".avi";
  EXPECT_EQ(2, RunCommand(Quote(MIVORA_DECODE) + " --framemd5 " + Quote(avi) + " >/dev/null 2>&1"));
  Check(clip);
}

const Clip kFourccClips[] = {{"qcif_xvid_bf1_mpegq_q4", 176, 144, false, "--mpeg4-fourccs"}};

const Clip kPackedClips[] = {
    {"qcif_bf1_q4", 176, 144}, {"qcif_bf1_ps300_q3_rd", 176, 144}, {"cif_bf2_q6_mv4", 352, 288}};

std::string ClipName(const ::testing::TestParamInfo<Clip>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Small, ConformanceTest, ::testing::ValuesIn(kSmallClips), ClipName);
INSTANTIATE_TEST_SUITE_P(Full, ConformanceTest, ::testing::ValuesIn(kClips), ClipName);
INSTANTIATE_TEST_SUITE_P(Fourcc, FourccConformanceTest, ::testing::ValuesIn(kFourccClips),
                         ClipName);
INSTANTIATE_TEST_SUITE_P(Packed, PackedConformanceTest, ::testing::ValuesIn(kPackedClips),
                         ClipName);
INSTANTIATE_TEST_SUITE_P(Packets, PacketConformanceTest, ::testing::ValuesIn(kPacketClips),
                         ClipName);

}  // namespace
}  // namespace mivora::conformance
