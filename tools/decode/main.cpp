// mivora-decode: decodes every video frame of an AVI file with the built-in decoder and writes
// the pictures as YUV4MPEG2, per-frame checksums, per-frame reports or a decoding speed figure.
//
// Exit status: 0 every frame decoded; 1 the file can't be opened (or holds no video); 2 the stream
// uses a feature the decoder doesn't implement; 3 some frames were damaged or had no picture
// (decoded best effort); 4 an output could not be written; 64 bad arguments.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "decoder/decoder_entry.h"
#include "decoder/decoder_status.h"
#include "decoder/decore.h"
#include "decoder/fourcc.h"
#include "input/avi_reader.h"
#include "input/media_source.h"
#include "platform/wide_string.h"
#include "tools/decode/display_output.h"
#include "tools/decode/frame_output.h"
#include "tools/decode/packed_chunks.h"

namespace mivora {
namespace {

constexpr int kExitOk = 0, kExitOpen = 1, kExitUnsupported = 2, kExitDamaged = 3, kExitOutput = 4,
              kExitUsage = 64;

struct Options {
  std::string path, y4mPath;
  bool framemd5 = false, info = false, bench = false, concealRest = false, packB = false,
       otherFourccs = false, forwardOnly = false;
  long frames = -1;
  DisplayOutputOptions display;
};

void Usage() {
  std::fprintf(
      stderr,
      "usage: mivora-decode [--y4m OUT|-] [--framemd5] [--frames N] [--info] [--bench]\n"
      "                     [--conceal-rest] [--forward-texture-only] [--pack-b-pictures]\n"
      "                     [--mpeg4-fourccs]\n"
      "                     [display options] FILE.avi\n"
      "display options: [--output-type 5|7|8|9] [--brightness B] [--skip-unchanged]\n"
      "                 [--display-size handheld|fit|WxH]\n"
      "                 [--display OUT|-] [--png DIR] [--contact-sheet FILE.png]\n");
}

bool ParseArguments(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--y4m" && i + 1 < argc) {
      o.y4mPath = argv[++i];
    } else if (a == "--framemd5") {
      o.framemd5 = true;
    } else if (a == "--info") {
      o.info = true;
    } else if (a == "--bench") {
      o.bench = true;
    } else if (a == "--mpeg4-fourccs") {
      o.otherFourccs = true;  // XVID, DX50, FMP4, MP4V ... through the built-in decoder too
    } else if (a == "--pack-b-pictures") {
      o.packB = true;  // each reference shares its chunk with the B picture after it
    } else if (a == "--conceal-rest") {
      o.concealRest = true;  // damage conceals the rest of its picture, packets or not
    } else if (a == "--forward-texture-only") {
      o.forwardOnly = true;  // damaged reversible texture parts are not read backward
    } else if (a == "--frames" && i + 1 < argc) {
      char* end = nullptr;
      o.frames = std::strtol(argv[++i], &end, 10);
      if (*end || o.frames < 0) return false;
    } else if (ParseDisplayOption(i, argc, argv, o.display)) {
      // consumed by the display output
    } else if (!a.empty() && a[0] != '-' && o.path.empty()) {
      o.path = a;
    } else {
      return false;
    }
  }
  return !o.path.empty();
}

// Some size when the reader can't tell the largest frame: an uncompressed 4:2:0 picture never
// needs more, so a sane encoder's frames fit.
std::int32_t FrameBufferBytes(const MediaInfo& info) {
  if (info.largestFrameBytes > 0) return info.largestFrameBytes;
  const std::int64_t raw = std::int64_t{info.width} * info.height * 3 / 2 + 4096;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(raw, kDefaultFrameCapacity, 64 << 20));
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

const char* PictureTypeName(int type) {
  switch (type) {
    case 0:
      return "I";
    case 1:
      return "P";
    case 2:
      return "B";
    case 3:
      return "S";
    default:
      return "-";
  }
}

class Run {
 public:
  explicit Run(const Options& o)
      : o_(o),
        display_(o.display),
        text_(o.y4mPath == "-" || o.display.displayPath == "-" ? stderr : stdout) {}
  int Main();

 private:
  // False when the call produced no picture to write (the first chunk of a stream with B
  // pictures, or the end of the stream once nothing waits).
  bool Decode(const std::uint8_t* data, std::int32_t length, long index);
  // Streams with B pictures go out one chunk late: the last picture is fetched at the end.
  void Flush(long index);

