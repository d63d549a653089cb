// The reader modules' code on files that ffmpeg makes at test time, read through the real input
// modules from disk and over HTTP: what they deliver is what ffmpeg's own demuxer finds in the
// same files, their durations are ffprobe's, and seeks land where they should.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "input/media_source.h"
#include "modules/avistream/stream_source.h"
#include "modules/mp3reader/mp3_source.h"
#include "tests/support/test_http_server.h"

namespace mivora::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One folder per test process: ctest runs the cases side by side, each making the clips anew.
const std::string kDir = std::string(MIVORA_FIXTURE_DIR) + "/" + std::to_string(::getpid());
const std::string kFf = "ffmpeg -hide_banner -loglevel error -nostdin -y -threads 1 ";

bool Shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

Bytes Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct Packet {
  double seconds = 0;
  std::int64_t size = 0;
  std::int64_t position = 0;
  bool key = false;
};

std::vector<Packet> Packets(const std::string& file, const std::string& stream) {
  std::istringstream lines(Capture("ffprobe -v error -select_streams " + stream +
                                   " -show_entries packet=pts_time,size,pos,flags -of csv=p=0 " +
                                   file));
  std::vector<Packet> packets;
  for (std::string line; std::getline(lines, line);) {
    Packet p;
    char flags[8] = {};
    if (std::sscanf(line.c_str(), "%lf,%ld,%ld,%7s", &p.seconds, &p.size, &p.position, flags) >=
        3) {
      p.key = flags[0] == 'K';
      packets.push_back(p);
    }
  }
  return packets;
}

double Duration(const std::string& file) {
  return std::atof(
      Capture("ffprobe -v error -show_entries format=duration -of csv=p=0 " + file).c_str());
}

// The stream's packets one after the other, as ffmpeg's demuxer reads them.
Bytes StreamBytes(const std::string& file, const std::string& map) {
  const std::string out = file + "." + map.substr(2) + ".bin";
  if (!Shell(kFf + "-i " + file + " -map " + map + " -c copy -f data " + out)) return {};
  return Slurp(out);
}

class ReaderFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Shell("mkdir -p " + kDir);
    ok_ = Shell(kFf +
                "-f lavfi -i testsrc2=s=160x120:r=25 -f lavfi -i sine=f=440:r=44100 -t 4 "
                "-c:v mpeg4 -vtag DIVX -bf 0 -g 12 -c:a libmp3lame -b:a 128k " +
                kDir + "/clip.avi") &&
          Shell(std::string("python3 ") + MIVORA_SOURCE_DIR +
                "/tests/readers/make_avi_variants.py noindex " + kDir + "/clip.avi " + kDir +
                "/noindex.avi") &&
          Shell(std::string("python3 ") + MIVORA_SOURCE_DIR +
                "/tests/readers/make_avi_variants.py opendml " + kDir + "/clip.avi " + kDir +
                "/opendml.avi") &&
          Shell(kFf + "-f lavfi -i sine=f=500:r=48000 -t 3 -ac 2 -c:a libmp3lame -b:a 192k " +
                "-metadata title=Forty-eight -id3v2_version 3 -write_id3v1 1 " + kDir +
                "/cbr48.mp3") &&
          Shell(kFf + "-f lavfi -i sine=f=300:r=44100 -t 5 -c:a libmp3lame -q:a 4 " +
                "-metadata artist=Someone " + kDir + "/vbr.mp3") &&
          Shell(kFf + "-f lavfi -i sine=f=200:r=22050 -t 2.5 -ac 1 -c:a libmp3lame -b:a 32k " +
                kDir + "/mono22.mp3");
  }
  static void TearDownTestSuite() { Shell("rm -rf " + kDir); }
  void SetUp() override {
    if (!ok_) GTEST_SKIP() << "ffmpeg could not make the clips";
  }
  static bool ok_;
};
bool ReaderFiles::ok_ = false;

struct AviRead {
  Bytes video, audio;
  std::int32_t frames = 0;
};

AviRead ReadAvi(MediaSource& source, const MediaInfo& info) {
  AviRead r;
  Bytes frame(std::size_t(std::max(48000, info.largestFrameBytes)));
  while (info.currentFrame < info.frameCount) {
    const std::int32_t n = source.ReadVideoFrame(frame.data(), 0);
    r.video.insert(r.video.end(), frame.begin(), frame.begin() + n);
    ++r.frames;
  }
  Bytes piece(8192);
  for (std::int32_t n; (n = source.ReadAudio(piece.data(), 8192)) > 0;) {
    r.audio.insert(r.audio.end(), piece.begin(), piece.begin() + n);
  }
  return r;
}

