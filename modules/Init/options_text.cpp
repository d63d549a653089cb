#include "modules/Init/options_text.h"

#include <charconv>
#include <cstdint>
#include <optional>

#include "modules/Init/key_names.h"
#include "shell/display_size_option.h"

namespace mivora::settings {

namespace {

using Flag = std::uint8_t PlayerOptions::*;
using Number = std::int32_t PlayerOptions::*;

struct FlagField {
  const char* name;
  Flag field;
};
struct NumberField {
  const char* name;
  Number field;
};

// The record's bytes 9..11, 65..67 and 87 are read by no one and not stored.
constexpr FlagField kFlags[] = {
    {"Rotate", &PlayerOptions::Rotate},
    {"KeepAwake", &PlayerOptions::KeepAwake},
    {"Audio", &PlayerOptions::Audio},
    {"DoubleSize", &PlayerOptions::DoubleSize},
    {"CleanVideo", &PlayerOptions::CleanVideo},
    {"CacheMode", &PlayerOptions::CacheMode},
    {"ShowSlider", &PlayerOptions::ShowSlider},
    {"AutoPlay", &PlayerOptions::AutoPlay},
    {"Shuffle", &PlayerOptions::Shuffle},
    {"ShowDroppedFrames", &PlayerOptions::ShowDroppedFrames},
    {"FullScreen", &PlayerOptions::FullScreen},
    {"DirectRead", &PlayerOptions::DirectRead},
    {"EqualizerOn", &PlayerOptions::EqualizerOn},
    {"OtherMpeg4Video", &PlayerOptions::OtherMpeg4Video},
};
// Any 32-bit value: the cached input module and the colour converter clamp their own.
constexpr NumberField kNumbers[] = {
    {"CacheParam", &PlayerOptions::CacheParam},
    {"DialogOption", &PlayerOptions::DialogOption},
    {"Brightness", &PlayerOptions::Brightness},
};
constexpr NumberField kKeys[] = {
    {"PauseKey", &PlayerOptions::PauseKey},
    {"StopKey", &PlayerOptions::StopKey},
    {"FastForwardKey", &PlayerOptions::FastForwardKey},
    {"NextItemKey", &PlayerOptions::NextItemKey},
    {"RotateKey", &PlayerOptions::RotateKey},
    {"DoubleSizeKey", &PlayerOptions::DoubleSizeKey},
    {"DisplayKey", &PlayerOptions::DisplayKey},
    {"VolumeUpKey", &PlayerOptions::VolumeUpKey},
    {"VolumeDownKey", &PlayerOptions::VolumeDownKey},
    {"BrightnessUpKey", &PlayerOptions::BrightnessUpKey},
    {"BrightnessDownKey", &PlayerOptions::BrightnessDownKey},
};
constexpr std::string_view kBands = "EqualizerBands";
// "handheld", "fit" or "WxH".
constexpr std::string_view kDisplaySize = "DisplaySize";

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<std::int32_t> ParseNumber(std::string_view text) {
  std::int32_t value = 0;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value);
  if (text.empty() || error != std::errc() || end != last) return std::nullopt;
  return value;
}

// All ten bands or none: a partial list would shift bands into the wrong frequencies.
bool ReadBands(PlayerOptions& options, std::string_view text) {
  std::int8_t bands[kEqualizerBands];
  int count = 0;
  while (true) {
    text = Trim(text);
    if (text.empty()) break;
    const std::size_t space = text.find_first_of(" \t");
    const auto value = ParseNumber(text.substr(0, space));
    if (!value || *value < kEqualizerMinDb || *value > kEqualizerMaxDb || count == kEqualizerBands)
      return false;
    bands[count++] = static_cast<std::int8_t>(*value);
    if (space == std::string_view::npos) break;
    text.remove_prefix(space);
  }
  if (count != kEqualizerBands) return false;
  for (int i = 0; i < kEqualizerBands; ++i) options.EqualizerBands[i] = bands[i];
  return true;
}

void ReadLine(PlayerOptions& options, std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == '#') return;
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return;
  const std::string_view name = Trim(line.substr(0, equals));
  const std::string_view value = Trim(line.substr(equals + 1));
  for (const auto& f : kFlags) {
    if (name == f.name) {
      if (value == "0" || value == "1") options.*f.field = value == "1" ? 1 : 0;
      return;
    }
  }
  for (const auto& f : kNumbers) {
    if (name == f.name) {
      if (const auto number = ParseNumber(value)) options.*f.field = *number;
      return;
    }
  }
  for (const auto& f : kKeys) {
    if (name == f.name) {
      if (const auto code = KeyFromName(value)) options.*f.field = *code;
      return;
    }
  }
  if (name == kBands) ReadBands(options, value);
  if (name == kDisplaySize) {
    if (const auto size = ParseDisplaySize(value)) SetDisplaySizeOption(options, *size);
  }
}

}  // namespace

std::string OptionsText(const PlayerOptions& options) {
  std::string text =
      "# Mivora options, written by the player when it closes. One \"name = value\" a line;\n"
      "# keys by their SDL key names (\"none\" for no key), flags 0 or 1, equalizer bands in dB\n"
      "# (-12..12) for 31 Hz, 62 Hz ... 16 kHz. Lines the player does not know are passed over.\n";
  const auto line = [&text](std::string_view name, std::string_view value) {
    text.append(name).append(" = ").append(value).append("\n");
  };
  for (const auto& f : kFlags) line(f.name, options.*f.field ? "1" : "0");
  for (const auto& f : kNumbers) line(f.name, std::to_string(options.*f.field));
  for (const auto& f : kKeys) line(f.name, KeyName(options.*f.field));
  std::string bands;
  for (int i = 0; i < kEqualizerBands; ++i) {
    if (i > 0) bands += ' ';
    bands += std::to_string(options.EqualizerBands[i]);
  }
  line(kBands, bands);
  line(kDisplaySize, DisplaySizeText(DisplaySizeFrom(options.DisplaySize, options.DisplayWidth,
                                                     options.DisplayHeight)));
  return text;
}

void ReadOptionsText(PlayerOptions& options, std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a byte-order mark
  while (true) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) break;
    ReadLine(options, text.substr(0, end));
    text.remove_prefix(end + 1);
  }
}

}  // namespace mivora::settings