  const Options& o_;
  DisplayOutput display_;
  // Reports and checksums; they move to standard error when the pictures go to standard output.
  std::FILE* text_;
  Y4mWriter y4m_;
  VisibleSize size_{};
  bool damaged_ = false, unsupported_ = false, outputFailed_ = false;
  std::string unsupportedFeature_;
  long written_ = 0;  // pictures written; their number in the checksums
};

void Run::Flush(long index) {
  while (Decode(nullptr, 0, index++)) {
  }
}

bool Run::Decode(const std::uint8_t* data, std::int32_t length, long index) {
  DecodedFrame frame;
  const auto status = static_cast<DecodeStatus>(decore_frame(data, length, &frame, 1, 0));
  const FrameReport& report = LastFrameReport();
  if (o_.info)
    std::fprintf(text_, "frame %ld type %s q %d bytes %d status %s%s%s concealed %d\n", index,
                 PictureTypeName(report.pictureType), report.quantiser, length,
                 DescribeStatus(status), report.feature && *report.feature ? " feature " : "",
                 report.feature ? report.feature : "", report.concealedMacroblocks);
  if (!data) {
    if (status != DecodeStatus::Ok) return false;
  } else if (status == DecodeStatus::Unsupported) {
    unsupported_ = true;
    if (report.feature && unsupportedFeature_.empty()) unsupportedFeature_ = report.feature;
  } else if (status != DecodeStatus::Ok && status != DecodeStatus::NotCoded &&
             status != DecodeStatus::Delayed &&
             !(status == DecodeStatus::NoPicture && length == 0)) {
    // An empty chunk is how AVI writers (ffmpeg's among them) record a dropped frame: the picture
    // before it stays, and nothing is damaged.
    damaged_ = true;
  }
  if (status == DecodeStatus::Delayed) return false;
  if (o_.bench) return true;
  if (!o_.y4mPath.empty() && !y4m_.Write(frame)) outputFailed_ = true;
  if (o_.framemd5) std::fprintf(text_, "%ld %s\n", written_, VisibleFrameMd5(frame, size_).c_str());
  ++written_;
  if (frame.y && !display_.AddFrame(frame, size_.width, size_.height)) outputFailed_ = true;
  return true;
}

