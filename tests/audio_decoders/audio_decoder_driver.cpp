#include "tests/audio_decoders/audio_decoder_driver.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/module.h"

namespace mivora::test {

AudioDecoderModule::AudioDecoderModule(const char16_t* name) {
  handle = platform::LoadModule(name);
  if (handle == nullptr) return;
  init = platform::GetEntryPointAs<AudioInitFn>(handle, u"Init");
  exit = platform::GetEntryPointAs<AudioExitFn>(handle, u"Exit");
  decompress = platform::GetEntryPointAs<DecompressMp3Fn>(handle, u"DecompressMp3");
  header = platform::GetEntryPointAs<GetHeaderInfoFn>(handle, u"GetHeaderInfo");
}

AudioDecoderModule::~AudioDecoderModule() {
  if (exit != nullptr) exit();
  platform::FreeModule(handle);
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

namespace {

// ReadAudio over a byte vector.
struct Reader {
  const std::vector<std::uint8_t>& data;
  std::size_t pos = 0;
  std::int32_t Read(std::uint8_t* to, std::int32_t count) {
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), data.size() - pos);
    if (n > 0) std::memcpy(to, data.data() + pos, n);
    pos += n;
    return static_cast<std::int32_t>(n);
  }
};

}  // namespace

DriveResult Drive(const AudioDecoderModule& module, const std::vector<std::uint8_t>& input,
                  const DriveOptions& options) {
  DriveResult result;
  Reader reader{input};
  std::vector<std::uint8_t> window(kAudioWindowBytes);
  std::int32_t carry = 0;
  std::int32_t dataEnd = 0;  // bytes of data in the window
  if (options.restartOnly) {
    module.exit();
    module.init(options.equalizerOn, nullptr);
    carry = 0;
  } else {
    module.init(options.equalizerOn, options.bands);
    const std::int32_t first = reader.Read(window.data(), kAudioHeaderBytes);
    result.bytesRead += first;
    result.sampleRate = 0;
    result.headerFound = module.header(window.data(), kAudioHeaderBytes, &result.sampleRate,
                                       &result.channels, &result.bitRate);
    std::memmove(window.data() + 1, window.data(), kAudioHeaderBytes);
    if (options.retryRate != 0) {
      module.exit();
      module.init(options.equalizerOn, nullptr);
      result.sampleRate = options.retryRate;
      result.headerFound = module.header(window.data(), kAudioHeaderBytes, &result.sampleRate,
                                         &result.channels, &result.bitRate);
    }
    // The engine carries all 8,191 bytes; with a shorter first read only what was read counts.
    carry = first + 1;
    dataEnd = first + 1;
  }
  std::int32_t lastPosition = 0;
  bool laterInitDone = false;
  const int align = 2 * std::max(1, result.channels);
  auto collect = [&](const std::vector<std::uint8_t>& out, std::int32_t produced,
                     std::int32_t position) {
    if (produced > kAudioBlockBytes) result.blockTooLarge = true;
    if (produced <= 0) return;
    if (produced % align != 0) result.unalignedBlock = true;
    if (position == 0) result.zeroPositionWithSamples = true;
    if (position < lastPosition) result.positionsMonotonic = false;
    lastPosition = position;
    result.positions.push_back(position);
    const std::size_t samples = static_cast<std::size_t>(std::min(produced, kAudioBlockBytes) / 2);
    const std::size_t at = result.pcm.size();
    result.pcm.resize(at + samples);
    std::memcpy(result.pcm.data() + at, out.data(), samples * 2);
  };
  while (true) {
    if (carry > 0) {
      carry -= 1;
      std::memmove(window.data(), window.data() + dataEnd - carry, static_cast<std::size_t>(carry));
    }
    const std::int32_t n = reader.Read(window.data() + carry, kAudioWindowBytes - carry);
    if (n == 0) break;
    result.bytesRead += n;
    dataEnd = n + carry;
    // A fresh block of exactly the room each call, so that ASan sees any write past it.
    std::vector<std::uint8_t> out(kAudioBlockBytes);
    std::int32_t produced = 0, position = 0;
    int r = module.decompress(window.data(), n + carry, out.data(), kAudioBlockBytes, &produced,
                              &position);
    ++result.calls;
    collect(out, produced, position);
    while (r == 0) {
      std::vector<std::uint8_t> more(kAudioBlockBytes);
      r = module.decompress(nullptr, 0, more.data(), kAudioBlockBytes, &produced, &position);
      ++result.calls;
      collect(more, produced, position);
      if (result.calls > 1000000) break;  // a module that never ends its output
    }
    if (!laterInitDone && options.laterInitAfterCalls > 0 &&
        result.calls >= options.laterInitAfterCalls) {
      module.init(options.equalizerOn, options.laterBands);
      laterInitDone = true;
    }
    result.lastResult = r;
    if (r <= 0) break;
    carry = r;
  }
  module.exit();  // the end of the audio thread
  return result;
}

}  // namespace mivora::test
