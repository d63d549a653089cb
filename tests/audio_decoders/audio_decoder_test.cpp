// MP3LibCE and MP12LibCE through the engine's loop, against ffmpeg's decoding of the same files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/audio_decoders/audio_decoder_driver.h"

namespace mivora::test {
namespace {

namespace fs = std::filesystem;

int Shell(const std::string& command, std::vector<std::uint8_t>* out = nullptr) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char chunk[65536];
  std::size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) {
    if (out != nullptr) out->insert(out->end(), chunk, chunk + n);
  }
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Made once per build folder; a temporary name and a rename keep parallel tests apart.
std::string Fixture(const std::string& name, const std::string& arguments) {
  const fs::path dir = MIVORA_FIXTURE_DIR;
  fs::create_directories(dir);
  const fs::path file = dir / name;
  if (fs::exists(file)) return file.string();
  const fs::path temporary = dir / (std::to_string(getpid()) + "." + name);
  const std::string format = file.extension() == ".mp2" ? " -f mp2" : " -f mp3";
  if (Shell("ffmpeg -hide_banner -loglevel error -y " + arguments + format + " '" +
            temporary.string() + "' 2>&1") != 0) {
    ADD_FAILURE() << "ffmpeg failed for " << name;
    return "";
  }
  fs::rename(temporary, file);
  return file.string();
}

std::string Tone(const std::string& name, int rate, int channels, const std::string& codec) {
  return Fixture(name, "-f lavfi -i \"sine=frequency=440:sample_rate=" + std::to_string(rate) +
                           ":duration=3\" -af volume=4 -ac " + std::to_string(channels) + " " +
                           codec);
}

std::vector<std::int16_t> FfmpegPcm(const std::string& file) {
  std::vector<std::uint8_t> bytes;
  Shell("ffmpeg -hide_banner -loglevel error -i '" + file + "' -f s16le -", &bytes);
  std::vector<std::int16_t> pcm(bytes.size() / 2);
  std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
  return pcm;
}

double Rms(const std::vector<std::int16_t>& pcm, std::size_t from = 0) {
  double sum = 0;
  for (std::size_t i = from; i < pcm.size(); ++i) sum += double(pcm[i]) * pcm[i];
  return pcm.size() > from ? std::sqrt(sum / double(pcm.size() - from)) : 0;
}

void ExpectSaneRun(const DriveResult& run) {
  EXPECT_TRUE(run.positionsMonotonic);
  EXPECT_FALSE(run.zeroPositionWithSamples);
  EXPECT_FALSE(run.blockTooLarge);
  EXPECT_FALSE(run.unalignedBlock);
  if (!run.positions.empty()) {
    EXPECT_LE(run.positions.back(), run.bytesRead);
  }
}

struct Case {
  const char* name;
  const char16_t* module;
  int rate;
  int channels;
  const char* codec;
  int bitRate;  // expected, 0: VBR (checked against the file's average)
};

class Decoding : public ::testing::TestWithParam<Case> {};

TEST_P(Decoding, MatchesFfmpeg) {
  const Case& c = GetParam();
  const std::string file = Tone(c.name, c.rate, c.channels, c.codec);
  ASSERT_FALSE(file.empty());
  AudioDecoderModule module(c.module);
  ASSERT_TRUE(module.ok());
  const auto bytes = ReadFileBytes(file);
  const DriveResult run = Drive(module, bytes);
  ASSERT_TRUE(run.headerFound);
  EXPECT_EQ(run.sampleRate, c.rate);
  EXPECT_EQ(run.channels, c.channels);
  const double seconds = 3.0;
  if (c.bitRate != 0) {
    EXPECT_EQ(run.bitRate, c.bitRate);
  } else {
    EXPECT_NEAR(run.bitRate, bytes.size() * 8 / seconds, bytes.size() * 8 / seconds * 0.1);
  }
  ExpectSaneRun(run);
  // The last position reaches the end of the last frame: all bytes (ffmpeg adds no trailer).
  ASSERT_FALSE(run.positions.empty());
  EXPECT_EQ(run.positions.back(), static_cast<std::int32_t>(bytes.size()));
  const auto reference = FfmpegPcm(file);
  const long frame = 1152L * c.channels;
  EXPECT_NEAR(double(run.pcm.size()), double(reference.size()), double(frame));
  const std::size_t common = std::min(run.pcm.size(), reference.size());
  int maxDiff = 0;
  double noise = 0, signal = 0;
  for (std::size_t i = 0; i < common; ++i) {
    const int d = std::abs(int(run.pcm[i]) - int(reference[i]));
    maxDiff = std::max(maxDiff, d);
    noise += double(d) * d;
    signal += double(reference[i]) * reference[i];
  }
  const double snr = noise == 0 ? 999 : 10 * std::log10(signal / noise);
  std::printf(
      "%s: module %zu samples, ffmpeg %zu, max diff %d, SNR %.1f dB, last position %d of %zu\n",
      c.name, run.pcm.size(), reference.size(), maxDiff, snr, run.positions.back(), bytes.size());
  EXPECT_LE(maxDiff, 2);
  EXPECT_GT(snr, 80);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, Decoding,
    ::testing::Values(
        Case{"cbr44_id3.mp3", u"MP3LibCE.dll", 44100, 2,
             "-c:a libmp3lame -b:a 128k -id3v2_version 3 -metadata title=Mivora", 128000},
        Case{"vbr44.mp3", u"MP3LibCE.dll", 44100, 2, "-c:a libmp3lame -q:a 4", 0},
        Case{"cbr48.mp3", u"MP3LibCE.dll", 48000, 2, "-c:a libmp3lame -b:a 160k", 160000},
        Case{"cbr32.mp3", u"MP3LibCE.dll", 32000, 2, "-c:a libmp3lame -b:a 96k", 96000},
        Case{"mono44.mp3", u"MP3LibCE.dll", 44100, 1, "-c:a libmp3lame -b:a 64k", 64000},
        Case{"mpeg2_22.mp3", u"MP3LibCE.dll", 22050, 1, "-c:a libmp3lame -b:a 32k", 32000},
        Case{"layer2_48.mp2", u"MP12LibCE.dll", 48000, 2, "-c:a mp2 -b:a 192k", 192000},
        Case{"layer2_44.mp2", u"MP12LibCE.dll", 44100, 2, "-c:a mp2 -b:a 128k", 128000},
        Case{"layer3_mp12.mp3", u"MP12LibCE.dll", 44100, 2, "-c:a libmp3lame -b:a 128k", 128000}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (auto& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

// The engine's bad-format retry: 48 kHz asked for 44,100, 32 kHz for 22,050.
TEST(Resampling, RetryRatesScaleTheOutput) {
  struct {
    const char* name;
    int rate;
    int wanted;
  } cases[] = {{"cbr48.mp3", 48000, 44100}, {"cbr32.mp3", 32000, 22050}};
  for (const auto& c : cases) {
    const std::string file =
        Tone(c.name, c.rate, 2,
             c.rate == 48000 ? "-c:a libmp3lame -b:a 160k" : "-c:a libmp3lame -b:a 96k");
    AudioDecoderModule module(u"MP3LibCE.dll");
    ASSERT_TRUE(module.ok());
    DriveOptions options;
    options.retryRate = c.wanted;
    const DriveResult run = Drive(module, ReadFileBytes(file), options);
    EXPECT_EQ(run.sampleRate, c.wanted);
    ExpectSaneRun(run);
    const double expected = double(FfmpegPcm(file).size()) * c.wanted / c.rate;
    std::printf("%s at %d: %zu samples, expected %.0f\n", c.name, c.wanted, run.pcm.size(),
                expected);
    EXPECT_NEAR(double(run.pcm.size()), expected, 1152.0 * 2);
    EXPECT_GT(Rms(run.pcm, 4000), 5000);  // a tone, not silence
    // After a seek the engine re-inits without asking again: the rate holds.
    const auto bytes = ReadFileBytes(file);
    const std::vector<std::uint8_t> tail(bytes.begin() + bytes.size() / 2, bytes.end());
    DriveOptions restart;
    restart.restartOnly = true;
    const DriveResult second = Drive(module, tail, restart);
    ExpectSaneRun(second);
    EXPECT_NEAR(double(second.pcm.size()), expected / 2, 1152.0 * 4);
    ASSERT_FALSE(second.positions.empty());
    EXPECT_LT(second.positions.front(), 2000);  // counted from the new Init
    EXPECT_NEAR(second.positions.back(), double(tail.size()), 1000);
  }
}

TEST(Equalizer, CutAt440HzLowersTheTone) {
  const std::string file =
      Tone("cbr44_id3.mp3", 44100, 2,
           "-c:a libmp3lame -b:a 128k -id3v2_version 3 -metadata title=Mivora");
  const auto bytes = ReadFileBytes(file);
  AudioDecoderModule module(u"MP3LibCE.dll");
  ASSERT_TRUE(module.ok());
  const std::int8_t flat[10] = {};
  const std::int8_t cut[10] = {-12, -12, -12, -12, -12, 0, 0, 0, 0, 0};
  DriveOptions options;
  options.equalizerOn = 1;
  options.bands = flat;
  const DriveResult a = Drive(module, bytes, options);
  options.bands = cut;
  const DriveResult b = Drive(module, bytes, options);
  options.equalizerOn = 0;
  const DriveResult off = Drive(module, bytes, options);
  const double ratio = 20 * std::log10(Rms(b.pcm) / Rms(a.pcm));
  std::printf("440 Hz with 31..500 Hz at -12 dB: %.2f dB\n", ratio);
  EXPECT_LT(ratio, -9);
  EXPECT_EQ(off.pcm, a.pcm);  // EqualizerOn 0 is flat whatever the bands
  // The Equalizer dialog's Init while running changes the sound, not the positions.
  DriveOptions later;
  later.equalizerOn = 1;
  later.bands = flat;
  later.laterInitAfterCalls = 20;
  later.laterBands = cut;
  const DriveResult c = Drive(module, bytes, later);
  ExpectSaneRun(c);
  EXPECT_EQ(c.positions.back(), a.positions.back());
  EXPECT_LT(Rms(c.pcm, c.pcm.size() / 2), Rms(a.pcm, a.pcm.size() / 2) * 0.5);
}

TEST(Header, TagsJunkAndNothing) {
  AudioDecoderModule module(u"MP12LibCE.dll");
  ASSERT_TRUE(module.ok());
  const auto mp3 = ReadFileBytes(Tone("cbr48.mp3", 48000, 2, "-c:a libmp3lame -b:a 160k"));
  // An ID3v2.4 tag with the footer flag, then junk that holds a false sync.
  std::vector<std::uint8_t> data = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 0, 20};
  data.resize(10 + 20, 0xFF);
  const std::uint8_t footer[10] = {'3', 'D', 'I', 4, 0, 0x10, 0, 0, 0, 20};
  data.insert(data.end(), footer, footer + 10);
  const std::uint8_t junk[] = {1, 2, 0xFF, 0xFB, 0x90, 0x00, 7, 8};
  data.insert(data.end(), junk, junk + sizeof junk);
  data.insert(data.end(), mp3.begin(), mp3.end());
  data.resize(kAudioHeaderBytes);
  std::int32_t rate = 0, channels = 0, bitRate = 0;
  EXPECT_NE(module.header(data.data(), kAudioHeaderBytes, &rate, &channels, &bitRate), 0);
  EXPECT_EQ(rate, 48000);
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(bitRate, 160000);
  std::vector<std::uint8_t> zeros(kAudioHeaderBytes, 0);
  EXPECT_EQ(module.header(zeros.data(), kAudioHeaderBytes, &rate, &channels, &bitRate), 0);
  std::mt19937 random(5);
  for (auto& b : zeros) b = static_cast<std::uint8_t>(random());
  module.header(zeros.data(), kAudioHeaderBytes, &rate, &channels, &bitRate);  // no crash
}

TEST(Protocol, ExitTwiceAndBadArguments) {
  AudioDecoderModule module(u"MP3LibCE.dll");
  ASSERT_TRUE(module.ok());
  module.exit();
  module.exit();
  std::int32_t produced = 7, position = 7;
  std::uint8_t out[16];
  EXPECT_LT(module.decompress(nullptr, 0, nullptr, 4800, &produced, &position), 0);
  module.init(0, nullptr);
  EXPECT_EQ(module.decompress(nullptr, 0, out, sizeof out, &produced, &position), 1);
  EXPECT_EQ(produced, 0);
  EXPECT_EQ(position, 0);
  module.exit();
}

// Damaged streams: no crash (ASan), no hang, no block past the room, positions still rising.
TEST(Damage, FlipsCutsRandomAndZeros) {
  const auto mp3 =
      ReadFileBytes(Tone("cbr44_id3.mp3", 44100, 2,
                         "-c:a libmp3lame -b:a 128k -id3v2_version 3 -metadata title=Mivora"));
  const auto mp2 = ReadFileBytes(Tone("layer2_48.mp2", 48000, 2, "-c:a mp2 -b:a 192k"));
  std::mt19937 random(11);
  std::vector<std::vector<std::uint8_t>> inputs;
  for (const auto* clean : {&mp3, &mp2}) {
    auto flipped = *clean;
    for (std::size_t i = 0; i < flipped.size(); i += 1 + random() % 400)
      flipped[i] ^= 1 << (random() % 8);
    inputs.push_back(flipped);
    std::vector<std::uint8_t> cut;
    for (std::size_t i = 0; i < clean->size(); i += 3000) {
      const std::size_t keep = 1000 + random() % 1500;
      cut.insert(cut.end(), clean->begin() + i, clean->begin() + std::min(clean->size(), i + keep));
    }
    inputs.push_back(cut);
    inputs.emplace_back(clean->begin(), clean->begin() + clean->size() / 3 + 7);  // truncated
  }
  std::vector<std::uint8_t> noise(200000);
  for (auto& b : noise) b = static_cast<std::uint8_t>(random());
  inputs.push_back(noise);
  inputs.push_back(std::vector<std::uint8_t>(50000, 0));
  std::vector<std::uint8_t> zerosThenMp3(kAudioWindowBytes, 0);
  zerosThenMp3.insert(zerosThenMp3.end(), mp3.begin(), mp3.end());
  inputs.push_back(zerosThenMp3);
  std::vector<std::uint8_t> syncs(60000);
  for (std::size_t i = 0; i < syncs.size(); ++i) syncs[i] = i % 2 ? 0xFB : 0xFF;
  inputs.push_back(syncs);
  for (const char16_t* name : {u"MP3LibCE.dll", u"MP12LibCE.dll"}) {
    AudioDecoderModule module(name);
    ASSERT_TRUE(module.ok());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      SCOPED_TRACE(i);
      const DriveResult run = Drive(module, inputs[i]);
      ExpectSaneRun(run);
      EXPECT_LT(run.calls, 100000);
      if (i == 0) {
        EXPECT_GT(run.pcm.size(), 132300u * 2 * 8 / 10);  // most of the flipped file
      }
      if (i == inputs.size() - 2) {
        EXPECT_NEAR(run.pcm.size(), 264600.0, 2304);  // zeros then mp3
      }
    }
  }
}

}  // namespace
}  // namespace mivora::test
