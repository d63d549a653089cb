#include "tools/decode/display_output.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "output/converter_select.h"
#include "output/converters.h"
#include "output/display_layout.h"
#include "platform/display_memory.h"
#include "tools/decode/png_writer.h"

namespace mivora {

namespace {

// Contact sheet: up to 3 x 3 display frames at full size, 8 grey pixels apart.
constexpr int kSheetColumns = 3;
constexpr int kSheetTiles = 9;
constexpr int kSheetGap = 8;
constexpr std::uint16_t kSheetBackground = 0x4208;

ConverterFn ConverterFor(int outputType) {
  switch (outputType) {
    case 7:
      return &ConvertRotated;
    case 8:
      return &ConvertDouble;
    case 9:
      return &ConvertRotatedDouble;
    default:
      return &ConvertNormal;
  }
}

bool ParseInt(const char* text, int& value) {
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || parsed < -1000000 || parsed > 1000000) return false;
  value = static_cast<int>(parsed);
  return true;
}

}  // namespace

struct DisplayOutput::State {
  ConverterFn converter = &ConvertNormal;
  DisplayLayout layout;
  platform::DisplayGeometry geometry;
  int width = 0, height = 0;
  long frameIndex = 0;
  bool converted = false;  // the display shows a frame converted by this converter and layout
  std::FILE* display = nullptr;
  bool displayIsStdout = false;
  std::vector<long> sheetFrames;  // frame numbers the contact sheet shows, ascending
  std::vector<std::uint16_t> sheet;
  int sheetWidth = 0, sheetHeight = 0, tileWidth = 0, tileHeight = 0;
  bool ok = true;

  // Sizes the display for the picture (as the player does when an item opens: memory for its
  // largest mode first) and places the picture on it.
  void Place(int w, int h, const DisplayOutputOptions& options) {
    width = w;
    height = h;
    const bool rotate = options.outputType == 7 || options.outputType == 9;
    const bool doubled = options.outputType >= 8;
    if (!platform::ReserveDisplayMemory(LargestDisplayPixels(options.displaySize, w, h)) ||
        !platform::SetDisplayGeometry(GeometryFor(options.displaySize, w, h, rotate, doubled))) {
      std::fprintf(stderr, "mivora-decode: no display memory for a %dx%d picture\n", w, h);
      ok = false;
    }
    geometry = platform::CurrentDisplayGeometry();
    layout = LayoutForOutputType(w, h, options.outputType, geometry);
    platform::ClearDisplayMemory();
    converted = false;
  }
};

bool ParseDisplayOption(int& i, int argc, char** argv, DisplayOutputOptions& options) {
  if (i < 0 || i >= argc) return false;
  const std::string option = argv[i];
  const bool hasValue = i + 1 < argc;
  if (option == "--skip-unchanged") {
    options.skipUnchanged = true;
    return true;
  }
  if (!hasValue) return false;
  const char* value = argv[i + 1];
  if (option == "--display-size") {
    const std::optional<DisplaySize> size = ParseDisplaySize(value);
    if (!size) {
      std::fprintf(stderr, "mivora-decode: --display-size takes handheld, fit or WxH\n");
      return false;
    }
    options.displaySize = *size;
  } else if (option == "--output-type") {
    int type = 0;
    if (!ParseInt(value, type) || (type != 5 && type != 7 && type != 8 && type != 9)) {
      std::fprintf(stderr, "mivora-decode: --output-type takes 5, 7, 8 or 9\n");
      return false;
    }
    options.outputType = type;
  } else if (option == "--brightness") {
    if (!ParseInt(value, options.brightness)) {
      std::fprintf(stderr, "mivora-decode: --brightness takes a whole number\n");
      return false;
    }
  } else if (option == "--display") {
    options.displayPath = value;
  } else if (option == "--png") {
    options.pngDir = value;
  } else if (option == "--contact-sheet") {
    options.contactSheetPath = value;
  } else {
    return false;
  }
  ++i;
  return true;
}

DisplayOutput::DisplayOutput(const DisplayOutputOptions& options)
    : options_(options), state_(std::make_unique<State>()) {}

DisplayOutput::~DisplayOutput() {
  if (state_->display && !state_->displayIsStdout) std::fclose(state_->display);
}

