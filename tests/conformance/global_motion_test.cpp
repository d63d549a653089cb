// S pictures with global motion compensation, which ffmpeg's encoder does not write: the layer and
// S pictures come from the project's stream writer, behind an I picture that ffmpeg encodes, and
// mivora-decode's pictures must match ffmpeg's decoding of the same bytes within 40 dB.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/conformance/yuv_compare.h"
#include "tests/decoder/stream_writer.h"

namespace mivora::conformance {
namespace {

using decoder::testing::BitWriter;
using decoder::testing::Layer;

constexpr int kWidth = 176, kHeight = 144;

int RunCommand(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Temp(const std::string& name) {
  return ::testing::TempDir() + "mivora_gmc_" + std::to_string(::getpid()) + "_" + name;
}

struct Stream {
  int points = 1, accuracy = 1, quarterSample = 0;
  int frames = 8;
  int warping[3][2] = {};  // fixed warping points; random first point when `randomWarp`
  bool randomWarp = true;
  int spread = 0;           // with `randomWarp`: the other points random within +-spread
  bool packet = false;      // a video packet with the header extension halfway through each picture
  bool flatBlocks = false;  // the I picture of flat 8x8 blocks, decoded alike by any IDCT
  bool vectorMacroblocks = true;  // besides warped and not-coded ones
  unsigned seed = 1;
};

// The layer, ffmpeg's I picture, then S pictures whose macroblocks are not coded (warped), warped
// without a pattern (mcsel), or predicted by a coded vector next to the warped ones.
std::vector<std::uint8_t> MakeStream(const Stream& s, const std::vector<std::uint8_t>& iPicture) {
  BitWriter w;
  w.StartCode(0x00).StartCode(0x20);
  Layer l;
  l.verid = 2;
  l.width = kWidth;
  l.height = kHeight;
  l.sprite = 2;
  l.warpingPoints = s.points;
  l.warpingAccuracy = s.accuracy;
  l.quarterSample = s.quarterSample;
  l.resyncDisable = !s.packet;
  decoder::testing::WriteLayer(w, l);
  w.Stuff();
  std::vector<std::uint8_t> out = w.Bytes();
  out.insert(out.end(), iPicture.begin(), iPicture.end());
  std::mt19937 rng(s.seed);
  static const char* const kMotionCodes[] = {"00011", "0011", "011", "1", "010", "0010", "00010"};
  for (int f = 1; f <= s.frames; ++f) {
    BitWriter p;
    int warping[3][2];
    for (int i = 0; i < 3; ++i)
      for (int k = 0; k < 2; ++k)
        warping[i][k] = !s.randomWarp ? s.warping[i][k]
                        : i == 0      ? static_cast<int>(rng() % 81) - 40
                        : s.spread && i < s.points
                            ? static_cast<int>(rng() % (2 * s.spread + 1)) - s.spread
                            : s.warping[i][k];
    decoder::testing::WriteSPicture(p, f, static_cast<int>(rng() % 2), 4, 1, s.points, warping);
    const int macroblocks = ((kWidth + 15) / 16) * ((kHeight + 15) / 16);
    for (int m = 0; m < macroblocks; ++m) {
      if (s.packet && m == macroblocks / 2) {
        // Resync marker (fcode 1), macroblock number, quantiser, then the header again.
        p.Stuff().Put(1, 17).Put(m, 7).Put(4, 5).Put(1, 1);
        p.Code("0 1").Put(f, 5).Code("1 11 000");
        for (int i = 0; i < s.points; ++i) {
          decoder::testing::WriteWarpingDifference(p, warping[i][0]);
          decoder::testing::WriteWarpingDifference(p, warping[i][1]);
        }
        p.Put(1, 3);
      }
      const int kind = static_cast<int>(rng() % (s.vectorMacroblocks ? 10 : 7));
      if (kind < 4) {
        p.Code("1");  // not coded
      } else if (kind < 7) {
        p.Code("0 1 1 11");  // inter, mcsel, no pattern
      } else {
        p.Code("0 1 0 11").Code(kMotionCodes[rng() % 7]).Code(kMotionCodes[rng() % 7]);
      }
    }
    p.Stuff();
    const std::vector<std::uint8_t> bytes = p.Bytes();
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

class GlobalMotion : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    iPicture_ = EncodeIPicture("testsrc2=s=176x144:r=25", 3);
    flatPicture_ = EncodeIPicture("testsrc2=s=22x18:r=25,scale=176:144:flags=neighbor", 2);
  }
  static void TearDownTestSuite() {
    delete iPicture_;
    delete flatPicture_;
  }

  static std::vector<std::uint8_t>* EncodeIPicture(const std::string& source, int q) {
    const std::string m4v = Temp("i.m4v");
    EXPECT_EQ(0, RunCommand("ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i '" +
                            source + "' -frames:v 1 -c:v mpeg4 -threads 1 -flags +bitexact -q:v " +
                            std::to_string(q) + " -f m4v '" + m4v + "'"));
    const std::vector<std::uint8_t> bytes = ReadBytes(m4v);
    std::remove(m4v.c_str());
    static const std::uint8_t kPicture[] = {0, 0, 1, 0xB6};
    const auto at = std::search(bytes.begin(), bytes.end(), kPicture, kPicture + 4);
    EXPECT_NE(at, bytes.end());
    return new std::vector<std::uint8_t>(at, bytes.end());
  }

  // The stream in an AVI, as mivora-decode reads it.
  static std::string Wrap(const Stream& s, const std::string& name) {
    const std::string m4v = Temp(name + ".m4v"), avi = Temp(name + ".avi");
    const std::vector<std::uint8_t> bytes =
        MakeStream(s, s.flatBlocks ? *flatPicture_ : *iPicture_);
    std::ofstream(m4v, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const int exit =
        RunCommand("ffmpeg -hide_banner -loglevel error -nostdin -y -r 25 -f m4v -i '" + m4v +
                   "' -c copy -vtag DIVX '" + avi + "'");
    std::remove(m4v.c_str());
    return exit == 0 ? avi : "";
  }

  // mivora-decode's pictures of the stream.
  static void DecodeOurs(const Stream& s, const std::string& name, YuvFrames& frames) {
    const std::string avi = Wrap(s, name);
    ASSERT_FALSE(avi.empty());
    const std::string ours = Temp(name + ".y4m");
    const int exit = RunCommand(std::string("'") + MIVORA_DECODE + "' --y4m '" + ours + "' '" +
                                avi + "' >/dev/null");
    std::string error;
    const bool read = ReadY4m(ours, frames, error);
    std::remove(avi.c_str());
    std::remove(ours.c_str());
    ASSERT_EQ(0, exit) << name;
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(static_cast<std::size_t>(s.frames + 1), frames.frames.size()) << name;
  }

  // With flat blocks every picture must be the same as ffmpeg's, sample for sample.
  static void ExpectMatchesFfmpeg(const Stream& s, const std::string& name) {
    const std::string avi = Wrap(s, name);
    ASSERT_FALSE(avi.empty());
    const std::string ours = Temp(name + ".y4m"), theirs = Temp(name + ".yuv");
    const int decodeExit = RunCommand(std::string("'") + MIVORA_DECODE + "' --y4m '" + ours +
                                      "' '" + avi + "' >/dev/null");
    const int ffmpegExit =
        RunCommand("ffmpeg -hide_banner -loglevel error -nostdin -y -threads 1 -i '" + avi +
                   "' -f rawvideo -pix_fmt yuv420p '" + theirs + "'");
    YuvFrames a, b;
    std::string error;
    const bool read = ReadY4m(ours, a, error) && ReadRawYuv420(theirs, kWidth, kHeight, b, error);
    for (const auto& f : {avi, ours, theirs}) std::remove(f.c_str());
    ASSERT_EQ(0, decodeExit) << name;
    ASSERT_EQ(0, ffmpegExit) << name;
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(static_cast<std::size_t>(s.frames + 1), a.frames.size()) << name;
    ASSERT_EQ(a.frames.size(), b.frames.size()) << name;
    int exact = 0;
    double worst = 1e9;
    for (std::size_t i = 0; i < a.frames.size(); ++i) {
      const FramePsnr p = ComparePictures(a, i, b, i);
      worst = std::min({worst, p.y, p.u, p.v});
      exact += a.frames[i] == b.frames[i];
      ASSERT_GE(std::min({p.y, p.u, p.v}), 40.0) << name << " frame " << i;
      if (s.flatBlocks) {
        EXPECT_TRUE(a.frames[i] == b.frames[i]) << name << " frame " << i;
      }
    }
    std::printf("%s: %d of %zu pictures exact, worst %.2f dB\n", name.c_str(), exact,
                a.frames.size(), worst);
  }

  static std::vector<std::uint8_t>* iPicture_;
  static std::vector<std::uint8_t>* flatPicture_;
};

std::vector<std::uint8_t>* GlobalMotion::iPicture_ = nullptr;
std::vector<std::uint8_t>* GlobalMotion::flatPicture_ = nullptr;

// Translations of every accuracy, half- and quarter-sample vectors, no warping point at all, and
// three points whose second and third add nothing to the first.
TEST_F(GlobalMotion, TranslationsMatchFfmpeg) {
  struct Case {
    const char* name;
    int points, accuracy, quarterSample;
  };
  const Case cases[] = {{"none", 0, 1, 0},      {"half", 1, 1, 0},        {"quarter_qpel", 1, 2, 1},
                        {"sixteenth", 1, 3, 0}, {"eighth_qpel", 1, 3, 1}, {"three", 3, 3, 0}};
  unsigned seed = 1;
  for (const auto& c : cases) {
    Stream s;
    s.points = c.points;
    s.accuracy = c.accuracy;
    s.quarterSample = c.quarterSample;
    s.seed = seed++;
    ExpectMatchesFfmpeg(s, c.name);
  }
}

// Half-sample accuracy: the warped macroblocks alone. (Next to them, ffmpeg predicts vectors from
// one less than the warp's vector where its component is zero or negative; the warp's own vector
// is taken here.)
TEST_F(GlobalMotion, HalfSampleAccuracyWarpsMatchFfmpeg) {
  Stream s;
  s.accuracy = 0;
  s.vectorMacroblocks = false;
  ExpectMatchesFfmpeg(s, "accuracy0");
}

// Vectors pointing far outside, and a warp vector beyond the vector range.
TEST_F(GlobalMotion, FarWarpsMatchFfmpeg) {
  Stream s;
  s.randomWarp = false;
  s.warping[0][0] = 34;
  s.warping[0][1] = -300;
  s.accuracy = 2;
  ExpectMatchesFfmpeg(s, "far");
}

// Two points (rotation and scale) and three (affine), half- and quarter-sample vectors, vector
// macroblocks predicted from warped ones, and a video packet that repeats the warping points:
// sample for sample ffmpeg's pictures. Sixteenth-sample accuracy only: at coarser ones ffmpeg's
// warps of two or three points are not affine (a ramp comes out with steps and rows left
// unscaled), so it is no reference there.
TEST_F(GlobalMotion, WarpsWithMorePointsMatchFfmpeg) {
  unsigned seed = 20;
  for (int points = 2; points <= 3; ++points) {
    for (int quarter = 0; quarter <= 1; ++quarter) {
      for (int spread : {3, 16}) {
        Stream s;
        s.points = points;
        s.accuracy = 3;
        s.quarterSample = quarter;
        s.spread = spread;
        s.flatBlocks = true;
        s.seed = seed++;
        ExpectMatchesFfmpeg(s, "points" + std::to_string(points) + "_quarter" +
                                   std::to_string(quarter) + "_spread" + std::to_string(spread));
      }
    }
  }
  Stream s;
  s.points = 3;
  s.accuracy = 3;
  s.spread = 10;
  s.packet = true;
  s.flatBlocks = true;
  ExpectMatchesFfmpeg(s, "packet");
}

// Coarser accuracies: the same warps (the points are in half samples at every accuracy) come out
// close to the sixteenth-sample pictures checked above, closer with each finer accuracy (a
// misplaced warp gives 13 to 25 dB).
TEST_F(GlobalMotion, CoarserWarpsAgreeWithSixteenths) {
  for (int points = 2; points <= 3; ++points) {
    Stream fine;
    fine.points = points;
    fine.accuracy = 3;
    fine.spread = 12;
    fine.vectorMacroblocks = false;
    fine.frames = 1;  // each picture warps the one before: rounding would add up
    fine.seed = 40 + points;
    YuvFrames reference;
    DecodeOurs(fine, "fine", reference);
    for (int accuracy = 0; accuracy < 3; ++accuracy) {
      Stream s = fine;
      s.accuracy = accuracy;
      const std::string name =
          "points" + std::to_string(points) + "_accuracy" + std::to_string(accuracy);
      YuvFrames frames;
      DecodeOurs(s, name, frames);
      for (std::size_t i = 0; i < frames.frames.size(); ++i) {
        const FramePsnr p = ComparePictures(frames, i, reference, i);
        EXPECT_GE(std::min({p.y, p.u, p.v}), 30.0 + 5 * accuracy) << name << " frame " << i;
      }
    }
  }
}

}  // namespace
}  // namespace mivora::conformance
