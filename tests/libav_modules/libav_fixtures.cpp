#include "tests/libav_modules/libav_fixtures.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace mivora::test {

namespace fs = std::filesystem;

namespace {

constexpr int kSeconds = 4;
constexpr int kRate = 25;

std::string SourcePath(int width, int height) {
  return (fs::path(MIVORA_FIXTURE_DIR) /
          ("source-" + std::to_string(width) + "x" + std::to_string(height) + ".yuv"))
      .string();
}

// Made once per build folder; a temporary name and a rename keep parallel tests apart.
std::string Once(const std::string& name, const std::string& command) {
  const fs::path dir = MIVORA_FIXTURE_DIR;
  fs::create_directories(dir);
  const fs::path file = dir / name;
  if (fs::exists(file)) return file.string();
  const fs::path temporary = dir / (std::to_string(getpid()) + "." + name);
  std::string line = command;
  const std::size_t at = line.find("OUT");
  line.replace(at, 3, "'" + temporary.string() + "'");
  if (Shell(line + " 2>&1") != 0) {
    ADD_FAILURE() << "ffmpeg failed for " << name;
    return "";
  }
  fs::rename(temporary, file);
  return file.string();
}

std::string Source(int width, int height) {
  const std::string name = fs::path(SourcePath(width, height)).filename().string();
  return Once(name, "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=" +
                        std::to_string(width) + "x" + std::to_string(height) + ":rate=25 -t " +
                        std::to_string(kSeconds) + " -pix_fmt yuv420p -f rawvideo OUT");
}

Clip Make(const std::string& name, int width, int height, const std::string& codecs) {
  Clip clip;
  clip.width = width;
  clip.height = height;
  clip.frames = kSeconds * kRate;
  const std::string source = Source(width, height);
  if (source.empty()) return clip;
  clip.path =
      Once(name, "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt yuv420p -s " +
                     std::to_string(width) + "x" + std::to_string(height) + " -r 25 -i '" + source +
                     "' -f lavfi -i sine=frequency=440:sample_rate=" + codecs + " OUT");
  return clip;
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  std::uint8_t chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
    bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(file);
  return bytes;
}

}  // namespace

int Shell(const std::string& command, std::vector<std::uint8_t>* out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
    if (out != nullptr) out->insert(out->end(), chunk, chunk + n);
  }
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string MakeFixture(const std::string& name, const std::string& arguments) {
  return Once(name, "ffmpeg -nostdin -v error -y " + arguments + " OUT");
}

Clip Mpeg1Clip() {
  return Make("clip1.mpg", 320, 240,
              "44100 -t 4 -c:v mpeg1video -bf 2 -g 12 -q:v 4 -c:a mp2 -b:a 128k -f mpeg");
}

Clip Mpeg2Clip() {
  return Make("clip2.MPEG", 352, 288,
              "48000 -t 4 -c:v mpeg2video -bf 2 -g 12 -q:v 4 -c:a mp2 -b:a 192k -f vob");
}

Clip Div3Clip() {
  return Make("div3.avi", 176, 144,
              "44100 -t 4 -c:v msmpeg4 -vtag DIV3 -g 12 -q:v 4 -c:a libmp3lame -b:a 128k -f avi");
}

std::vector<std::uint8_t> SourcePictures(int width, int height) {
  Source(width, height);
  return ReadAll(SourcePath(width, height));
}

std::vector<std::uint8_t> FfmpegPictures(const std::string& file) {
  std::vector<std::uint8_t> bytes;
  Shell("ffmpeg -nostdin -v error -i '" + file +
            "' -vsync passthrough -pix_fmt yuv420p -f rawvideo -",
        &bytes);
  return bytes;
}

std::vector<std::uint8_t> FfmpegAudioStream(const std::string& file) {
  std::vector<std::uint8_t> bytes;
  Shell("ffmpeg -nostdin -v error -i '" + file + "' -vn -c:a copy -f mp2 -", &bytes);
  return bytes;
}

double FfprobeSeconds(const std::string& file) {
  std::vector<std::uint8_t> text;
  Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + file + "'", &text);
  text.push_back(0);
  return std::atof(reinterpret_cast<const char*>(text.data()));
}

double PicturePsnr(const DecodedFrame& picture, const std::vector<std::uint8_t>& set, int index,
                   int width, int height) {
  const std::size_t frameBytes = std::size_t(width) * height * 3 / 2;
  if (picture.y == nullptr || set.size() < frameBytes * (index + 1)) return 0;
  const std::uint8_t* reference = set.data() + frameBytes * index;
  double sum = 0;
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      const double d = double(picture.y[row * picture.strideY + column]) -
                       double(reference[row * width + column]);
      sum += d * d;
    }
  }
  return sum == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * width * height / sum);
}

double RawPsnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, int index,
               int width, int height) {
  const std::size_t frameBytes = std::size_t(width) * height * 3 / 2;
  if (a.size() < frameBytes * (index + 1)) return 0;
  DecodedFrame picture;
  picture.y = const_cast<std::uint8_t*>(a.data() + frameBytes * index);
  picture.strideY = width;
  return PicturePsnr(picture, b, index, width, height);
}

std::uint64_t TouchPicture(const DecodedFrame& picture, int width, int height) {
  std::uint64_t sum = 0;
  const std::uint8_t* planes[2][3] = {{picture.y, picture.u, picture.v},
                                      {picture.prevY, picture.prevU, picture.prevV}};
  for (const auto& p : planes) {
    if (p[0] == nullptr) continue;
    for (int row = 0; row < height; ++row) {
      for (int column = 0; column < width; ++column) {
        sum += p[0][row * picture.strideY + column];
        if (row % 2 == 0 && column % 2 == 0) {
          sum += p[1][row / 2 * picture.strideU + column / 2] +
                 p[2][row / 2 * picture.strideV + column / 2];
        }
      }
    }
  }
  return sum;
}

}  // namespace mivora::test