bool DisplayOutput::Begin(int width, int height, int frameCount) {
  State& s = *state_;
  s.converter = ConverterFor(options_.outputType);
  s.Place(width, height, options_);
  s.frameIndex = 0;
  if (!options_.displayPath.empty()) {
    if (options_.displayPath == "-") {
      s.display = stdout;
      s.displayIsStdout = true;
    } else {
      s.display = std::fopen(options_.displayPath.c_str(), "wb");
    }
    if (!s.display) {
      std::fprintf(stderr, "mivora-decode: cannot write %s\n", options_.displayPath.c_str());
      s.ok = false;
    }
  }
  if (!options_.pngDir.empty()) {
    std::error_code error;
    std::filesystem::create_directories(options_.pngDir, error);
    if (error) {
      std::fprintf(stderr, "mivora-decode: cannot create %s\n", options_.pngDir.c_str());
      s.ok = false;
    }
  }
  if (!options_.contactSheetPath.empty()) {
    // Evenly spaced frames, first and last included.
    const long count = std::max(frameCount, 1);
    const long tiles = std::min<long>(count, kSheetTiles);
    for (long t = 0; t < tiles; ++t)
      s.sheetFrames.push_back(tiles == 1 ? 0 : t * (count - 1) / (tiles - 1));
    const int columns = static_cast<int>(std::min<long>(tiles, kSheetColumns));
    const int rows = static_cast<int>((tiles + kSheetColumns - 1) / kSheetColumns);
    // Tiles as large as the display the first picture gets; a later size change shows as much of
    // its display as fits the tile.
    s.tileWidth = s.geometry.width;
    s.tileHeight = s.geometry.height;
    s.sheetWidth = columns * s.tileWidth + (columns + 1) * kSheetGap;
    s.sheetHeight = rows * s.tileHeight + (rows + 1) * kSheetGap;
    s.sheet.assign(static_cast<std::size_t>(s.sheetWidth) * s.sheetHeight, kSheetBackground);
  }
  return s.ok;
}

bool DisplayOutput::AddFrame(const DecodedFrame& frame, int width, int height) {
  State& s = *state_;
  // A size change moves the picture: the display starts black again and nothing is skipped.
  if (width != s.width || height != s.height) s.Place(width, height, options_);
  const bool skip = options_.skipUnchanged && s.converted;
  std::uint16_t* destination = platform::DisplayDestination(s.layout.startOffset);
  s.converter(frame.y, static_cast<std::int32_t>(frame.strideY), frame.u, frame.v,
              static_cast<std::int32_t>(frame.strideU), destination, width, height,
              s.layout.rowSkip, 0, options_.brightness, frame.prevY, frame.prevU, frame.prevV,
              skip ? 1 : 0, 0);
  s.converted = true;
  const std::uint16_t* display = platform::DisplayMemory();
  const int displayWidth = s.geometry.width, displayHeight = s.geometry.height;
  const int pitch = s.geometry.pitch;
  const long index = s.frameIndex++;

  if (s.display) {
    // Raw little-endian RGB 5-6-5, the whole display per frame: width x height pixels, rows of
    // width (the row pitch is not written).
    bool written = true;
    std::vector<std::uint8_t> bytes(2 * static_cast<std::size_t>(displayWidth));
    for (int r = 0; r < displayHeight && written; ++r) {
      const std::uint16_t* row = display + static_cast<std::ptrdiff_t>(r) * pitch;
      if constexpr (std::endian::native == std::endian::little) {
        written =
            std::fwrite(row, 2, displayWidth, s.display) == static_cast<std::size_t>(displayWidth);
      } else {
        for (int p = 0; p < displayWidth; ++p) {
          bytes[2 * p] = static_cast<std::uint8_t>(row[p]);
          bytes[2 * p + 1] = static_cast<std::uint8_t>(row[p] >> 8);
        }
        written = std::fwrite(bytes.data(), 1, bytes.size(), s.display) == bytes.size();
      }
    }
    if (!written) s.ok = false;
  }
  if (!options_.pngDir.empty()) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06ld.png", index);
    const std::string path = (std::filesystem::path(options_.pngDir) / name).string();
    if (!WritePng565(path, display, displayWidth, displayHeight, pitch)) {
      std::fprintf(stderr, "mivora-decode: cannot write %s\n", path.c_str());
      s.ok = false;
    }
  }
  const auto tile = std::find(s.sheetFrames.begin(), s.sheetFrames.end(), index);
  if (tile != s.sheetFrames.end()) {
    const int t = static_cast<int>(tile - s.sheetFrames.begin());
    const int left = kSheetGap + (t % kSheetColumns) * (s.tileWidth + kSheetGap);
    const int top = kSheetGap + (t / kSheetColumns) * (s.tileHeight + kSheetGap);
    const int columns = std::min(displayWidth, s.tileWidth);
    for (int r = 0; r < std::min(displayHeight, s.tileHeight); ++r)
      std::copy_n(display + static_cast<std::ptrdiff_t>(r) * pitch, columns,
                  s.sheet.begin() + static_cast<std::ptrdiff_t>(top + r) * s.sheetWidth + left);
  }
  return s.ok;
}

bool DisplayOutput::Finish() {
  State& s = *state_;
  if (s.display) {
    if (s.displayIsStdout) {
      if (std::fflush(s.display) != 0) s.ok = false;
    } else if (std::fclose(s.display) != 0) {
      s.ok = false;
    }
    s.display = nullptr;
  }
  if (!options_.contactSheetPath.empty() && !s.sheet.empty()) {
    if (!WritePng565(options_.contactSheetPath, s.sheet.data(), s.sheetWidth, s.sheetHeight,
                     s.sheetWidth)) {
      std::fprintf(stderr, "mivora-decode: cannot write %s\n", options_.contactSheetPath.c_str());
      s.ok = false;
    }
  }
  return s.ok;
}

}  // namespace mivora