void ExpectLikeFfmpeg(const std::string& path, const std::string& reference, std::int32_t mode) {
  MediaSource source;
  avistream::FillTable(&source);
  MediaInfo* info = nullptr;
  const std::u16string wide(path.begin(), path.end());
  ASSERT_NE(source.Open(wide.c_str(), mode, 8192, &info), 0) << path;
  const std::vector<Packet> video = Packets(reference, "v:0");
  EXPECT_NEAR(info->frameCount / info->framesPerSecond, Duration(reference), 0.1);
  const AviRead r = ReadAvi(source, *info);
  EXPECT_EQ(r.video, StreamBytes(reference, "0:v:0"));
  EXPECT_EQ(r.audio, StreamBytes(reference, "0:a:0"));
  // The header's audio length is what the clock runs on: close to what was delivered.
  EXPECT_NEAR(double(info->audioBytes), double(r.audio.size()), r.audio.size() * 0.01);
  for (const Packet& p : video) {
    const int index = int(std::lround(p.seconds * info->framesPerSecond));
    EXPECT_EQ(source.IsKeyFrame(index) != 0, p.key) << "frame " << index;
  }
  // Seeking where the source can (a server without Range can still serve what the input
  // module's cache holds): the next key frame after the percentage.
  const std::int32_t before = info->currentFrame;
  const std::int32_t left = source.SeekPercent(50);
  if (mode == 0 || info->currentFrame != before) {
    const std::int32_t f = info->frameCount / 2;
    EXPECT_GE(info->currentFrame, f - 1);
    EXPECT_LE(info->currentFrame, f + 13);  // one key-frame interval
    bool key = false;
    for (const Packet& p : video) {
      key = key || (p.key && std::lround(p.seconds * info->framesPerSecond) == info->currentFrame);
    }
    EXPECT_TRUE(key) << "landed on frame " << info->currentFrame;
    EXPECT_NEAR(left, info->audioBytes * (1.0 - double(info->currentFrame) / info->frameCount), 2);
  }
  source.Close();
}

TEST_F(ReaderFiles, IndexlessAviDeliversWhatFfmpegFinds) {
  ExpectLikeFfmpeg(kDir + "/noindex.avi", kDir + "/clip.avi", 0);
}

TEST_F(ReaderFiles, OpenDmlPartsDeliverWhatFfmpegFinds) {
  ExpectLikeFfmpeg(kDir + "/opendml.avi", kDir + "/clip.avi", 0);
}

TEST_F(ReaderFiles, PlaysFrontToBackFromAServerWithoutRange) {
  TestHttpServer server(kDir, "no-range");
  ExpectLikeFfmpeg(server.Url("opendml.avi"), kDir + "/clip.avi", 1);
  TestHttpServer ranges(kDir, "normal");
  ExpectLikeFfmpeg(ranges.Url("noindex.avi"), kDir + "/clip.avi", 1);
}

void ExpectMp3LikeFfprobe(const std::string& file, int sampleRate, int channels) {
  MediaSource source;
  mp3::FillTable(&source);
  MediaInfo* info = nullptr;
  const std::u16string wide(file.begin(), file.end());
  ASSERT_NE(source.Open(wide.c_str(), 0, 0, &info), 0) << file;
  const mp3::Mp3Layout layout = mp3::GetLayout();
  const std::vector<Packet> packets = Packets(file, "a:0");
  ASSERT_FALSE(packets.empty());
  EXPECT_EQ(layout.sampleRate, sampleRate);
  EXPECT_EQ(layout.channels, channels);
  EXPECT_NEAR(layout.durationSeconds, Duration(file), 0.1);
  // The audio ends where ffmpeg's last frame does, and begins at its first frame or at the
  // Xing/Info frame in front of it.
  EXPECT_EQ(layout.audioEnd, packets.back().position + packets.back().size);
  EXPECT_LE(layout.audioStart, packets.front().position);
  EXPECT_TRUE(layout.audioStart == packets.front().position || layout.vbrHeader);
  EXPECT_EQ(info->audioBytes, layout.audioEnd - layout.audioStart);
  Bytes all, piece(8191);
  for (std::int32_t n; (n = source.ReadAudio(piece.data(), 8191)) > 0;) {
    all.insert(all.end(), piece.begin(), piece.begin() + n);
  }
  EXPECT_EQ(std::int64_t(all.size()), info->audioBytes);
  // Half way lands on a frame that starts half way through the time.
  const std::int64_t landed = layout.audioEnd - source.SeekPercent(50);
  bool boundary = false;
  for (const Packet& p : packets) {
    if (p.position == landed) {
      boundary = true;
      EXPECT_NEAR(p.seconds, layout.durationSeconds / 2, 0.1);
    }
  }
  EXPECT_TRUE(boundary) << "landed at " << landed;
  EXPECT_NEAR(source.GetPositionPercent(), 50.0, 2.0);
  source.Close();
}

TEST_F(ReaderFiles, Mp3FilesMatchFfprobe) {
  ExpectMp3LikeFfprobe(kDir + "/cbr48.mp3", 48000, 2);
  ExpectMp3LikeFfprobe(kDir + "/vbr.mp3", 44100, 1);
  ExpectMp3LikeFfprobe(kDir + "/mono22.mp3", 22050, 1);
}

}  // namespace
}  // namespace mivora::test
