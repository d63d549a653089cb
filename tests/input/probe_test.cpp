// mivora-probe against ffprobe on files that ffmpeg makes, read from disk and through the
// loopback HTTP server; and the reader's reads over HTTP, including servers that misbehave.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "input/avi_reader.h"
#include "platform/module.h"
#include "platform/wide_string.h"
#include "tests/support/test_http_server.h"

namespace mivora::test {
namespace {

namespace fs = std::filesystem;
using Fields = std::map<std::string, std::string>;

struct CommandResult {
  int status = -1;
  std::string out;
};

// Runs a shell command, capturing stdout (and stderr when asked).
CommandResult Shell(const std::string& command) {
  CommandResult run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char chunk[4096];
  std::size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) run.out.append(chunk, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

// Fixtures are made once per build folder; a temporary name and a rename keep parallel test
// processes from seeing half-written files.
std::string Fixture(const std::string& name, const std::string& ffmpegArguments) {
  const fs::path dir = MIVORA_FIXTURE_DIR;
  fs::create_directories(dir);
  const fs::path file = dir / name;
  if (fs::exists(file)) return file.string();
  const fs::path temporary = dir / (name + "." + std::to_string(getpid()) + ".avi");
  const CommandResult made = Shell("ffmpeg -hide_banner -loglevel error -y " + ffmpegArguments +
                                   " " + Quote(temporary.string()) + " 2>&1");
  if (made.status != 0) {
    ADD_FAILURE() << "ffmpeg failed: " << made.out;
    return "";
  }
  fs::rename(temporary, file);
  return file.string();
}

const std::string kVideoSource = "-f lavfi -i testsrc2=size=";

std::string DivxWithMp3() {
  return Fixture("divx_mp3.avi",
                 kVideoSource +
                     "176x144:rate=30000/1001:duration=2 -f lavfi -i "
                     "sine=frequency=300:sample_rate=48000:duration=2 -map 0:v -map 1:a "
                     "-c:v mpeg4 -vtag DIVX -bf 0 -g 12 -c:a libmp3lame -b:a 128k -ac 2");
}
std::string XvidVideoOnly() {
  return Fixture("xvid_video.avi", kVideoSource +
                                       "352x288:rate=15:duration=2 -c:v mpeg4 -vtag XVID -bf 0 "
                                       "-g 10");
}
std::string Mp3Only() {
  return Fixture("mp3_only.avi",
                 "-f lavfi -i sine=frequency=500:sample_rate=22050:duration=3 "
                 "-c:a libmp3lame -b:a 32k -ac 1");
}

Fields ParseFields(const std::string& text) {
  Fields fields;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return fields;
}

CommandResult Probe(const std::string& path, const std::string& options = "") {
  return Shell("timeout 120 " + Quote(platform::ProgramDirectory() + "/mivora-probe") + " " +
               options + " " + Quote(path) + " 2>&1");
}

// What ffprobe says, under the names mivora-probe prints.
Fields Expected(const std::string& path) {
  Fields expected{{"width", "0"},           {"height", "0"},     {"fourcc", ""},
                  {"framesPerSecond", "0"}, {"frameCount", "0"}, {"audioFormatTag", "0"},
                  {"audioBytes", "0"}};
  const Fields video = ParseFields(
      Shell("ffprobe -v error -select_streams v:0 -show_entries "
            "stream=width,height,r_frame_rate,codec_tag_string,nb_frames -of default=nw=1 " +
            Quote(path))
          .out);
  if (!video.empty()) {
    expected["width"] = video.at("width");
    expected["height"] = video.at("height");
    expected["fourcc"] = video.at("codec_tag_string");
    expected["frameCount"] = video.at("nb_frames");
    const std::string rate = video.at("r_frame_rate");
    const double fps =
        std::stod(rate.substr(0, rate.find('/'))) / std::stod(rate.substr(rate.find('/') + 1));
    expected["framesPerSecond"] = std::to_string(fps);
  }
  const Fields audio =
      ParseFields(Shell("ffprobe -v error -select_streams a:0 -show_entries stream=codec_tag -of "
                        "default=nw=1 " +
                        Quote(path))
                      .out);
  if (!audio.empty()) {
    expected["audioFormatTag"] = std::to_string(std::stoi(audio.at("codec_tag"), nullptr, 16));
    const CommandResult sizes = Shell(
        "ffprobe -v error -select_streams a:0 -show_entries packet=size -of "
        "csv=p=0 " +
        Quote(path));
    long long total = 0;
    std::istringstream in(sizes.out);
    for (long long size; in >> size;) total += size;
    expected["audioBytes"] = std::to_string(total);
  }
  return expected;
}

void ExpectAgrees(const Fields& probed, const Fields& expected, const std::string& what) {
  for (const auto& [name, value] : expected) {
    ASSERT_TRUE(probed.count(name)) << what << ": no " << name;
    if (name == "framesPerSecond") {
      EXPECT_NEAR(std::stod(probed.at(name)), std::stod(value), 1e-5) << what;
    } else {
      EXPECT_EQ(probed.at(name), value) << what << ": " << name;
    }
  }
}

std::vector<std::string> AllFixtures() {
  return {DivxWithMp3(), XvidVideoOnly(), Mp3Only(), MIVORA_SAMPLE_CLIP};
}

TEST(Probe, AgreesWithFfprobeOnDisk) {
  for (const std::string& path : AllFixtures()) {
    ASSERT_FALSE(path.empty());
    const CommandResult run = Probe(path);
    ASSERT_EQ(run.status, 0) << path << ": " << run.out;
    const Fields probed = ParseFields(run.out);
    ExpectAgrees(probed, Expected(path), path);
    // The reader's own counts: one index entry per frame that ffmpeg wrote.
    EXPECT_EQ(probed.at("videoEntries"), probed.at("frameCount")) << path;
    EXPECT_EQ(probed.at("currentFrame"), "0");
    EXPECT_EQ(probed.count("largeFrameBytes") + probed.count("keyFrames") +
                  probed.count("audioChunks") + probed.count("largestFrameBytes"),
              4u);
  }
  const Fields mp3 = ParseFields(Probe(Mp3Only()).out);
  EXPECT_EQ(mp3.at("keyFrames"), "0");
  EXPECT_NE(mp3.at("audioChunks"), "0");
}

TEST(Probe, RefusesWhatItCannotOpen) {
  const CommandResult missing = Probe("/nonexistent/clip.avi");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("Failed to load file"), std::string::npos);
  const CommandResult notAvi = Probe(std::string(MIVORA_SOURCE_DIR) + "/CMakeLists.txt");
  EXPECT_EQ(notAvi.status, 1);
  EXPECT_EQ(Probe("").status, 2);
}

std::string FixtureFolder() {
  return fs::path(DivxWithMp3()).parent_path().string();
}

TEST(Probe, AgreesThroughHttpWithRanges) {
  const std::string sample = (fs::path(FixtureFolder()) / "sample.avi").string();
  fs::copy_file(MIVORA_SAMPLE_CLIP, sample, fs::copy_options::overwrite_existing);
  TestHttpServer server(FixtureFolder());
  for (const std::string name : {"divx_mp3.avi", "sample.avi"}) {
    const std::string onDisk = (fs::path(FixtureFolder()) / name).string();
    const CommandResult local = Probe(onDisk);
    ASSERT_EQ(local.status, 0);
    for (const std::string mode : {"--mode 0", "--mode 1", ""}) {
      const CommandResult remote = Probe(server.Url(name), mode);
      ASSERT_EQ(remote.status, 0) << name << " " << mode << ": " << remote.out;
      ExpectAgrees(ParseFields(remote.out), Expected(onDisk), name + " over http " + mode);
      EXPECT_EQ(ParseFields(remote.out), ParseFields(local.out)) << mode;
    }
  }
  bool ranged = false;
  for (const std::string& request : server.Requests()) {
    ranged = ranged || request.substr(request.rfind(' ') + 1) != "-";
  }
  EXPECT_TRUE(ranged);
}

TEST(Probe, ServersThatFailEndTheOpenCleanly) {
  const std::string name = fs::path(DivxWithMp3()).filename().string();
  {
    TestHttpServer silent(FixtureFolder(), "silent");
    const CommandResult run = Probe(silent.Url(name), "--mode 0");
    EXPECT_EQ(run.status, 1) << run.out;  // 124 would be the time limit
    EXPECT_NE(run.out.find("Failed to load file"), std::string::npos);
  }
  {
    TestHttpServer missing(FixtureFolder(), "status=404");
    EXPECT_EQ(Probe(missing.Url(name), "--mode 0").status, 1);
  }
  {
    // Each connection drops after 3,000 bytes. The open may fail; if it succeeds, what the
    // headers say is right, and an index cut short only means fewer entries (a short index
    // block ends the index early), never more or other ones.
    TestHttpServer dropping(FixtureFolder(), "drop-after=3000");
    const CommandResult run = Probe(dropping.Url(name), "--mode 0");
    ASSERT_TRUE(run.status == 0 || run.status == 1) << run.status << ": " << run.out;
    if (run.status == 0) {
      Fields probed = ParseFields(run.out);
      Fields expected = Expected(DivxWithMp3());
      EXPECT_LE(std::stoi(probed.at("audioBytes")), std::stoi(expected.at("audioBytes")));
      EXPECT_LE(std::stoi(probed.at("videoEntries")), std::stoi(expected.at("frameCount")));
      // A cut index promises only the frames it holds.
      EXPECT_EQ(probed.at("frameCount"), probed.at("videoEntries"));
      for (const char* cut : {"audioBytes", "frameCount", "largeFrameBytes"}) {
        probed.erase(cut);
        expected.erase(cut);
      }
      ExpectAgrees(probed, expected, "dropping");
    }
  }
}

// Every frame and all the audio, read through the reader.
struct Contents {
  std::vector<std::vector<std::uint8_t>> frames;
  std::vector<std::uint8_t> audio;
};

bool ReadAll(const std::string& path, std::int32_t mode, Contents& out) {
  platform::SetModuleDirectory("");
  SetAviReaderReopenWait(0);
  MediaSource source;
  InitializeAviReader(&source);
  MediaInfo* info = nullptr;
  if (source.Open(platform::FromUtf8(path).c_str(), mode, 0, &info) == 0) {
    source.Close();
    return false;
  }
  std::vector<std::uint8_t> buffer(kDefaultFrameCapacity);
  for (std::int32_t i = 0; i < info->frameCount; ++i) {
    const std::int32_t n = source.ReadVideoFrame(buffer.data(), 0);
    out.frames.emplace_back(buffer.begin(), buffer.begin() + (n > 0 ? n : 0));
  }
  for (std::int32_t n = 1; n > 0;) {
    n = source.ReadAudio(buffer.data(), 8192);
    out.audio.insert(out.audio.end(), buffer.begin(), buffer.begin() + (n > 0 ? n : 0));
  }
  source.Close();
  return true;
}

TEST(HttpReads, DeliverTheSameBytesAsTheFile) {
  Contents local;
  ASSERT_TRUE(ReadAll(DivxWithMp3(), 0, local));
  ASSERT_GT(local.frames.size(), 10u);
  TestHttpServer server(FixtureFolder());
  for (std::int32_t mode : {0, 1}) {
    Contents remote;
    ASSERT_TRUE(ReadAll(server.Url("divx_mp3.avi"), mode, remote)) << mode;
    EXPECT_EQ(remote.frames, local.frames) << mode;
    EXPECT_EQ(remote.audio, local.audio) << mode;
  }
}

TEST(HttpReads, AServerThatDropsNeverYieldsWrongBytes) {
  Contents local;
  ASSERT_TRUE(ReadAll(DivxWithMp3(), 0, local));
  // Drops after 40,000 bytes of every response: what arrives must be the file's bytes, and a
  // frame cut short is reported with its real, shorter size.
  TestHttpServer server(FixtureFolder(), "drop-after=40000");
  Contents remote;
  if (!ReadAll(server.Url("divx_mp3.avi"), 0, remote)) return;  // a clean refusal is fine
  ASSERT_EQ(remote.frames.size(), local.frames.size());
  for (std::size_t i = 0; i < local.frames.size(); ++i) {
    const auto& got = remote.frames[i];
    ASSERT_LE(got.size(), local.frames[i].size()) << i;
    EXPECT_TRUE(std::equal(got.begin(), got.end(), local.frames[i].begin())) << i;
  }
  ASSERT_LE(remote.audio.size(), local.audio.size());
  EXPECT_TRUE(std::equal(remote.audio.begin(), remote.audio.end(), local.audio.begin()));
}

}  // namespace
}  // namespace mivora::test