int Run::Main() {
  MediaSource source;
  InitializeAviReader(&source);
  SetAviReaderReopenWait(0);
  MediaInfo* info = nullptr;
  const std::u16string path = platform::FromUtf8(o_.path);
  if (!source.Open(path.c_str(), 0, 0, &info) || !info) {
    std::fprintf(stderr, "mivora-decode: cannot open %s\n", o_.path.c_str());
    return kExitOpen;
  }
  if (info->frameCount <= 0 || info->width <= 0 || info->height <= 0) {
    std::fprintf(stderr, "mivora-decode: %s holds no video\n", o_.path.c_str());
    source.Close();
    return kExitOpen;
  }
  if (!decoder::IsDivxFourcc(info->fourcc) &&
      !(o_.otherFourccs && decoder::IsOtherMpeg4Fourcc(info->fourcc))) {
    std::fprintf(stderr,
                 "mivora-decode: video FourCC \"%s\" is not decoded by the built-in decoder\n",
                 info->fourcc);
    source.Close();
    return kExitUnsupported;
  }
  size_ = {info->width, info->height};
  const long total =
      o_.frames >= 0 ? std::min<long>(o_.frames, info->frameCount) : info->frameCount;
  const std::int32_t capacity = FrameBufferBytes(*info);
  SetAviReaderFrameCapacity(capacity);

  DecoderParams params{info->width, info->height, 0, o_.display.outputType, 0};
  if (decore(0, kDecoreInit, &params, nullptr) != 0) {
    std::fprintf(stderr, "mivora-decode: the decoder cannot open a %dx%d picture\n", info->width,
                 info->height);
    source.Close();
    return kExitUnsupported;
  }
  SetPacketConcealment(!o_.concealRest);
  SetBackwardTexture(!o_.forwardOnly);
  if (!o_.y4mPath.empty() && !y4m_.Open(o_.y4mPath, size_, info->framesPerSecond)) {
    std::fprintf(stderr, "mivora-decode: cannot write %s\n", o_.y4mPath.c_str());
    outputFailed_ = true;
  }
  if (!o_.bench && !display_.Begin(size_.width, size_.height, static_cast<int>(total)))
    outputFailed_ = true;

  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(capacity));
  if (o_.bench) {
    // Everything read first, so the figure is decoding alone.
    std::vector<std::vector<std::uint8_t>> frames;
    for (long i = 0; i < total; ++i) {
      const std::int32_t n = source.ReadVideoFrame(buffer.data(), 0);
      frames.emplace_back(buffer.begin(), buffer.begin() + std::clamp(n, 0, capacity));
    }
    // Short clips are decoded again (from a freshly opened decoder, as the first frame is a key
    // frame) until a second has been measured, so the figure is not lost in timer noise.
    double seconds = 0, cpuSeconds = 0;
    long decoded = 0;
    for (int pass = 0; pass == 0 || (total > 0 && seconds < 1.0 && pass < 10000); ++pass) {
      if (pass > 0) {
        decore(0, kDecoreRelease, nullptr, nullptr);
        decore(0, kDecoreInit, &params, nullptr);
      }
      const auto start = std::chrono::steady_clock::now();
      const double cpuStart = ProcessCpuSeconds();
      for (long i = 0; i < total; ++i)
        Decode(frames[i].data(), static_cast<std::int32_t>(frames[i].size()), i);
      Flush(total);
      seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      cpuSeconds += ProcessCpuSeconds() - cpuStart;
      decoded += total;
    }
    // The processor time too: on a loaded machine it, not the clock, compares with another
    // decoder's user time.
    std::fprintf(text_, "frames=%ld seconds=%.4f fps=%.1f cpu=%.4f\n", decoded, seconds,
                 seconds > 0 ? decoded / seconds : 0.0, cpuSeconds);
  } else if (o_.packB) {
    std::vector<Chunk> chunks;
    for (long i = 0; i < total; ++i) {
      const std::int32_t n = source.ReadVideoFrame(buffer.data(), 0);
      chunks.emplace_back(buffer.begin(), buffer.begin() + std::clamp(n, 0, capacity));
    }
    chunks = PackBPictures(chunks, StreamTimeResolution(chunks));
    for (std::size_t i = 0; i < chunks.size(); ++i)
      Decode(chunks[i].data(), static_cast<std::int32_t>(chunks[i].size()), static_cast<long>(i));
    Flush(static_cast<long>(chunks.size()));
  } else {
    for (long i = 0; i < total; ++i) {
      const std::int32_t n = source.ReadVideoFrame(buffer.data(), 0);
      Decode(buffer.data(), std::clamp(n, 0, capacity), i);
    }
    Flush(total);
  }
  decore(0, kDecoreRelease, nullptr, nullptr);
  source.Close();
  if (!y4m_.Close()) outputFailed_ = true;
  if (!o_.bench && !display_.Finish()) outputFailed_ = true;

  if (unsupported_) {
    std::fprintf(stderr,
                 "mivora-decode: the stream uses a feature the decoder doesn't implement%s%s\n",
                 unsupportedFeature_.empty() ? "" : ": ", unsupportedFeature_.c_str());
    return kExitUnsupported;
  }
  if (outputFailed_) return kExitOutput;
  return damaged_ ? kExitDamaged : kExitOk;
}

}  // namespace
}  // namespace mivora

int main(int argc, char** argv) {
  mivora::Options options;
  if (!mivora::ParseArguments(argc, argv, options)) {
    mivora::Usage();
    return mivora::kExitUsage;
  }
#if defined(__GLIBC__)
  if (options.bench) {
    // Passes after the first open the decoder afresh. Left to itself glibc returns large freed
    // blocks to the system, and by how its thresholds happen to move, a pass may pay the page
    // faults of touching new picture buffers, as a whole file does only once: short clips with
    // B pictures measured up to 20% slower. Kept in the process, the buffers are reused.
    constexpr int kKeep = 32 << 20;  // glibc's largest mmap threshold on 64-bit systems
    mallopt(M_MMAP_THRESHOLD, kKeep);
    mallopt(M_TRIM_THRESHOLD, kKeep);
  }
#endif
  mivora::Run run(options);
  return run.Main();
}
